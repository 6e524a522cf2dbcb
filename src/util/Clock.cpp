#include "util/Clock.h"

#include <time.h>

#include <cassert>
#include <cmath>
#include <utility>

namespace {

std::int64_t read(clockid_t id) {
  timespec now;
  clock_gettime(id, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

}  // namespace

std::int64_t monotonicMicroseconds() { return read(CLOCK_MONOTONIC); }

std::int64_t wallMicroseconds() { return read(CLOCK_REALTIME); }

SystemClock::SystemClock(std::optional<long long> startSeconds, double speed, Source wall,
                         Source monotonic)
    : monotonic_(std::move(monotonic)), speed_(speed) {
  assert(speed > 0.0 && "a clock needs a positive speed");
  start_ = startSeconds ? static_cast<std::int64_t>(*startSeconds) * 1000000 : wall();
  monotonicStart_ = monotonic_();
}

std::int64_t SystemClock::running() {
  const std::int64_t now = heldSince_ ? *heldSince_ : monotonic_();
  return now - monotonicStart_ - held_;
}

std::int64_t SystemClock::microseconds() {
  // Multiplied by exactly 1 at the usual speed: an integer below 2^53 stays as it is.
  return start_ + std::llround(static_cast<double>(running()) * speed_);
}

void SystemClock::hold() {
  if (!heldSince_) {
    heldSince_ = monotonic_();
  }
}

void SystemClock::resume() {
  if (heldSince_) {
    held_ += monotonic_() - *heldSince_;
    heldSince_.reset();
  }
}

SimulatedClock::SimulatedClock(long long startSeconds, double rate, double speed)
    : start_(static_cast<std::int64_t>(startSeconds) * 1000000), rate_(rate), speed_(speed) {
  assert(rate > 0.0 && "a simulated clock needs a positive rate");
  assert(speed > 0.0 && "a clock needs a positive speed");
}

std::int64_t SimulatedClock::microseconds() {
  // Computed from the tick count, not summed, so no rounding error piles up; at the usual
  // speed the product is the quotient itself.
  return start_ + std::llround(static_cast<double>(ticks_) * 1e6 / rate_ * speed_);
}
