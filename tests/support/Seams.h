// The program's seams, driven from tests: a clock the test sets by hand, and the C library's
// rand() with values queued by the test.
#pragma once

#include <sys/time.h>

#include <cmath>
#include <initializer_list>

#include "util/LocalTiming.h"

// Installed as the frame timer's clock while a FakeClock lives; it starts at 1000 s 0 us.
class FakeClock {
 public:
  FakeClock() {
    now_ = {1000, 0};
    SetTimerClock(Read);
  }
  ~FakeClock() { SetTimerClock(nullptr); }
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  void advance(double seconds) {
    long long micros = now_.tv_sec * 1000000LL + now_.tv_usec + std::llround(seconds * 1e6);
    now_ = {static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000)};
  }

 private:
  static void Read(timeval* out) { *out = now_; }
  inline static timeval now_ = {1000, 0};
};

// Queued values come out of rand() first, in order; with the queue empty, rand() is the C
// library's own.
void ScriptRand(std::initializer_list<int> values);
void ClearScriptedRand();
// Values queued but not yet drawn.
int ScriptedRandLeft();
