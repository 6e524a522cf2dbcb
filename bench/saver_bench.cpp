// Vantor as people run it: the program in its own 1280x720 window on a virtual X server.
// How long from exec to the first frame on screen, and what the running saver costs: the
// share of one core it uses at 30 ticks a second over 20 s, and its peak resident memory.
// Then full screen at 1280x720, 1920x1080 and 3840x2160, Vantor (with its automatic scale)
// beside the GL kaleidoscope of Debian's xscreensaver-gl, run as a black box at the same rate:
// frames shown a second (counted by the X server's damage reports) and the CPU of the program
// and of the X server together, since work moved into the server is no saving.
// The seed is fixed, so every run draws the same kaleidoscope: what a frame costs depends on
// the scene (how large the pieces are drawn), and random scenes would drown the figure.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void Pause(double seconds) {
  timespec pause = {
      static_cast<time_t>(seconds),
      static_cast<long>((seconds - static_cast<double>(static_cast<time_t>(seconds))) * 1e9)};
  nanosleep(&pause, nullptr);
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment,
            posix_spawn_file_actions_t* actions = nullptr) {
  std::vector<char*> args;
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  std::vector<std::string> environment(extraEnvironment);
  for (char** entry = environ; *entry != nullptr; entry++) {
    environment.emplace_back(*entry);
  }
  std::vector<char*> env;
  for (std::string& entry : environment) {
    env.push_back(&entry[0]);
  }
  env.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], actions, nullptr, args.data(), env.data()) != 0) {
    return -1;
  }
  return pid;
}

void Stop(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

// A virtual X server on a free display that it picks itself.
class VirtualScreen {
 public:
  explicit VirtualScreen(const std::string& size = "1920x1080") {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_ = Spawn({"/usr/bin/Xvfb", "-displayfd", "3", "-noreset", "-nolisten", "tcp", "-screen",
                  "0", size + "x24"},
                 {}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    // The server writes its display number and a newline once it takes connections.
    std::string number;
    char digit = 0;
    while (pid_ > 0 && read(pipeFds[0], &digit, 1) == 1 && digit != '\n') {
      number += digit;
    }
    close(pipeFds[0]);
    if (digit == '\n' && !number.empty()) {
      display_ = ":" + number;
    }
  }
  ~VirtualScreen() {
    if (pid_ > 0) {
      Stop(pid_);
    }
  }
  const std::string& display() const { return display_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

VirtualScreen& Screen() {
  static VirtualScreen screen;
  return screen;
}

pid_t StartSaver() {
  return Spawn({VANTOR_PROGRAM, "-geometry", std::to_string(kWidth) + "x" + std::to_string(kHeight),
                "--resources", VANTOR_RESOURCES, "--seed", "1700000000"},
               {"DISPLAY=" + Screen().display()});
}

// Whether the saver's window (the server's only top-level window, there being no window
// manager) shows anything but black yet.
bool FrameOnScreen(Display* display) {
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

// Ticks of user and system time the process has used.
long CpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  long ticks = 0;
  for (int i = 1; i <= 15 && stat >> field; i++) {
    if (i == 14 || i == 15) {
      ticks += std::atol(field.c_str());
    }
  }
  return ticks;
}

// Peak resident memory in megabytes.
double PeakResidentMegabytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::atof(line.c_str() + 6) / 1024.0;
    }
  }
  return 0.0;
}

void StartToFirstFrame(benchmark::State& state) {
  Display* display = XOpenDisplay(Screen().display().c_str());
  if (display == nullptr) {
    state.SkipWithError("no virtual X server (install xvfb)");
    return;
  }
  for (auto _ : state) {
    double start = Now();
    pid_t saver = StartSaver();
    while (!FrameOnScreen(display) && Now() - start < 10.0) {
      Pause(0.002);
    }
    const double elapsed = Now() - start;
    Stop(saver);
    if (elapsed >= 10.0) {
      state.SkipWithError("no frame on screen within 10 s");
      break;
    }
    state.SetIterationTime(elapsed);
  }
  XCloseDisplay(display);
}
BENCHMARK(StartToFirstFrame)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void RunningSaver(benchmark::State& state) {
  const double seconds = 20.0;
  double cpuPercent = 0.0;
  double peakMegabytes = 0.0;
  for (auto _ : state) {
    pid_t saver = StartSaver();
    Pause(2.0);  // past start-up
    if (saver < 0 || waitpid(saver, nullptr, WNOHANG) != 0) {
      state.SkipWithError("the saver did not start or ended early");
      break;
    }
    long before = CpuTicks(saver);
    Pause(seconds);
    long used = CpuTicks(saver) - before;
    cpuPercent =
        100.0 * static_cast<double>(used) / (static_cast<double>(sysconf(_SC_CLK_TCK)) * seconds);
    peakMegabytes = PeakResidentMegabytes(saver);
    Stop(saver);
  }
  state.counters["cpu_percent"] = cpuPercent;
  state.counters["peak_rss_mb"] = peakMegabytes;
}
BENCHMARK(RunningSaver)->Iterations(1)->Unit(benchmark::kSecond);

constexpr const char* kPeer = "/usr/libexec/xscreensaver/kaleidocycle";

// Frames put on the root window of `display` in `seconds`: each report of damage counts one,
// and is cleared at once so the next frame reports again.
long CountFrames(Display* display, Damage damage, int damageEvent, double seconds) {
  long frames = 0;
  const double end = Now() + seconds;
  for (double now = Now(); now < end; now = Now()) {
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
  VirtualScreen screen(std::to_string(width) + "x" + std::to_string(height));
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
    const std::vector<std::string> argv =
        peer ? std::vector<std::string>{kPeer, "-root", "-delay", "33333"}
             : std::vector<std::string>{VANTOR_PROGRAM,   "--root", "--resources",
                                        VANTOR_RESOURCES, "--seed", "1700000000"};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t program = Spawn(argv, {"DISPLAY=" + screen.display()}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    CountFrames(display, damage, damageEvent, 3.0);  // past start-up
    if (program < 0 || waitpid(program, nullptr, WNOHANG) != 0) {
      state.SkipWithError("the program did not start or ended early");
      break;
    }
    const long programBefore = CpuTicks(program);
    const long serverBefore = CpuTicks(screen.pid());
    const long frames = CountFrames(display, damage, damageEvent, seconds);
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    programPercent =
        100.0 * static_cast<double>(CpuTicks(program) - programBefore) / (tick * seconds);
    serverPercent =
        100.0 * static_cast<double>(CpuTicks(screen.pid()) - serverBefore) / (tick * seconds);
    fps = static_cast<double>(frames) / seconds;
    Stop(program);
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

void FullScreenSizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->Args({1280, 720})->Args({1920, 1080})->Args({3840, 2160});
  benchmark->Iterations(1)->Unit(benchmark::kSecond);
}
BENCHMARK_CAPTURE(FullScreen, Vantor, false)->Apply(FullScreenSizes);
BENCHMARK_CAPTURE(FullScreen, Peer, true)->Apply(FullScreenSizes);

}  // namespace

BENCHMARK_MAIN();
