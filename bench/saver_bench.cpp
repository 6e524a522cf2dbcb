// Vantor as people run it: the program in its own 1280x720 window on a virtual X server.
// How long from exec to the first frame on screen, how long from SIGTERM to the end with both
// cores busy, and what the running saver costs: the share of one core it uses at 30 ticks a
// second over 20 s, and its peak resident memory.
// Then full screen at 1280x720, 1920x1080 and 3840x2160, Vantor (with its automatic scale)
// beside the GL kaleidoscope of Debian's xscreensaver-gl, run as a black box at the same rate:
// frames shown a second (counted by the X server's damage reports) and the CPU of the program
// and of the X server together, since work moved into the server is no saving.
// The seed is fixed, so every run draws the same kaleidoscope: what a frame costs depends on
// the scene (how large the pieces are drawn), and random scenes would drown the figure.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "JpegWriter.h"
#include "Process.h"
#include "TemporaryFolder.h"
#include "Xvfb.h"
#include "util/Clock.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

double secondsNow() { return static_cast<double>(monotonicMicroseconds()) * 1e-6; }

// The virtual X server of the first benchmarks, for the whole program.
Xvfb& virtualScreen() {
  static Xvfb screen(1920, 1080);
  return screen;
}

std::unique_ptr<Process> startSaver(int width = kWidth, int height = kHeight,
                                    const Arguments& more = {}) {
  Arguments argv{
      VANTOR_PROGRAM, "-geometry",      std::to_string(width) + "x" + std::to_string(height),
      "--resources",  VANTOR_RESOURCES, "--seed",
      "1700000000"};
  argv.insert(argv.end(), more.begin(), more.end());
  return std::make_unique<Process>(argv, Arguments{"DISPLAY=" + virtualScreen().display()});
}

// Whether the saver's window (the server's only top-level window, there being no window
// manager) shows anything but black yet.
bool frameOnScreen(Display* display) {
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
    return false;
  }
  bool shown = false;
  for (unsigned i = 0; i < count && !shown; i++) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[i], &attributes) ||
        attributes.map_state != IsViewable || attributes.width != kWidth) {
      continue;
    }
    XImage* image = XGetImage(display, children[i], 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
    if (image == nullptr) {
      continue;
    }
    for (int y = 0; y < kHeight && !shown; y += 4) {
      for (int x = 0; x < kWidth && !shown; x += 4) {
        shown = (XGetPixel(image, x, y) & 0xffffff) != 0;
      }
    }
    XDestroyImage(image);
  }
  XFree(children);
  return shown;
}

// With `more` options (--photos: the photos are found and decoded off the drawing thread, so
// the first frame, tinted, comes as soon as without them).
void FirstFrame(benchmark::State& state, const Arguments& more) {
  Display* display = XOpenDisplay(virtualScreen().display().c_str());
  if (display == nullptr) {
    state.SkipWithError("no virtual X server (install xvfb)");
    return;
  }
  for (auto _ : state) {
    double start = secondsNow();
    auto saver = startSaver(kWidth, kHeight, more);
    while (!frameOnScreen(display) && secondsNow() - start < 10.0) {
      sleepFor(0.002);
    }
    const double elapsed = secondsNow() - start;
    saver.reset();
    if (elapsed >= 10.0) {
      state.SkipWithError("no frame on screen within 10 s");
      break;
    }
    state.SetIterationTime(elapsed);
  }
  XCloseDisplay(display);
}
void StartToFirstFrame(benchmark::State& state) { FirstFrame(state, {}); }
BENCHMARK(StartToFirstFrame)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// A folder of 10,000 small JPEGs, and one 50-megapixel JPEG, made once.
const std::string& photoFolder(bool big) {
  static TemporaryFolder folder("vantor-bench-photos");
  static std::string paths[2];
  if (paths[big].empty()) {
    std::vector<std::uint8_t> row;
    for (int x = 0; x < 8660; x++) {
      row.insert(row.end(), {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x / 40), 90});
    }
    if (big) {
      paths[1] = folder.path() + "/big.jpg";
      writeJpeg(paths[1], 8660, 5774, 3, row);
    } else {
      paths[0] = folder.path() + "/many";
      mkdir(paths[0].c_str(), 0755);
      writeJpeg(paths[0] + "/00000.jpg", 640, 480, 3, row);
      const std::string bytes = readFile(paths[0] + "/00000.jpg");
      for (int i = 1; i < 10000; i++) {
        char name[32];
        std::snprintf(name, sizeof name, "/%05d.jpg", i);
        std::ofstream(paths[0] + name, std::ios::binary) << bytes;
      }
    }
  }
  return paths[big];
}

void StartToFirstFrameWithPhotos(benchmark::State& state, bool big) {
  FirstFrame(state, {"--photos", photoFolder(big)});
}
BENCHMARK_CAPTURE(StartToFirstFrameWithPhotos, Folder10000, false)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StartToFirstFrameWithPhotos, Jpeg50MP, true)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// From SIGTERM (how the xscreensaver daemon ends a hack) to the saver reaped, while two other
// processes keep both cores busy; each try from a frame on screen.
void SigtermUnderLoad(benchmark::State& state) {
  Display* display = XOpenDisplay(virtualScreen().display().c_str());
  if (display == nullptr) {
    state.SkipWithError("no virtual X server (install xvfb)");
    return;
  }
  const Arguments spin = {"/bin/sh", "-c", "while :; do :; done"};
  Process firstCore(spin), secondCore(spin);
  for (auto _ : state) {
    auto saver = startSaver();
    if (!eventually([&] { return frameOnScreen(display); }, 10.0)) {
      state.SkipWithError("no frame on screen within 10 s");
      break;
    }
    saver->signal(SIGTERM);
    const Exit done = saver->wait(5.0);
    if (done.signal != SIGTERM) {
      state.SkipWithError("SIGTERM did not end the saver");
      break;
    }
    state.SetIterationTime(done.seconds);
  }
  XCloseDisplay(display);
}
BENCHMARK(SigtermUnderLoad)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void RunningSaver(benchmark::State& state) {
  const double seconds = 20.0;
  double cpuPercent = 0.0;
  double peakMegabytes = 0.0;
  for (auto _ : state) {
    auto saver = startSaver();
    sleepFor(2.0);  // past start-up
    if (!saver->running()) {
      state.SkipWithError("the saver did not start or ended early");
      break;
    }
    long before = cpuTicks(saver->pid());
    sleepFor(seconds);
    cpuPercent = corePercent(cpuTicks(saver->pid()) - before, seconds);
    peakMegabytes = peakResidentMegabytes(saver->pid());
  }
  state.counters["cpu_percent"] = cpuPercent;
  state.counters["peak_rss_mb"] = peakMegabytes;
}
BENCHMARK(RunningSaver)->Iterations(1)->Unit(benchmark::kSecond);

// What a window nobody sees costs: a 640x360 saver unmapped, over 10 s.
void HiddenSaver(benchmark::State& state) {
  Display* display = XOpenDisplay(virtualScreen().display().c_str());
  if (display == nullptr) {
    state.SkipWithError("no virtual X server (install xvfb)");
    return;
  }
  const double seconds = 10.0;
  double cpuPercent = 0.0;
  for (auto _ : state) {
    auto saver = startSaver(640, 360);
    Window window = 0;
    eventually([&] { return (window = vantorWindow(display)) != 0; }, 10.0);
    if (window == 0) {
      state.SkipWithError("the saver's window did not show");
      break;
    }
    sleepFor(1.0);
    XUnmapWindow(display, window);
    XSync(display, False);
    sleepFor(1.0);
    const long before = cpuTicks(saver->pid());
    sleepFor(seconds);
    cpuPercent = corePercent(cpuTicks(saver->pid()) - before, seconds);
  }
  XCloseDisplay(display);
  state.counters["cpu_percent"] = cpuPercent;
}
BENCHMARK(HiddenSaver)->Iterations(1)->Unit(benchmark::kSecond);

constexpr const char* kPeer = "/usr/libexec/xscreensaver/kaleidocycle";

// Frames put on the root window of `display` in `seconds`: each report of damage counts one,
// and is cleared at once so the next frame reports again.
long countFrames(Display* display, Damage damage, int damageEvent, double seconds) {
  long frames = 0;
  const double end = secondsNow() + seconds;
  for (double now = secondsNow(); now < end; now = secondsNow()) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == damageEvent + XDamageNotify) {
        frames++;
        XDamageSubtract(display, damage, None, None);
      }
    }
    pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, static_cast<int>((end - now) * 1000.0) + 1);
  }
  return frames;
}

// One program drawing on the whole screen of a virtual X server of the benchmark's size, at
// 30 frames a second (Vantor's default --delay; the peer's -delay).
void FullScreen(benchmark::State& state, bool peer) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  if (peer && access(kPeer, X_OK) != 0) {
    state.SkipWithError("no peer program (make bench installs xscreensaver-gl)");
    return;
  }
  Xvfb screen(width, height);
  Display* display = XOpenDisplay(screen.display().c_str());
  int damageEvent = 0;
  int damageError = 0;
  if (display == nullptr || !XDamageQueryExtension(display, &damageEvent, &damageError)) {
    state.SkipWithError("no virtual X server with the DAMAGE extension (install xvfb)");
    if (display != nullptr) {
      XCloseDisplay(display);
    }
    return;
  }
  const Damage damage = XDamageCreate(display, DefaultRootWindow(display), XDamageReportNonEmpty);
  const double seconds = 15.0;
  double fps = 0.0;
  double programPercent = 0.0;
  double serverPercent = 0.0;
  for (auto _ : state) {
    const Arguments argv = peer ? Arguments{kPeer, "-root", "-delay", "33333"}
                                : Arguments{VANTOR_PROGRAM,   "--root", "--resources",
                                            VANTOR_RESOURCES, "--seed", "1700000000"};
    Process program(argv, {"DISPLAY=" + screen.display()});
    countFrames(display, damage, damageEvent, 3.0);  // past start-up
    if (!program.running()) {
      state.SkipWithError("the program did not start or ended early");
      break;
    }
    const long programBefore = cpuTicks(program.pid());
    const long serverBefore = cpuTicks(screen.pid());
    const long frames = countFrames(display, damage, damageEvent, seconds);
    programPercent = corePercent(cpuTicks(program.pid()) - programBefore, seconds);
    serverPercent = corePercent(cpuTicks(screen.pid()) - serverBefore, seconds);
    fps = static_cast<double>(frames) / seconds;
  }
  XDamageDestroy(display, damage);
  XCloseDisplay(display);
  state.counters["fps"] = fps;
  state.counters["cpu_percent"] = programPercent + serverPercent;
  state.counters["program_percent"] = programPercent;
  state.counters["server_percent"] = serverPercent;
  state.counters["cpu_ms_per_frame"] =
      fps > 0.0 ? 10.0 * (programPercent + serverPercent) / fps : 0.0;
}

void fullScreenSizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->Args({1280, 720})->Args({1920, 1080})->Args({3840, 2160});
  benchmark->Iterations(1)->Unit(benchmark::kSecond);
}
BENCHMARK_CAPTURE(FullScreen, Vantor, false)->Apply(fullScreenSizes);
BENCHMARK_CAPTURE(FullScreen, Peer, true)->Apply(fullScreenSizes);

}  // namespace

BENCHMARK_MAIN();
