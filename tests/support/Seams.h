// The program's seams, driven from tests: a clock the test sets by hand, and the C library's
// rand() with values queued by the test.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "util/Clock.h"
#include "util/LocalTiming.h"

// The frame timer's clock while a FakeClock lives; it starts at 1000 s and moves only when told.
class FakeClock : public Clock {
 public:
  void advance(double seconds) { now_ += std::llround(seconds * 1e6); }
  std::int64_t microseconds() override { return now_; }

 private:
  std::int64_t now_ = 1000 * 1000000LL;
  ScopedTimerClock installed_{*this};
};

// Queued values come out of rand() first, in order; with the queue empty, rand() is the C
// library's own.
void scriptRand(std::initializer_list<int> values);
void clearScriptedRand();
// Values queued but not yet drawn.
int scriptedRandLeft();
