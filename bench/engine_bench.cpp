// The engine's own CPU work per frame, without rasterisation: the scene's update of its
// hundred pieces and the recording of the frame's display list, on a 64x64 surface; a frame
// a snapshot steps through without drawing; and the heap allocations our code makes per frame
// once the first frame is done.
#include <benchmark/benchmark.h>

#include <string>

#include "AllocationCounter.h"
#include "BenchScene.h"

namespace {

// The scene on a 64x64 surface; false, with the benchmark skipped, when there is none.
bool createScene(BenchScene* scene, benchmark::State& state) {
  std::string error;
  if (!scene->create(64, 64, &error)) {
    state.SkipWithError(error.c_str());
    return false;
  }
  return true;
}

void EngineUpdateAndRecord(benchmark::State& state) {
  BenchScene scene;
  if (!createScene(&scene, state)) {
    return;
  }
  ScopeApp& engine = scene.engine();
  for (auto _ : state) {
    scene.tick();
    engine.UpdateFrame();
    engine.RecordSystem(engine.m_curMS);
  }
}
BENCHMARK(EngineUpdateAndRecord)->Unit(benchmark::kMicrosecond);

// What a snapshot pays for each frame before its own: a day in at 30 Hz is 2.6 million of them.
void EngineSkipFrame(benchmark::State& state) {
  BenchScene scene;
  if (!createScene(&scene, state)) {
    return;
  }
  ScopeApp& engine = scene.engine();
  for (auto _ : state) {
    scene.tick();
    engine.skipFrame();
  }
}
BENCHMARK(EngineSkipFrame)->Unit(benchmark::kNanosecond);

// Whole frames after the first, counted by the allocation counter (our own code's
// allocations; the OpenGL driver's are its business).
void AllocationsPerFrame(benchmark::State& state) {
  BenchScene scene;
  if (!createScene(&scene, state)) {
    return;
  }
  scene.frame();
  long allocations = 0;
  for (auto _ : state) {
    AllocationCounter counter;
    scene.frame();
    allocations += counter.count();
  }
  state.counters["allocations_per_frame"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations());
}
BENCHMARK(AllocationsPerFrame)->Iterations(3000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
