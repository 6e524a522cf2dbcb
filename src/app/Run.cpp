#include "app/Run.h"

#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>
#include <set>

#include "app/TickLoop.h"
#include "host/DrawnSize.h"
#include "host/GlDriver.h"
#include "host/GlErrors.h"
#include "host/PngSinks.h"
#include "host/Resources.h"
#include "host/Say.h"
#include "host/VideoFile.h"
#include "host/VideoFormat.h"
#include "host/VideoStream.h"
#include "host/offscreen/OffscreenSurface.h"
#include "host/wayland/WaylandSurface.h"
#include "host/x11/X11Surface.h"
#include "photos/PhotoFiles.h"

namespace {

bool isOffscreen(const Options& options) {
  return options.mode == Options::Render || options.mode == Options::Snapshot;
}

// A render's clock is simulated, from the seed (default: now), so that the same options write
// the same files however fast the machine draws. A window's starts at the seed (so one seed
// draws one kaleidoscope) or at the wall clock's time, and runs on the monotonic clock.
std::unique_ptr<Clock> makeClock(const Options& options) {
  if (isOffscreen(options)) {
    return std::make_unique<SimulatedClock>(options.seed.value_or(std::time(nullptr)), options.rate,
                                            options.speed);
  }
  return std::make_unique<SystemClock>(options.seed, options.speed);
}

// Only the program inside its own build tree may take its atlas from the source tree.
const BuildTree kBuildTree{VANTOR_BUILD_TREE, VANTOR_BUILD_RESOURCES};

// Renders draw the whole picture unless asked otherwise; windows choose by the renderer.
DrawnSize drawnSize(const Options& options) {
  return DrawnSize(options.scale > 0.0 ? options.scale : isOffscreen(options) ? 1.0 : 0.0);
}

}  // namespace

// A window keeps to what the xscreensaver daemon and a terminal send. A render or snapshot
// ends cleanly on any signal that would otherwise kill it mid-file. Either way a signal ignored
// when Vantor started (nohup, a background job) stays ignored.
Run::Run(const Options& options)
    : options_(options),
      signals_(isOffscreen(options)
                   ? std::initializer_list<int>{SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ}
                   : std::initializer_list<int>{SIGINT, SIGTERM}),
      clock_(makeClock(options)),
      timerClock_(*clock_) {}

bool Run::offscreen() const { return isOffscreen(options_); }

bool Run::stream() const {
  return options_.mode == Options::Render && options_.renderFolder == "-";
}

bool Run::usable() {
  if (!options_.resources.empty() && !loadResources(options_.resources, kBuildTree)) {
    return false;
  }
  if (!options_.photos.empty() && !startPhotos()) {
    return false;
  }
  if (stream() && isatty(STDOUT_FILENO)) {
    say("--render - writes a video stream to standard output, which is a terminal; pipe it into "
        "ffmpeg or mpv, or send it to a file");
    return false;
  }
  return true;
}

bool Run::startPhotos() {
  const std::string& path = options_.photos;
  // One line a file, though the check here and the loader's thread may both come upon it.
  auto said = std::make_shared<std::set<std::string>>();
  auto sayOnce = [said](const std::string& text) {
    if (said->insert(text).second) {
      say(text);
    }
  };
  std::vector<std::string> files;
  std::string error;
  bool found = false;  // the walk stops at the first file that looks usable
  if (!findPhotoFiles(path, &files, sayOnce, &error, kMostPhotoFiles,
                      [&sayOnce, &found](const std::string& file) {
                        std::string why;
                        found = photoLooksUsable(file, &why);
                        if (!found) {
                          sayOnce("skipping " + file + ": " + why);
                        }
                        return found;
                      })) {
    say("--photos " + path + ": " + error + "; give a folder of JPEG or PNG photos, or one");
    return false;
  }
  if (!found) {
    say("--photos " + path +
        ": no usable JPEG or PNG photo there; give a folder of photos, or "
        "one");
    return false;
  }
  // The loader's thread walks the folder again, whole, while the surface is made; from here on
  // only that thread says lines. Renders wait for each photo they ask for, so that the same
  // options draw the same frames.
  photos_ = std::make_unique<PhotoLoader>(path, sayOnce, offscreen());
  return true;
}

bool Run::start() {
  std::string error;
  surface_ = offscreen() ? makeOffscreenSurface(&error) : makeWindowSurface(&error);
  if (surface_ == nullptr) {
    say(error);
    return false;
  }
  // The search's warnings wait until the surface exists: a run that cannot start says one line.
  if (options_.resources.empty()) {
    loadResources("", kBuildTree);
  }
  return true;
}

RunEnd Run::play() {
  LoopSettings settings;
  settings.showFps = options_.fps;
  settings.scene.mirrors = options_.mirrors;
  settings.scene.glow = options_.glow;
  settings.scene.speed = options_.speed;
  settings.scene.photos = photos_.get();
  settings.clock = clock_.get();
  settings.anyKeyCloses = options_.layer == "overlay";
  settings.drawnSize = drawnSize(options_);
  settings.checkGl = checkingGlErrors();
  const LoopEnd end = runTicks(*surface_, signals_, settings);
  // A stream's reader that goes away ends it as a broken pipe ends any writer: quietly.
  if (sink_ != nullptr && (sink_->readerGone() || (stream() && end.signal == SIGPIPE))) {
    return RunEnd{0, SIGPIPE};
  }
  if (end.status != 0) {
    say(end.message);
    return RunEnd{end.status, 0};
  }
  if (sink_ != nullptr && end.signal == 0) {
    say(sink_->finished(), sink_->finishedStream());
  } else if (sink_ != nullptr) {
    sink_->interrupted(signals_.fd());
    say("interrupted by " + signalDescription(end.signal) + " " + sink_->kept());
  }
  // In a window SIGTERM, what the xscreensaver daemon sends, ends Vantor by that signal, and
  // SIGINT, a user's Ctrl-C in a terminal, with a plain exit.
  return RunEnd{0, offscreen() || end.signal == SIGTERM ? end.signal : 0};
}

std::unique_ptr<Surface> Run::makeOffscreenSurface(std::string* error) {
  // A render runs from the frame nearest --from to --frames later; a snapshot steps to its one.
  long first = std::llround(options_.fromSeconds * options_.rate) + 1;
  long last = first + options_.frames - 1;
  const VideoFormat* format = videoFormatOf(options_.renderFolder);
  if (stream()) {
    sink_ = std::make_unique<VideoStream>(STDOUT_FILENO, options_.rate, options_.frames);
  } else if (options_.mode == Options::Render && format != nullptr) {
    const VideoQuality quality = options_.quality == "low"    ? VideoQuality::Low
                                 : options_.quality == "high" ? VideoQuality::High
                                                              : VideoQuality::Medium;
    auto file = std::make_unique<VideoFile>(options_.renderFolder, *format, quality, options_.rate,
                                            first, last);
    if (!file->prepare(error)) {
      return nullptr;
    }
    sink_ = std::move(file);
  } else if (options_.mode == Options::Render) {
    auto folder = std::make_unique<PngFolder>(options_.renderFolder, options_.frames);
    if (!folder->prepare(error)) {
      return nullptr;
    }
    sink_ = std::move(folder);
  } else {
    first = 1;
    last = std::llround(options_.atSeconds * options_.rate) + 1;
    char at[32];  // never "-0 s"
    std::snprintf(at, sizeof at, "%.15g", options_.atSeconds == 0.0 ? 0.0 : options_.atSeconds);
    auto file = std::make_unique<PngFile>(options_.snapshotFile, last, options_.rate,
                                          "the frame at " + std::string(at) + " s");
    if (!file->prepare(error)) {
      return nullptr;
    }
    sink_ = std::move(file);
  }
  auto surface = std::make_unique<OffscreenSurface>(signals_.fd());
  if (!surface->create(options_.width, options_.height, error)) {
    *error = "cannot make a headless OpenGL context (" + *error +
             "); install Mesa's EGL and software drivers with scripts/install-deps";
    return nullptr;
  }
  surface->setSink(sink_.get(), first, last);
  return surface;
}

std::unique_ptr<Surface> Run::makeWindowSurface(std::string* error) {
  // The renderer's threads are chosen for the most the drawn size may draw on this screen.
  const DrawnSize drawn = drawnSize(options_);
  auto beforeOpenGL = [drawn](PixelSize screen) { chooseRasterThreads(drawn.mostPixels(screen)); };
  // Wayland is the default where a compositor is announced, unless an X11 window was asked
  // for; --layer exists only there.
  const char* compositor = std::getenv("WAYLAND_DISPLAY");
  if (!options_.layer.empty() || (compositor != nullptr && compositor[0] != '\0' && !options_.x11 &&
                                  !options_.root && !options_.windowId)) {
    WaylandTarget target;
    target.kind = options_.layer == "background" ? WaylandTarget::Background
                  : options_.layer == "bottom"   ? WaylandTarget::Bottom
                  : options_.layer == "overlay"  ? WaylandTarget::Overlay
                                                 : WaylandTarget::Window;
    target.output = options_.output;
    target.width = options_.window.width;
    target.height = options_.window.height;
    target.fullscreen = options_.window.fullscreen;
    target.beforeOpenGL = beforeOpenGL;
    auto surface =
        std::make_unique<WaylandSurface>(target, options_.delayMicroseconds, signals_.fd());
    if (surface->create(nullptr, error)) {
      return surface;
    }
    // A WAYLAND_DISPLAY left over from a compositor that is gone (a terminal that outlived it)
    // is no reason not to draw: X11 windows work wherever an X display answers, as GTK, Qt and
    // SDL programs fall back to one.
    const char* x11 = std::getenv("DISPLAY");
    if (!options_.layer.empty() || surface->unreachable().empty() || x11 == nullptr ||
        x11[0] == '\0') {
      return nullptr;
    }
    say(surface->unreachable() + "; using the X display '" + x11 + "' instead");
    error->clear();
  }
  X11Target target;
  const char* daemonWindow = std::getenv("XSCREENSAVER_WINDOW");
  if (options_.windowId) {
    target.kind = X11Target::GivenWindow;
    target.window = *options_.windowId;
    target.preview = true;
  } else if (options_.root && daemonWindow != nullptr && daemonWindow[0] != '\0') {
    if (!parseWindowId(daemonWindow, &target.window)) {
      *error = "XSCREENSAVER_WINDOW is '" + std::string(daemonWindow) +
               "', not a window id; unset it or give --window-id";
      return nullptr;
    }
    target.kind = X11Target::GivenWindow;
  } else if (options_.root) {
    target.kind = X11Target::RootWindow;
  } else {
    target.placement = options_.window;
  }
  target.beforeOpenGL = beforeOpenGL;
  auto surface = std::make_unique<X11Surface>(target, options_.delayMicroseconds, signals_.fd());
  return surface->create(nullptr, error) ? std::move(surface) : nullptr;
}
