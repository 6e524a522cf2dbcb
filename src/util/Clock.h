// The clocks the frame timer reads: one small interface, the system clock for windows and a
// simulated clock for repeatable renders; and the program's one reading of elapsed time. Times
// are whole microseconds, so differences are exact however long the program runs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

// Microseconds on CLOCK_MONOTONIC, from an arbitrary origin: every pace, deadline and duration
// the program measures reads this, so that a step of the wall clock changes none of them.
std::int64_t monotonicMicroseconds();
// Microseconds since the Unix epoch (CLOCK_REALTIME).
std::int64_t wallMicroseconds();

class Clock {
 public:
  virtual ~Clock() = default;
  // Microseconds since the Unix epoch (or since the origin a seed chose). Whole seconds of it
  // seed the engine's random sequence; differences of it are the animation's time.
  virtual std::int64_t microseconds() = 0;

  // What the loop that drives the frames tells its clock: a frame after the first begins (a
  // simulated clock moves on), nobody can see the picture (a window's clock stops where it is),
  // someone can again (it goes on from there). Either of the last two may come twice.
  virtual void nextFrame() {}
  virtual void hold() {}
  virtual void resume() {}
};

// The wall clock, read once when made (or replaced by `startSeconds`), carried forward by
// CLOCK_MONOTONIC alone, `speed` times as fast: setting the date, NTP steps and suspends change
// nothing on screen. It can be held while nobody sees the picture, and goes on from there.
class SystemClock : public Clock {
 public:
  using Source = std::function<std::int64_t()>;  // a reading in microseconds

  explicit SystemClock(std::optional<long long> startSeconds = std::nullopt, double speed = 1.0,
                       Source wall = wallMicroseconds, Source monotonic = monotonicMicroseconds);

  std::int64_t microseconds() override;
  void hold() override;
  void resume() override;

 private:
  // Monotonic microseconds the clock has run since it was made.
  std::int64_t running();

  Source monotonic_;
  double speed_;                 // clock microseconds per monotonic one
  std::int64_t start_;           // what the clock read when made
  std::int64_t monotonicStart_;  // the monotonic reading at that moment
  std::int64_t held_ = 0;        // monotonic microseconds spent held, before the current hold
  std::optional<std::int64_t> heldSince_;  // the monotonic reading at which the hold began
};

// A clock for repeatable renders: reads `startSeconds` at first and moves on by speed/rate
// seconds per frame, however long drawing takes.
class SimulatedClock : public Clock {
 public:
  SimulatedClock(long long startSeconds, double rate, double speed = 1.0);

  void nextFrame() override { ticks_++; }
  std::int64_t microseconds() override;

 private:
  std::int64_t start_;  // microseconds
  double rate_;         // ticks per second
  double speed_;        // clock seconds per simulated second
  long long ticks_ = 0;
};
