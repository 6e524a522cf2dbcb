#include "util/LocalTiming.h"

#include <cstdint>

#include "util/Clock.h"

double gTime = 0.0;
float gFrameRate = 0.0f;

namespace {

std::int64_t startClock = 0;  // microseconds on the timer's clock
std::int64_t lastClock = 0;
int nFrames = 0;
Clock* timerClock = nullptr;

Clock& currentClock() {
  if (timerClock != nullptr) {
    return *timerClock;
  }
  static SystemClock fallback;
  return fallback;
}

// Seconds from `from` to `to`, from the exact difference in microseconds.
double secondsBetween(std::int64_t from, std::int64_t to) {
  return static_cast<double>(to - from) / 1000000.0;
}

}  // namespace

ScopedTimerClock::ScopedTimerClock(Clock& clock) : previous_(timerClock) { timerClock = &clock; }

ScopedTimerClock::~ScopedTimerClock() { timerClock = previous_; }

long long readTimerClockSeconds() {
  const std::int64_t now = currentClock().microseconds();
  // Down, as a timeval's seconds go, also before the epoch.
  return static_cast<long long>(now / 1000000 - (now % 1000000 < 0 ? 1 : 0));
}

void InitTimer() {
  startClock = currentClock().microseconds();
  lastClock = currentClock().microseconds();
}

double UpdateTimer() {
  const std::int64_t rightNow = currentClock().microseconds();
  const double t = secondsBetween(startClock, rightNow);
  const float dt = static_cast<float>(secondsBetween(lastClock, rightNow));
  // The tick that closes a window counts in neither window: 60 ticks a second report 59.
  if (dt >= 1.0f) {
    gFrameRate = static_cast<float>(nFrames) / dt;
    nFrames = 0;
    lastClock = rightNow;
  } else {
    nFrames++;
  }
  gTime = t;
  return t;
}
