#include "host/offscreen/SimulatedClock.h"

#include <cassert>
#include <cmath>

#include "util/LocalTiming.h"

namespace {

// The timer's clock seam takes a plain function, so the time it reads lives here.
timeval simulatedNow = {0, 0};
bool installed = false;

void ReadSimulatedClock(timeval* now) { *now = simulatedNow; }

}  // namespace

SimulatedClock::SimulatedClock(long long startSeconds, double rate)
    : startSeconds_(startSeconds), rate_(rate) {
  assert(!installed && "only one simulated clock can drive the frame timer");
  assert(rate > 0.0 && "a simulated clock needs a positive rate");
  installed = true;
  simulatedNow.tv_sec = static_cast<time_t>(startSeconds_);
  simulatedNow.tv_usec = 0;
  SetTimerClock(ReadSimulatedClock);
}

SimulatedClock::~SimulatedClock() {
  SetTimerClock(nullptr);
  installed = false;
}

void SimulatedClock::advance() {
  ticks_++;
  // Computed from the tick count, not summed, so no rounding error piles up.
  long long micros = std::llround(static_cast<double>(ticks_) * 1e6 / rate_);
  simulatedNow.tv_sec = static_cast<time_t>(startSeconds_ + micros / 1000000);
  simulatedNow.tv_usec = static_cast<suseconds_t>(micros % 1000000);
}

double SimulatedClock::elapsed() const { return static_cast<double>(ticks_) / rate_; }
