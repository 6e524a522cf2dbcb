#include "FakeClock.h"

#include <cmath>

#include "util/LocalTiming.h"

namespace {

timeval now = {1000, 0};

void ReadFake(timeval* out) { *out = now; }

}  // namespace

FakeClock::FakeClock() {
  set(1000, 0);
  SetTimerClock(ReadFake);
}

FakeClock::~FakeClock() { SetTimerClock(nullptr); }

void FakeClock::set(long seconds, long microseconds) { now = {seconds, microseconds}; }

void FakeClock::advance(double seconds) {
  long long micros = now.tv_sec * 1000000LL + now.tv_usec + std::llround(seconds * 1e6);
  set(static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000));
}
