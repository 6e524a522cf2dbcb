// The program's seams, driven from tests: a clock the test sets by hand, and the C library's
// rand() with values queued by the test.
#pragma once

#include <sys/time.h>

#include <initializer_list>

// Installed as the frame timer's clock while a FakeClock lives.
class FakeClock {
 public:
  FakeClock();  // starts at 1000 s 0 us
  ~FakeClock();
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  void set(long seconds, long microseconds);
  void advance(double seconds);
};

// Queued values come out of rand() first, in order; with the queue empty, rand() is the C
// library's own.
void ScriptRand(std::initializer_list<int> values);
void ClearScriptedRand();
// Values queued but not yet drawn.
int ScriptedRandLeft();
