#include "util/Clock.h"

#include <time.h>

#include <cassert>
#include <cmath>
#include <utility>

namespace {

std::int64_t Read(clockid_t id) {
  timespec now;
  clock_gettime(id, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

}  // namespace

std::int64_t SystemClock::WallMicroseconds() { return Read(CLOCK_REALTIME); }

std::int64_t SystemClock::MonotonicMicroseconds() { return Read(CLOCK_MONOTONIC); }

SystemClock::SystemClock(std::optional<long long> startSeconds, Source wall, Source monotonic)
    : monotonic_(std::move(monotonic)) {
  start_ = startSeconds ? static_cast<std::int64_t>(*startSeconds) * 1000000 : wall();
  monotonicStart_ = monotonic_();
}

std::int64_t SystemClock::microseconds() { return start_ + (monotonic_() - monotonicStart_); }

SimulatedClock::SimulatedClock(long long startSeconds, double rate)
    : start_(static_cast<std::int64_t>(startSeconds) * 1000000), rate_(rate) {
  assert(rate > 0.0 && "a simulated clock needs a positive rate");
}

std::int64_t SimulatedClock::microseconds() {
  // Computed from the tick count, not summed, so no rounding error piles up.
  return start_ + std::llround(static_cast<double>(ticks_) * 1e6 / rate_);
}
