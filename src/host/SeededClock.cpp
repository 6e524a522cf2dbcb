#include "host/SeededClock.h"

#include <sys/time.h>

#include "util/LocalTiming.h"

namespace {

// The timer's clock seam takes a plain function, so the offset lives here.
long long offsetSeconds = 0;

void ReadSeededClock(timeval* now) {
  gettimeofday(now, nullptr);
  now->tv_sec = static_cast<time_t>(now->tv_sec + offsetSeconds);
}

}  // namespace

SeededClock::SeededClock(long long startSeconds) {
  timeval now;
  gettimeofday(&now, nullptr);
  offsetSeconds = startSeconds - static_cast<long long>(now.tv_sec);
  SetTimerClock(ReadSeededClock);
}

SeededClock::~SeededClock() { SetTimerClock(nullptr); }
