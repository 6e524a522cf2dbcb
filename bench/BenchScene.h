// The real scene on a headless surface for the benchmarks: a context of the given size, the
// frame timer on a simulated clock at 30 ticks a second from a fixed seed (so every run draws
// the same frames), and the engine with the committed atlas.
#pragma once

#include <memory>
#include <string>

#include "engine/Scope.h"
#include "host/offscreen/OffscreenContext.h"
#include "util/Clock.h"
#include "util/LocalTiming.h"

class BenchScene {
 public:
  // False with *error when no headless context can be made.
  bool create(int width, int height, std::string* error) {
    if (!context_.create(width, height, error)) {
      return false;
    }
    clock_ = std::make_unique<SimulatedClock>(1700000000, 30.0);
    timerClock_ = std::make_unique<ScopedTimerClock>(*clock_);
    engine_ = std::make_unique<ScopeApp>(width, height, 1, VANTOR_RESOURCES);
    return true;
  }

  ~BenchScene() {
    engine_.reset();  // on its own context, before the clock goes
    timerClock_.reset();
    clock_.reset();
  }

  ScopeApp& engine() { return *engine_; }

  // The clock a thirtieth of a second on, ticked as the saver view ticks it.
  void tick() {
    clock_->nextFrame();
    UpdateTimer();
  }

  // One whole frame, finished.
  void frame() {
    tick();
    engine_->display(0x10001);
    glFinish();
  }

 private:
  OffscreenContext context_;
  std::unique_ptr<SimulatedClock> clock_;
  std::unique_ptr<ScopedTimerClock> timerClock_;
  std::unique_ptr<ScopeApp> engine_;
};
