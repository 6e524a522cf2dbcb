// The engine's own CPU work per frame, without rasterisation: the scene's update of its
// hundred pieces and the recording of the frame's display list, on a 64x64 surface; and the
// heap allocations our code makes per frame once the first frame is done.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/Scope.h"
#include "host/offscreen/OffscreenContext.h"
#include "objects/ObjectFactory.h"
#include "support/AllocationCounter.h"
#include "util/LocalTiming.h"

namespace {

timeval simulated = {1700000000, 0};

void SimulatedClock(timeval* now) { *now = simulated; }

// A thirtieth of a second later.
void Tick() {
  simulated.tv_usec += 33333;
  if (simulated.tv_usec >= 1000000) {
    simulated.tv_usec -= 1000000;
    simulated.tv_sec++;
  }
}

void EngineUpdateAndRecord(benchmark::State& state) {
  OffscreenContext context;
  std::string error;
  if (!context.create(64, 64, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  SetTimerClock(SimulatedClock);
  ScopeApp engine(64, 64, 1, VANTOR_RESOURCES);
  for (auto _ : state) {
    Tick();
    engine.UpdateFrame();
    engine.RecordSystem(engine.m_curMS);
  }
  SetTimerClock(nullptr);
}
BENCHMARK(EngineUpdateAndRecord)->Unit(benchmark::kMicrosecond);

// Whole frames after the first, counted by the allocation hook of the tests (our own code's
// allocations; the OpenGL driver's are its business).
void AllocationsPerFrame(benchmark::State& state) {
  OffscreenContext context;
  std::string error;
  if (!context.create(64, 64, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  SetTimerClock(SimulatedClock);
  ScopeApp engine(64, 64, 1, VANTOR_RESOURCES);
  engine.display(0x10001);
  long allocations = 0;
  for (auto _ : state) {
    Tick();
    AllocationCounter counter;
    UpdateTimer();
    engine.display(0x10001);
    allocations += counter.count();
  }
  state.counters["allocations_per_frame"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations());
  SetTimerClock(nullptr);
}
BENCHMARK(AllocationsPerFrame)->Iterations(3000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
