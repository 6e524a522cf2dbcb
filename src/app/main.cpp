// Vantor's entry point: reads the command line, picks the surface (the one place that knows
// there are three), finds the resources and runs the tick loop.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Signals.h"
#include "app/TickLoop.h"
#include "host/SafeFile.h"
#include "host/ScopeView.h"
#include "host/framework/Bundle.h"
#include "host/offscreen/OffscreenSurface.h"
#include "host/wayland/WaylandSurface.h"
#include "host/x11/X11Surface.h"
#include "image/MaskAtlas.h"
#include "util/Clock.h"
#include "util/LocalTiming.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "vantor: %s\n", message.c_str());
  return 1;
}

// What was printed must have reached standard output (a full disk or /dev/full fails only
// when the buffer is flushed); a run whose output was lost did not succeed.
int Finish(int status) {
  // A write that already failed (text longer than the buffer) left its reason in errno.
  const int earlier = std::ferror(stdout) ? errno : 0;
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int reason = errno != 0 ? errno : earlier != 0 ? earlier : EIO;
    std::fprintf(stderr,
                 "vantor: cannot write to standard output: %s; send it to a file or a pipe "
                 "that takes it\n",
                 std::strerror(reason));
    return 1;
  }
  return std::ferror(stderr) ? 1 : status;
}

const char* Plural(long count) { return count == 1 ? "" : "s"; }

// Ends the process as `signal` would have, its handler gone. Those whose default dumps core
// (SIGQUIT, SIGXFSZ) give 128 + N instead: a user's request or a full file is no crash.
int EndBySignal(int signal) {
  if (signal == SIGQUIT || signal == SIGXFSZ) {
    return 128 + signal;
  }
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  std::raise(signal);
  return 128 + signal;
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

// A device or FIFO is written in place and needs no folder; anything else gets a temporary
// beside its (resolved) target.
bool CheckSnapshotFolder(const std::string& file, std::string* error) {
  const std::string folder = SafeFile::temporaryFolder(file);
  if (!folder.empty() && access(folder.c_str(), W_OK) != 0) {
    *error = "cannot write into '" + folder + "': " + std::strerror(errno) +
             "; give --snapshot a file in a folder you can write to";
    return false;
  }
  return true;
}

std::unique_ptr<OffscreenSurface> MakeOffscreenSurface(const Options& options, int wakeFd,
                                                       std::string* error) {
  OffscreenOutput output;
  output.rate = options.rate;
  if (options.mode == Options::Render && options.renderFolder == "-") {
    output.videoStream = true;
    output.frames = options.frames;
  } else if (options.mode == Options::Render) {
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
  surface->useSimulatedClock(options.hasSeed ? options.seed : std::time(nullptr), options.rate,
                             options.speed);
  return surface;
}

// Wayland is the default where a compositor is announced, unless an X11 window was asked for;
// --layer exists only there.
bool WantsWayland(const Options& options) {
  const char* compositor = std::getenv("WAYLAND_DISPLAY");
  return !options.layer.empty() || (compositor != nullptr && compositor[0] != '\0' &&
                                    !options.x11 && !options.root && !options.hasWindowId);
}

std::unique_ptr<Surface> MakeWaylandSurface(const Options& options, int wakeFd,
                                            std::string* error) {
  WaylandTarget target;
  target.kind = options.layer == "background" ? WaylandTarget::Background
                : options.layer == "overlay"  ? WaylandTarget::Overlay
                                              : WaylandTarget::Window;
  target.width = options.window.width;  // a position cannot be asked for on Wayland
  target.height = options.window.height;
  target.fullscreen = options.window.fullscreen;
  auto surface = std::make_unique<WaylandSurface>(target, options.delayMicroseconds, wakeFd);
  if (!surface->create(nullptr, error)) {
    return nullptr;
  }
  return surface;
}

std::unique_ptr<Surface> MakeWindowSurface(const Options& options, int wakeFd, std::string* error) {
  if (WantsWayland(options)) {
    return MakeWaylandSurface(options, wakeFd, error);
  }
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
    target.placement = options.window;
  }
  target.scale = options.scale;
  auto surface = std::make_unique<X11Surface>(target, options.delayMicroseconds, wakeFd);
  if (!surface->create(nullptr, error)) {
    return nullptr;
  }
  return surface;
}

// Makes the program's bundle findable, or says in one line why the atlas will be missing. The
// atlas is checked here, so that the engine only ever sees one it can use: a bad file found in
// the search gives this one warning instead of libjpeg's messages or a garbled texture. A folder
// the user named must hold a usable atlas: false, with the line said, when it does not.
bool LoadBundle(const Options& options) {
  std::string executable = currentExecutablePath();
  std::string folder = options.resources;
  if (folder.empty()) {
    // Only the program in its own build tree looks in the source tree: a copy installed or
    // moved elsewhere must find its own share/vantor.
    const std::string buildTree = VANTOR_BUILD_TREE "/";
    const bool inBuildTree = executable.compare(0, buildTree.size(), buildTree) == 0;
    std::vector<std::string> searched = resourceSearchPath(
        "", std::getenv("VANTOR_RESOURCES"), executable, inBuildTree ? VANTOR_BUILD_RESOURCES : "");
    folder = findResourceFolder(searched, "DiscMasks.jpg");
    if (folder.empty()) {
      std::string list;
      for (const std::string& entry : searched) {
        list += (list.empty() ? "" : ", ") + entry;
      }
      std::fprintf(stderr,
                   "vantor: no DiscMasks.jpg in %s; drawing without the masks (give --resources "
                   "DIR)\n",
                   list.c_str());
      return true;
    }
  }
  const std::string atlas = folder + "/DiscMasks.jpg";
  std::string problem;
  std::string warning;
  if (!IsUsableMaskAtlas(atlas, &problem, &warning)) {
    if (!options.resources.empty()) {
      std::fprintf(stderr,
                   "vantor: --resources %s: %s is %s; give a folder holding a grey JPEG "
                   "DiscMasks.jpg of at least %ux%u\n",
                   folder.c_str(), atlas.c_str(), problem.c_str(), kAtlasMinimumWidth,
                   kAtlasMinimumHeight);
      return false;
    }
    std::fprintf(stderr,
                 "vantor: %s is not a usable mask atlas: %s; drawing without the masks (give "
                 "--resources a folder with a grey JPEG DiscMasks.jpg of at least %ux%u)\n",
                 atlas.c_str(), problem.c_str(), kAtlasMinimumWidth, kAtlasMinimumHeight);
    return true;
  }
  if (!warning.empty()) {
    std::fprintf(stderr, "vantor: %s: libjpeg: %s; drawing it as decoded\n", atlas.c_str(),
                 warning.c_str());
  }
  const std::string bundlePath = std::filesystem::path(executable).parent_path().string();
  Bundle::load(
      Bundle(kVantorBundleIdentifier, folder, bundlePath.empty() ? "." : bundlePath, executable));
  return true;
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
    std::fputs(usageText().c_str(), stdout);
    return Finish(0);
  }
  if (options.mode == Options::Version) {
    std::printf("vantor %s\n", VANTOR_VERSION);
    return Finish(0);
  }

  // A folder the user named is a usage matter, settled before any display is opened; the
  // search's warnings wait until the surface exists, so that a run that cannot start says one
  // line.
  if (!options.resources.empty() && !LoadBundle(options)) {
    return 2;
  }

  const bool offscreen = options.mode == Options::Render || options.mode == Options::Snapshot;
  const bool video = options.mode == Options::Render && options.renderFolder == "-";
  if (video && isatty(STDOUT_FILENO)) {
    std::fprintf(stderr,
                 "vantor: --render - writes a video stream to standard output, which is a "
                 "terminal; pipe it into ffmpeg or mpv, or send it to a file\n");
    return 2;
  }
  LoopEnd end;
  {
    // A window keeps to what the xscreensaver daemon and a terminal send. A render or snapshot
    // ends cleanly on any signal that would otherwise kill it mid-file. Either way a signal
    // ignored when Vantor started (nohup, a background job) stays ignored.
    std::unique_ptr<SignalPipe> signals =
        offscreen ? std::make_unique<SignalPipe>(std::initializer_list<int>{
                        SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ})
                  : std::make_unique<SignalPipe>(std::initializer_list<int>{SIGINT, SIGTERM});
    OffscreenSurface* headless = nullptr;
    std::unique_ptr<Surface> surface;
    if (offscreen) {
      std::unique_ptr<OffscreenSurface> made = MakeOffscreenSurface(options, signals->fd(), &error);
      headless = made.get();
      surface = std::move(made);
    } else {
      surface = MakeWindowSurface(options, signals->fd(), &error);
    }
    if (surface == nullptr) {
      return Fail(error);
    }
    if (options.resources.empty()) {
      LoadBundle(options);
    }
    // Without a display the surface runs a simulated clock of its own. A window's clock starts
    // at the seed (so one seed draws one kaleidoscope) or at the wall clock's time.
    std::unique_ptr<SystemClock> windowClock;
    if (!offscreen) {
      windowClock = std::make_unique<SystemClock>(
          options.hasSeed ? std::optional<long long>(options.seed) : std::nullopt, options.speed);
      SetTimerClock(windowClock.get());
    }
    LoopSettings settings;
    settings.showFps = options.fps;
    settings.scene.mirrors = options.mirrors;
    settings.scene.glow = options.glow;
    settings.scene.speed = options.speed;
    settings.heldWhileHidden = windowClock.get();
    end = runTicks(*surface, *signals, settings);
    if (windowClock != nullptr) {
      SetTimerClock(nullptr);
    }
    const bool whole = end.status == 0 && end.signal == 0;
    if (headless != nullptr && !whole) {
      headless->endProgressLine();
    }
    // A stream's reader that goes away ends it as a broken pipe ends any writer: quietly.
    if (video && (end.signal == SIGPIPE || headless->readerGone())) {
      end = LoopEnd{0, SIGPIPE, ""};
    } else if (whole && video) {
      std::fprintf(stderr, "vantor: wrote %ld frame%s of %dx%d to standard output\n",
                   options.frames, Plural(options.frames), options.width, options.height);
    } else if (whole && options.mode == Options::Render) {
      std::printf("vantor: wrote %ld frame%s of %dx%d to %s/\n", options.frames,
                  Plural(options.frames), options.width, options.height,
                  options.renderFolder.c_str());
    } else if (whole && options.mode == Options::Snapshot) {
      std::printf("vantor: wrote the frame at %.15g s to %s\n",
                  options.atSeconds == 0.0 ? 0.0 : options.atSeconds,  // never "-0 s"
                  options.snapshotFile.c_str());
    } else if (end.status == 0 && headless != nullptr) {
      const long total = headless->framesWanted();
      const std::string& last = headless->lastWholeFile();
      const std::string kept =
          video ? "the stream holds " + std::to_string(headless->framesDone()) + " whole frames"
          : last.empty() ? "no file was written"
                         : "the last whole file is " + last;
      std::fprintf(stderr, "vantor: interrupted by %s after %ld of %ld frame%s; %s\n",
                   signalName(end.signal), headless->framesDone(), total, Plural(total),
                   kept.c_str());
    }
  }  // the surface and the signal handlers go here, before any signal is raised again
  if (end.status != 0) {
    return Fail(end.message);
  }
  if (end.signal != 0 && (offscreen || end.signal == SIGTERM)) {
    return EndBySignal(end.signal);
  }
  // In a window, SIGINT is a user's Ctrl-C in a terminal: a plain exit.
  return Finish(0);
}
