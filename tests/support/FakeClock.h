// A clock the test sets by hand, installed as the frame timer's clock while a FakeClock lives.
#pragma once

#include <sys/time.h>

class FakeClock {
 public:
  FakeClock();  // starts at 1000 s 0 us
  ~FakeClock();
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  void set(long seconds, long microseconds);
  void advance(double seconds);
};
