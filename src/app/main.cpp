// Vantor's entry point: reads the command line, picks the surface (the one place that knows
// there are two), finds the resources and runs the tick loop.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Signals.h"
#include "app/TickLoop.h"
#include "host/ScopeView.h"
#include "host/SeededClock.h"
#include "host/framework/Bundle.h"
#include "host/offscreen/OffscreenSurface.h"
#include "host/x11/X11Surface.h"
#include "image/MaskAtlas.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "vantor: %s\n", message.c_str());
  return 1;
}

// The folder must exist (it is made when missing) and take new files.
bool PrepareFolder(const std::string& folder, std::string* error) {
  if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    *error = "cannot make the folder '" + folder + "': " + std::strerror(errno) +
             "; give --render a folder you can write to";
    return false;
  }
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    *error = "'" + folder + "' is not a folder; give --render a folder you can write to";
    return false;
  }
  if (access(folder.c_str(), W_OK) != 0) {
    *error = "cannot write into '" + folder + "': " + std::strerror(errno) +
             "; give --render a folder you can write to";
    return false;
  }
  return true;
}

bool CheckSnapshotFolder(const std::string& file, std::string* error) {
  size_t slash = file.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : file.substr(0, slash + 1);
  if (access(folder.c_str(), W_OK) != 0) {
    *error = "cannot write into '" + folder + "': " + std::strerror(errno) +
             "; give --snapshot a file in a folder you can write to";
    return false;
  }
  return true;
}

std::unique_ptr<Surface> MakeOffscreenSurface(const Options& options, int wakeFd,
                                              std::string* error) {
  OffscreenOutput output;
  if (options.mode == Options::Render) {
    if (!PrepareFolder(options.renderFolder, error)) {
      return nullptr;
    }
    output.renderFolder = options.renderFolder;
    output.frames = options.frames;
  } else {
    if (!CheckSnapshotFolder(options.snapshotFile, error)) {
      return nullptr;
    }
    output.snapshotFile = options.snapshotFile;
    output.frames = std::llround(options.atSeconds * options.rate) + 1;
  }
  auto surface = std::make_unique<OffscreenSurface>(wakeFd);
  if (!surface->create(options.width, options.height, error,
                       options.scale > 0.0 ? options.scale : 1.0)) {
    *error = "cannot make a headless OpenGL context (" + *error +
             "); install Mesa's EGL and software drivers with scripts/install-deps";
    return nullptr;
  }
  surface->setOutput(output);
  surface->useSimulatedClock(options.hasSeed ? options.seed : std::time(nullptr), options.rate);
  return surface;
}

std::unique_ptr<Surface> MakeWindowSurface(const Options& options, int wakeFd, std::string* error) {
  X11Target target;
  const char* daemonWindow = std::getenv("XSCREENSAVER_WINDOW");
  if (options.hasWindowId) {
    target.kind = X11Target::GivenWindow;
    target.window = options.windowId;
    target.preview = true;
  } else if (options.root && daemonWindow != nullptr && daemonWindow[0] != '\0') {
    if (!parseWindowId(daemonWindow, &target.window)) {
      *error = "XSCREENSAVER_WINDOW is '" + std::string(daemonWindow) +
               "', not a window id; unset it or give --window-id";
      return nullptr;
    }
    target.kind = X11Target::GivenWindow;
  } else if (options.root) {
    target.kind = X11Target::RootWindow;
  } else {
    target.width = options.windowWidth;
    target.height = options.windowHeight;
    target.x = options.windowX;
    target.y = options.windowY;
    target.hasPosition = options.windowHasPosition;
  }
  target.scale = options.scale;
  auto surface = std::make_unique<X11Surface>(target, options.delayMicroseconds, wakeFd);
  if (!surface->create(nullptr, error)) {
    return nullptr;
  }
  return surface;
}

// Makes the program's bundle findable, or says in one line why the atlas will be missing. The
// atlas is checked here, so that the engine only ever sees one it can use: a bad file gives this
// one warning instead of libjpeg's messages or a garbled texture.
void LoadBundle(const Options& options) {
  std::string executable = currentExecutablePath();
  // Only the program in its own build tree looks in the source tree: a copy installed or moved
  // elsewhere must find its own share/vantor.
  const std::string buildTree = VANTOR_BUILD_TREE "/";
  const bool inBuildTree = executable.compare(0, buildTree.size(), buildTree) == 0;
  std::vector<std::string> searched =
      resourceSearchPath(options.resources, std::getenv("VANTOR_RESOURCES"), executable,
                         inBuildTree ? VANTOR_BUILD_RESOURCES : "");
  std::string folder = findResourceFolder(searched, "DiscMasks.jpg");
  if (folder.empty()) {
    std::string list;
    for (const std::string& entry : searched) {
      list += (list.empty() ? "" : ", ") + entry;
    }
    std::fprintf(stderr,
                 "vantor: no DiscMasks.jpg in %s; drawing without the masks (give --resources "
                 "DIR)\n",
                 list.c_str());
    return;
  }
  const std::string atlas = folder + "/DiscMasks.jpg";
  std::string problem;
  if (!IsUsableMaskAtlas(atlas, &problem)) {
    std::fprintf(stderr,
                 "vantor: %s is not a usable mask atlas: %s; drawing without the masks (give "
                 "--resources a folder with a grey JPEG DiscMasks.jpg of at least %ux%u)\n",
                 atlas.c_str(), problem.c_str(), kAtlasMinimumWidth, kAtlasMinimumHeight);
    return;
  }
  size_t slash = executable.find_last_of('/');
  std::string bundlePath = slash == std::string::npos ? "." : executable.substr(0, slash);
  Bundle::load(Bundle(kVantorBundleIdentifier, folder, bundlePath, executable));
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::fprintf(stderr, "vantor: %s; see 'vantor --help'\n", error.c_str());
    return 2;
  }
  if (options.mode == Options::Help) {
    std::fputs(usageText(), stdout);
    return 0;
  }
  if (options.mode == Options::Version) {
    std::printf("vantor %s\n", VANTOR_VERSION);
    return 0;
  }

  LoopEnd end;
  {
    SignalPipe signals;
    const bool offscreen = options.mode == Options::Render || options.mode == Options::Snapshot;
    std::unique_ptr<Surface> surface = offscreen
                                           ? MakeOffscreenSurface(options, signals.fd(), &error)
                                           : MakeWindowSurface(options, signals.fd(), &error);
    if (surface == nullptr) {
      return Fail(error);
    }
    LoadBundle(options);
    // Without a display the surface runs a simulated clock of its own.
    std::unique_ptr<SeededClock> seeded;
    if (!offscreen && options.hasSeed) {
      seeded = std::make_unique<SeededClock>(options.seed);
    }
    end = runTicks(*surface, signals, options.fps);
    if (end.status == 0 && end.signal == 0 && options.mode == Options::Render) {
      std::printf("vantor: wrote %ld frames of %dx%d to %s/\n", options.frames, options.width,
                  options.height, options.renderFolder.c_str());
    } else if (end.status == 0 && end.signal == 0 && options.mode == Options::Snapshot) {
      std::printf("vantor: wrote the frame at %g s to %s\n", options.atSeconds,
                  options.snapshotFile.c_str());
    }
  }  // the surface and the signal handlers go here, before any signal is raised again
  if (end.status != 0) {
    return Fail(end.message);
  }
  if (end.signal != 0) {
    std::signal(end.signal, SIG_DFL);
    std::raise(end.signal);
  }
  return 0;
}
