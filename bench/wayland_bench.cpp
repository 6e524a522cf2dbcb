// Vantor on Wayland, under a headless sway of the benchmark's own with one 1280x720 output:
// the share of one core the wallpaper (--layer background, 30 ticks a second) uses over 15 s
// from its first frame on screen, and sway's own in the same span, since work moved into the
// compositor is no saving; the frames it shows a second, there and on a 3840x2160 output; and
// what Vantor's own window costs on a workspace out of sight; one kaleidoscope on several
// outputs against the largest alone; and a wallpaper wholly covered by a tiled window. The seed is
// fixed for the reason saver_bench gives. Sway refuses root, so under root it and Vantor run as
// nobody: Vantor is installed into a stage of the benchmark's own that any user can reach, as the
// build tree may not be.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Process.h"
#include "Stage.h"
#include "Sway.h"

namespace {

// The installed program (see Stage.h), or "" when the install failed.
std::string programPath() {
  const std::string& usr = installedUsr(VANTOR_BUILD_DIR);
  return usr.empty() ? usr : usr + "/bin/vantor";
}

// Whether HEADLESS-1 shows a frame: a tenth of it near black, the kaleidoscope's ground (sway's
// own empty background is grey).
bool frameShown(const Sway& sway) {
  Frame frame;
  std::string error;
  return sway.capture("HEADLESS-1", &frame, &error) && frame.darkShare() > 0.1;
}

// Vantor with `options` under `sway`, once its first frame is on screen; else null, with the
// benchmark skipped.
std::unique_ptr<Process> startShown(benchmark::State& state, const Sway& sway,
                                    const Arguments& options, const Arguments& environment = {}) {
  Arguments command = options;
  command.insert(command.begin(), programPath());
  auto vantor = sway.start(command, environment);
  if (!eventually([&] { return !vantor->running() || frameShown(sway); }, 15.0) ||
      !vantor->running()) {
    state.SkipWithError(("no frame on screen within 15 s: " + vantor->errorSoFar()).c_str());
    return nullptr;
  }
  return vantor;
}

// The headless sway of one benchmark run, or null with the run skipped (and why).
std::unique_ptr<Sway> startSway(benchmark::State& state) {
  auto sway = std::make_unique<Sway>();
  if (!sway->problem().empty()) {
    state.SkipWithError(("no headless sway: " + sway->problem()).c_str());
    return nullptr;
  }
  if (programPath().empty()) {
    state.SkipWithError("cannot install Vantor into a stage (cmake --install failed)");
    return nullptr;
  }
  return sway;
}

const Arguments kWallpaper = {"--layer", "background", "--seed", "1700000000"};

// The share of one core Vantor and sway each use over `seconds`, as the run's counters.
void measureCpu(benchmark::State& state, const Sway& sway, Process& vantor, double seconds) {
  const long vantorBefore = cpuTicks(vantor.pid()), swayBefore = cpuTicks(sway.pid());
  sleepFor(seconds);
  state.counters["cpu_percent"] = corePercent(cpuTicks(vantor.pid()) - vantorBefore, seconds);
  state.counters["sway_percent"] = corePercent(cpuTicks(sway.pid()) - swayBefore, seconds);
}

void Wallpaper(benchmark::State& state) {
  auto sway = startSway(state);
  for (auto _ : state) {
    auto vantor = sway != nullptr ? startShown(state, *sway, kWallpaper) : nullptr;
    if (vantor == nullptr) {
      break;
    }
    measureCpu(state, *sway, *vantor, 15.0);
  }
}
BENCHMARK(Wallpaper)->Iterations(1)->Unit(benchmark::kSecond);

// One kaleidoscope shared by several outputs: the wallpaper's CPU on the outputs given (sizes,
// side by side), to be held against the largest of them alone.
void Outputs(benchmark::State& state, std::vector<std::string> sizes) {
  auto sway = startSway(state);
  for (size_t i = 1; sway != nullptr && i < sizes.size(); i++) {
    sway->message({"create_output"});
  }
  int left = 0;
  for (size_t i = 0; sway != nullptr && i < sizes.size(); i++) {
    const std::string name = "HEADLESS-" + std::to_string(i + 1);
    if (sway->message(
                {"output", name, "resolution", sizes[i], "position", std::to_string(left), "0"})
            .status != 0) {
      state.SkipWithError(("swaymsg cannot set " + name + "'s resolution").c_str());
      sway.reset();
      break;
    }
    left += std::stoi(sizes[i]);
  }
  for (auto _ : state) {
    auto vantor =
        sway != nullptr ? startShown(state, *sway, kWallpaper, {"WAYLAND_DEBUG=client"}) : nullptr;
    if (vantor == nullptr) {
      break;
    }
    sleepFor(1.0);  // every output has its first frame
    const long framesBefore = frameRequests(*vantor), cpuBefore = cpuTicks(vantor->pid());
    measureCpu(state, *sway, *vantor, 10.0);
    // A busy machine draws fewer frames: the CPU of one frame shown on every output compares
    // runs whatever else the machine does.
    const double frames = static_cast<double>(frameRequests(*vantor) - framesBefore) / sizes.size();
    state.counters["fps"] = frames / 10.0;
    state.counters["cpu_ms_per_frame"] =
        corePercent(cpuTicks(vantor->pid()) - cpuBefore, 1.0) * 10.0 / std::max(frames, 1.0);
  }
}
BENCHMARK_CAPTURE(Outputs, 1280x720, std::vector<std::string>{"1280x720"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Outputs, 1920x1080, std::vector<std::string>{"1920x1080"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Outputs, 1920x1080 + 800x600, std::vector<std::string>{"1920x1080", "800x600"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Outputs, 3x1280x720, std::vector<std::string>{"1280x720", "1280x720", "1280x720"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// A wallpaper under a tiled window that covers the whole output (Vantor's own, at one frame a
// second): sway sends it frame callbacks all the same; it should cost next to nothing.
void CoveredWallpaper(benchmark::State& state) {
  auto sway = startSway(state);
  for (auto _ : state) {
    auto vantor = sway != nullptr ? startShown(state, *sway, kWallpaper) : nullptr;
    if (vantor == nullptr) {
      break;
    }
    auto window = sway->start({programPath(), "--delay", "1000000"});
    sleepFor(3.0);
    if (!window->running()) {
      state.SkipWithError(("the covering window did not open: " + window->errorSoFar()).c_str());
      break;
    }
    measureCpu(state, *sway, *vantor, 10.0);
  }
}
BENCHMARK(CoveredWallpaper)->Iterations(1)->Unit(benchmark::kSecond);

// Frames shown a second, in a run of their own: libwayland logs every request Vantor sends,
// which costs a little CPU, and each frame asks for the compositor's next one before it is
// committed (Vantor draws only when the compositor wants a frame, so each is shown). On the
// 1280x720 output, and on one of 3840x2160, which a software renderer draws at 1920x1080 for the
// compositor to enlarge.
void WallpaperFrames(benchmark::State& state, const char* resolution) {
  auto sway = startSway(state);
  if (sway != nullptr && sway->message({"output", "HEADLESS-1", "resolution", resolution}).status) {
    state.SkipWithError("swaymsg cannot set the output's resolution");
    sway.reset();
  }
  const double seconds = 10.0;
  double fps = 0.0;
  for (auto _ : state) {
    auto vantor =
        sway != nullptr ? startShown(state, *sway, kWallpaper, {"WAYLAND_DEBUG=client"}) : nullptr;
    if (vantor == nullptr) {
      break;
    }
    const long before = frameRequests(*vantor);
    sleepFor(seconds);
    fps = static_cast<double>(frameRequests(*vantor) - before) / seconds;
  }
  state.counters["fps"] = fps;
}
BENCHMARK_CAPTURE(WallpaperFrames, 1280x720, "1280x720")->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(WallpaperFrames, 3840x2160, "3840x2160")->Iterations(1)->Unit(benchmark::kSecond);

// Vantor's own window (tiled over the output) moved out of sight by a change of workspace:
// the compositor asks for no frames, and Vantor should draw none.
void HiddenWindow(benchmark::State& state) {
  auto sway = startSway(state);
  for (auto _ : state) {
    auto vantor = sway != nullptr ? startShown(state, *sway, {}) : nullptr;
    if (vantor == nullptr) {
      break;
    }
    const Exit moved = sway->message({"workspace", "2"});
    if (moved.status != 0) {
      state.SkipWithError(("swaymsg workspace 2: " + moved.err).c_str());
      break;
    }
    sleepFor(1.0);
    measureCpu(state, *sway, *vantor, 10.0);
  }
}
BENCHMARK(HiddenWindow)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
