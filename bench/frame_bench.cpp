// Whole frames of the real scene on the headless surface, as a saver draws them: `display`
// then `glFinish`, on a simulated clock from a fixed seed. At 1280x720 and 1920x1080, and at
// 1280x720 held on each of the seven mirror arrangements (10 to 22 copies), and held frames with
// every square recorded, to show what leaving out the squares the mirrors cut away saves. And
// the video stream's colour conversion of a frame.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <GL/glu.h>

#include <cstdint>
#include <memory>
#include <string>

#include "BenchScene.h"
#include "host/VideoStream.h"

namespace {

double processCpuSeconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

class SceneFrame : public benchmark::Fixture {
 public:
  void SetUp(const benchmark::State& state) override {
    std::string error;
    scene_ = std::make_unique<BenchScene>();
    if (!scene_->create(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                        &error)) {
      scene_.reset();
      return;
    }
    for (int i = 0; i < 30; i++) {
      scene_->frame();
    }
  }
  void TearDown(const benchmark::State&) override { scene_.reset(); }

 protected:
  // One frame; `preset` >= 0 holds that arrangement, with no morph running.
  void frame(int preset) {
    if (preset >= 0) {
      scene_->engine().setMirrorSystem(preset, false);
      isMorphing = false;
    }
    scene_->frame();
  }

  void run(benchmark::State& state, int preset) {
    if (scene_ == nullptr) {
      state.SkipWithError("no headless OpenGL context");
      return;
    }
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
      frame(preset);
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    // The software renderer draws on threads of its own: count the whole process.
    state.counters["process_cpu_ms"] =
        (processCpuSeconds() - cpuBefore) * 1000.0 / static_cast<double>(state.iterations());
  }

  std::unique_ptr<BenchScene> scene_;
};

BENCHMARK_DEFINE_F(SceneFrame, Display)(benchmark::State& state) { run(state, -1); }
BENCHMARK_REGISTER_F(SceneFrame, Display)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_DEFINE_F(SceneFrame, Preset)(benchmark::State& state) {
  run(state, static_cast<int>(state.range(2)));
  state.counters["copies"] = scene_ != nullptr ? scene_->engine().m_curMS->nbrReflections : 0;
}
BENCHMARK_REGISTER_F(SceneFrame, Preset)
    ->ArgsProduct({{1280}, {720}, {0, 1, 2, 3, 4, 5, 6}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same held frames with every square recorded, as before squares the mirrors cut away were
// left out: mirrors off while recording, on for the replay (what display does otherwise).
BENCHMARK_DEFINE_F(SceneFrame, EverySquareRecorded)(benchmark::State& state) {
  if (scene_ == nullptr) {
    state.SkipWithError("no headless OpenGL context");
    return;
  }
  ScopeApp& engine = scene_->engine();
  const double cpuBefore = processCpuSeconds();
  for (auto _ : state) {
    engine.setMirrorSystem(static_cast<int>(state.range(2)), false);
    isMorphing = false;
    scene_->tick();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, 5.5, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    engine.UpdateFrame();
    engine.b_UseMirrors = false;
    engine.RecordSystem(engine.m_curMS);
    engine.b_UseMirrors = true;
    engine.RenderSystem(engine.m_curMS);
    glFinish();
  }
  state.counters["process_cpu_ms"] =
      (processCpuSeconds() - cpuBefore) * 1000.0 / static_cast<double>(state.iterations());
}
BENCHMARK_REGISTER_F(SceneFrame, EverySquareRecorded)
    ->ArgsProduct({{1280}, {720}, {0, 6}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The video stream's colour conversion of one 1280x720 frame, against the frame's drawing
// above: it must cost less.
void VideoConversion(benchmark::State& state) {
  RgbImage picture{1280, 720, std::vector<std::uint8_t>(1280 * 720 * 3)};
  for (size_t i = 0; i < picture.rgb.size(); i++) {
    picture.rgb[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
  }
  VideoStream stream(-1, 30.0, 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(stream.convert(picture).data());
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(VideoConversion)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
