// The wall clock, moved so that it reads a chosen second when made: a window run with --seed.
// The engine seeds its randomness from the clock's seconds, so two runs with one seed draw the
// same kaleidoscope while time still passes at the wall clock's pace. Installed as the frame
// timer's clock while it lives; one may exist at a time.
#pragma once

class SeededClock {
 public:
  explicit SeededClock(long long startSeconds);
  ~SeededClock();
  SeededClock(const SeededClock&) = delete;
  SeededClock& operator=(const SeededClock&) = delete;
};
