// A clock for repeatable renders: installed as the frame timer's clock while it lives, it
// reads `startSeconds` at first and moves on by exactly 1/rate seconds per advance(), however
// long drawing takes. One may exist at a time (the frame timer is process-wide).
#pragma once

class SimulatedClock {
 public:
  SimulatedClock(long long startSeconds, double rate);
  ~SimulatedClock();
  SimulatedClock(const SimulatedClock&) = delete;
  SimulatedClock& operator=(const SimulatedClock&) = delete;

  void advance();
  // Seconds since the start.
  double elapsed() const;

 private:
  long long startSeconds_;
  double rate_;  // ticks per second
  long long ticks_ = 0;
};
