#include "util/LocalTiming.h"

float gTime = 0.0f;
float gFrameRate = 0.0f;

namespace {

timeval startClock = {0, 0};
timeval lastClock = {0, 0};
int nFrames = 0;
void (*timerClock)(timeval* now) = nullptr;

// Seconds from `from` to `to`: both differences as signed integers, the rest in single
// precision (a negative microsecond difference is fine: 5.2 s - 4.7 s is 1 - 0.5).
float SecondsBetween(const timeval& from, const timeval& to) {
  float seconds = static_cast<float>(to.tv_sec - from.tv_sec);
  float micros = static_cast<float>(to.tv_usec - from.tv_usec);
  return seconds + micros / 1000000.0f;
}

}  // namespace

void SetTimerClock(void (*clock)(timeval* now)) { timerClock = clock; }

void ReadTimerClock(timeval* now) {
  if (timerClock != nullptr) {
    timerClock(now);
  } else {
    gettimeofday(now, nullptr);
  }
}

void InitTimer() {
  ReadTimerClock(&startClock);
  ReadTimerClock(&lastClock);
}

float UpdateTimer() {
  timeval rightNow;
  ReadTimerClock(&rightNow);
  float t = SecondsBetween(startClock, rightNow);
  float dt = SecondsBetween(lastClock, rightNow);
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
