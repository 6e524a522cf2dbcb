// The frame timer: the animation clock gTime (seconds since InitTimer) and gFrameRate (ticks
// per second over the last closed one-second window). Process-wide, one animation thread.
#pragma once

class Clock;

// Seconds from the last InitTimer to the latest tick. Double precision, so that a frame's step
// stays exact to well under a microsecond after months of running.
extern double gTime;
extern float gFrameRate;  // ticks per second; 0 until the first window closes

// Sets the zero point of gTime and starts a new measuring window. Ticks already counted in
// the open window carry over into the new one.
void InitTimer();

// One tick: advances gTime, counts the tick, closes the window once a second. Returns gTime.
double UpdateTimer();

// Hands `clock` to the timer for exactly this object's lifetime; the clock the timer read before
// comes back when it goes. Without any, the timer reads a system clock of its own, made on
// first use. Installers nest: the last one made is the first to go.
class ScopedTimerClock {
 public:
  explicit ScopedTimerClock(Clock& clock);
  ~ScopedTimerClock();
  ScopedTimerClock(const ScopedTimerClock&) = delete;
  ScopedTimerClock& operator=(const ScopedTimerClock&) = delete;

 private:
  Clock* previous_;
};

// Whole seconds of the timer's clock, rounded down; the engine seeds its random sequence with it.
long long readTimerClockSeconds();
