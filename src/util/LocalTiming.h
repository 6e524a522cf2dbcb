// The frame timer: the animation clock gTime (seconds since InitTimer) and gFrameRate (ticks
// per second over the last closed one-second window). Process-wide, one animation thread.
#pragma once

#include <sys/time.h>

extern float gTime;       // seconds from the last InitTimer to the latest tick
extern float gFrameRate;  // ticks per second; 0 until the first window closes

// Sets the zero point of gTime and starts a new measuring window. Ticks already counted in
// the open window carry over into the new one.
void InitTimer();

// One tick: advances gTime, counts the tick, closes the window once a second. Returns gTime.
float UpdateTimer();

// Replaces the wall clock the timer reads; nullptr restores gettimeofday. The offscreen host
// installs a simulated clock here so that renders repeat exactly.
void SetTimerClock(void (*clock)(timeval* now));

// Reads the clock the timer uses; the engine seeds its random sequence from its seconds.
void ReadTimerClock(timeval* now);
