// Whole frames of the real scene on the headless surface, as a saver draws them: `display`
// then `glFinish`, on a simulated clock from a fixed seed. At 1280x720 and 1920x1080, and at
// 1280x720 held on each of the seven mirror arrangements (10 to 22 copies).
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <string>

#include "engine/Scope.h"
#include "host/offscreen/OffscreenContext.h"
#include "util/LocalTiming.h"

namespace {

timeval simulated;

void SimulatedClock(timeval* now) { *now = simulated; }

double ProcessCpuSeconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

class SceneFrame : public benchmark::Fixture {
 public:
  void SetUp(const benchmark::State& state) override {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    std::string error;
    if (!context_.create(width, height, &error)) {
      return;
    }
    simulated = {1700000000, 0};
    SetTimerClock(SimulatedClock);
    engine_ = new ScopeApp(width, height, 1, VANTOR_RESOURCES);
    for (int i = 0; i < 30; i++) {
      frame(-1);
    }
  }
  void TearDown(const benchmark::State&) override {
    delete engine_;
    engine_ = nullptr;
    SetTimerClock(nullptr);
  }

 protected:
  // One frame a thirtieth of a second after the last; `preset` >= 0 holds that arrangement.
  void frame(int preset) {
    simulated.tv_usec += 33333;
    if (simulated.tv_usec >= 1000000) {
      simulated.tv_usec -= 1000000;
      simulated.tv_sec++;
    }
    if (preset >= 0) {
      engine_->setMirrorSystem(preset, false);
      isMorphing = false;
    }
    UpdateTimer();
    engine_->display(0x10001);
    glFinish();
  }

  void run(benchmark::State& state, int preset) {
    if (engine_ == nullptr) {
      state.SkipWithError("no headless OpenGL context");
      return;
    }
    const double cpuBefore = ProcessCpuSeconds();
    for (auto _ : state) {
      frame(preset);
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    // The software renderer draws on threads of its own: count the whole process.
    state.counters["process_cpu_ms"] =
        (ProcessCpuSeconds() - cpuBefore) * 1000.0 / static_cast<double>(state.iterations());
  }

  OffscreenContext context_;
  ScopeApp* engine_ = nullptr;
};

BENCHMARK_DEFINE_F(SceneFrame, Display)(benchmark::State& state) { run(state, -1); }
BENCHMARK_REGISTER_F(SceneFrame, Display)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_DEFINE_F(SceneFrame, Preset)(benchmark::State& state) {
  run(state, static_cast<int>(state.range(2)));
  state.counters["copies"] = engine_ != nullptr ? engine_->m_curMS->nbrReflections : 0;
}
BENCHMARK_REGISTER_F(SceneFrame, Preset)
    ->ArgsProduct({{1280}, {720}, {0, 1, 2, 3, 4, 5, 6}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
