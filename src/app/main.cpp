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
#include "host/DrawnSize.h"
#include "host/GlDriver.h"
#include "host/GlErrors.h"
#include "host/PngSinks.h"
#include "host/SafeFile.h"
#include "host/Say.h"
#include "host/ScopeView.h"
#include "host/VideoStream.h"
#include "host/framework/Bundle.h"
#include "host/offscreen/OffscreenSurface.h"
#include "host/wayland/WaylandSurface.h"
#include "host/x11/X11Surface.h"
#include "image/MaskAtlas.h"
#include "util/Clock.h"
#include "util/LocalTiming.h"

namespace {

int fail(const std::string& message) {
  say(message);
  return 1;
}

// What was printed must have reached standard output (a full disk or /dev/full fails only
// when the buffer is flushed); a run whose output was lost did not succeed.
int finish(int status) {
  // A write that already failed (text longer than the buffer) left its reason in errno.
  const int earlier = std::ferror(stdout) ? errno : 0;
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int reason = errno != 0 ? errno : earlier != 0 ? earlier : EIO;
    say(std::string("cannot write to standard output: ") + std::strerror(reason) +
        "; send it to a file or a pipe that takes it");
    return 1;
  }
  return std::ferror(stderr) ? 1 : status;
}

// The sink a render or snapshot writes through, ready for its first frame, and in *frames how
// many frames the run offers it; null with *error when it cannot be written to.
std::unique_ptr<FrameSink> makeSink(const Options& options, long* frames, std::string* error) {
  if (options.mode == Options::Render && options.renderFolder == "-") {
    *frames = options.frames;
    return std::make_unique<VideoStream>(STDOUT_FILENO, options.rate, options.frames);
  }
  if (options.mode == Options::Render) {
    *frames = options.frames;
    auto folder = std::make_unique<PngFolder>(options.renderFolder, options.frames);
    if (!folder->prepare(error)) {
      return nullptr;
    }
    return folder;
  }
  *frames = std::llround(options.atSeconds * options.rate) + 1;
  char at[32];
  std::snprintf(at, sizeof at, "%.15g", options.atSeconds == 0.0 ? 0.0 : options.atSeconds);
  auto file = std::make_unique<PngFile>(options.snapshotFile, *frames, options.rate,
                                        "the frame at " + std::string(at) + " s");  // never "-0 s"
  if (!file->prepare(error)) {
    return nullptr;
  }
  return file;
}

std::unique_ptr<OffscreenSurface> makeOffscreenSurface(const Options& options, FrameSink* sink,
                                                       long frames, int wakeFd,
                                                       std::string* error) {
  auto surface = std::make_unique<OffscreenSurface>(wakeFd);
  if (!surface->create(options.width, options.height, error)) {
    *error = "cannot make a headless OpenGL context (" + *error +
             "); install Mesa's EGL and software drivers with scripts/install-deps";
    return nullptr;
  }
  surface->setSink(sink, frames);
  surface->useSimulatedClock(options.hasSeed ? options.seed : std::time(nullptr), options.rate,
                             options.speed);
  return surface;
}

// Wayland is the default where a compositor is announced, unless an X11 window was asked for;
// --layer exists only there.
bool wantsWayland(const Options& options) {
  const char* compositor = std::getenv("WAYLAND_DISPLAY");
  return !options.layer.empty() || (compositor != nullptr && compositor[0] != '\0' &&
                                    !options.x11 && !options.root && !options.hasWindowId);
}

std::unique_ptr<Surface> makeWaylandSurface(const Options& options, int wakeFd,
                                            std::string* error) {
  WaylandTarget target;
  target.kind = options.layer == "background" ? WaylandTarget::Background
                : options.layer == "overlay"  ? WaylandTarget::Overlay
                                              : WaylandTarget::Window;
  target.width = options.window.width;  // a position cannot be asked for on Wayland
  target.height = options.window.height;
  target.fullscreen = options.window.fullscreen;
  target.beforeOpenGL = [&options](PixelSize screen) {
    chooseRasterThreads(DrawnSize(options.scale).mostPixels(screen));
  };
  auto surface = std::make_unique<WaylandSurface>(target, options.delayMicroseconds, wakeFd);
  if (!surface->create(nullptr, error)) {
    return nullptr;
  }
  return surface;
}

std::unique_ptr<Surface> makeWindowSurface(const Options& options, int wakeFd, std::string* error) {
  if (wantsWayland(options)) {
    return makeWaylandSurface(options, wakeFd, error);
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
  target.beforeOpenGL = [&options](PixelSize screen) {
    chooseRasterThreads(DrawnSize(options.scale).mostPixels(screen));
  };
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
bool loadBundle(const Options& options) {
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
      say("no DiscMasks.jpg in " + list + "; drawing without the masks (give --resources DIR)");
      return true;
    }
  }
  const std::string atlas = folder + "/DiscMasks.jpg";
  const std::string atlasMinimum =
      std::to_string(kAtlasMinimumWidth) + "x" + std::to_string(kAtlasMinimumHeight);
  std::string problem;
  std::string warning;
  if (!isUsableMaskAtlas(atlas, &problem, &warning)) {
    if (!options.resources.empty()) {
      say("--resources " + folder + ": " + atlas + " is " + problem +
          "; give a folder holding a grey JPEG DiscMasks.jpg of at least " + atlasMinimum);
      return false;
    }
    say(atlas + " is not a usable mask atlas: " + problem +
        "; drawing without the masks (give --resources a folder with a grey JPEG DiscMasks.jpg "
        "of at least " +
        atlasMinimum + ")");
    return true;
  }
  if (!warning.empty()) {
    say(atlas + ": libjpeg: " + warning + "; drawing it as decoded");
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
    say(error + "; see 'vantor --help'");
    return 2;
  }
  if (options.mode == Options::Help) {
    std::fputs(usageText().c_str(), stdout);
    return finish(0);
  }
  if (options.mode == Options::Version) {
    std::printf("vantor %s\n", VANTOR_VERSION);
    return finish(0);
  }

  // A folder the user named is a usage matter, settled before any display is opened; the
  // search's warnings wait until the surface exists, so that a run that cannot start says one
  // line.
  if (!options.resources.empty() && !loadBundle(options)) {
    return 2;
  }

  const bool offscreen = options.mode == Options::Render || options.mode == Options::Snapshot;
  const bool video = options.mode == Options::Render && options.renderFolder == "-";
  if (video && isatty(STDOUT_FILENO)) {
    say("--render - writes a video stream to standard output, which is a terminal; pipe it into "
        "ffmpeg or mpv, or send it to a file");
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
    std::unique_ptr<FrameSink> sink;
    std::unique_ptr<Surface> surface;
    if (offscreen) {
      long frames = 0;
      sink = makeSink(options, &frames, &error);
      if (sink != nullptr) {
        surface = makeOffscreenSurface(options, sink.get(), frames, signals->fd(), &error);
      }
    } else {
      surface = makeWindowSurface(options, signals->fd(), &error);
    }
    if (surface == nullptr) {
      return fail(error);
    }
    if (options.resources.empty()) {
      loadBundle(options);
    }
    // Without a display the surface runs a simulated clock of its own. A window's clock starts
    // at the seed (so one seed draws one kaleidoscope) or at the wall clock's time.
    std::unique_ptr<SystemClock> windowClock;
    std::unique_ptr<ScopedTimerClock> timerClock;
    if (!offscreen) {
      windowClock = std::make_unique<SystemClock>(
          options.hasSeed ? std::optional<long long>(options.seed) : std::nullopt, options.speed);
      timerClock = std::make_unique<ScopedTimerClock>(*windowClock);
    }
    LoopSettings settings;
    settings.showFps = options.fps;
    settings.scene.mirrors = options.mirrors;
    settings.scene.glow = options.glow;
    settings.heldWhileHidden = windowClock.get();
    settings.anyKeyCloses = options.layer == "overlay";
    settings.checkGl = checkingGlErrors();
    // Renders draw the whole picture unless asked otherwise; windows choose by the renderer.
    settings.drawnSize = DrawnSize(options.scale > 0.0 ? options.scale : offscreen ? 1.0 : 0.0);
    end = runTicks(*surface, *signals, settings);
    timerClock.reset();
    // A stream's reader that goes away ends it as a broken pipe ends any writer: quietly.
    if (sink != nullptr && (sink->readerGone() || (video && end.signal == SIGPIPE))) {
      end = LoopEnd{0, SIGPIPE, ""};
    } else if (sink != nullptr && end.status == 0 && end.signal == 0) {
      say(sink->finished(), sink->finishedStream());
    } else if (sink != nullptr && end.status == 0) {
      say("interrupted by " + signalDescription(end.signal) + " " + sink->kept());
    }
  }  // the surface and the signal handlers go here, before any signal is raised again
  if (end.status != 0) {
    return fail(end.message);
  }
  if (end.signal != 0 && (offscreen || end.signal == SIGTERM)) {
    return endBySignal(end.signal);
  }
  // In a window, SIGINT is a user's Ctrl-C in a terminal: a plain exit.
  return finish(0);
}
