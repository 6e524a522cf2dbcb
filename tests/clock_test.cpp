// Guards the frame timer and the clocks it reads: the rate window and the clock's edges, the
// simulated clock over a month of ticks, and the window clock against steps of the wall clock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>

#include "support/Seams.h"
#include "util/Clock.h"
#include "util/LocalTiming.h"

namespace {

// Guards the frame timer's clock and frame-rate window through the clock seam, at the edges
// the animation meets: the first tick, microsecond borrows, window closing, a clock set back.
TEST(Timer, RateWindowAndClockEdges) {
  FakeClock clock;
  gFrameRate = 42.0f;
  InitTimer();
  clock.advance(0.000010);
  EXPECT_NEAR(UpdateTimer(), 0.00001f, 1e-7f);
  EXPECT_EQ(gFrameRate, 42.0f);  // the first tick keeps the rate
  clock.advance(0.69999);  // to 1000.7 s: the next tick's microseconds borrow from its seconds
  InitTimer();
  clock.advance(0.5);
  EXPECT_FLOAT_EQ(UpdateTimer(), 0.5f);
  // Ticks a second apart close a window each. The first closes the window InitTimer opened,
  // on the two ticks counted before it (one from before InitTimer carries over) and not on
  // itself; the others have nothing counted.
  for (int i = 0; i < 4; i++) {
    clock.advance(1.0);
    UpdateTimer();
    EXPECT_FLOAT_EQ(gFrameRate, i == 0 ? 2.0f / 1.5f : 0.0f) << i;
  }
  // Ten ticks 0.11 s apart: the tenth closes the window on the nine before it.
  for (int i = 1; i <= 10; i++) {
    clock.advance(0.11);
    UpdateTimer();
    EXPECT_EQ(gFrameRate == 0.0f, i < 10) << i;
  }
  EXPECT_NEAR(gFrameRate, 9.0f / 1.1f, 1e-4f);
  // A clock set back gives negative time and closes no window.
  gFrameRate = 0.0f;
  InitTimer();
  clock.advance(-5.0);
  EXPECT_FLOAT_EQ(UpdateTimer(), -5.0f);
  clock.advance(5.9);
  UpdateTimer();
  EXPECT_EQ(gFrameRate, 0.0f);
  clock.advance(0.2);  // 1.1 s after the window began
  UpdateTimer();
  EXPECT_GT(gFrameRate, 0.0f);
}

// Guards the simulated clock over a month of ticks: the time is computed from the tick count,
// so it is exact (to the microsecond) however many ticks went before, and so is the frame step.
TEST(Clock, SimulatedTimeIsExactAfterMillionsOfTicks) {
  for (double rate : {30.0, 60.0}) {
    SimulatedClock clock(1000, rate);
    ScopedTimerClock installed(clock);
    InitTimer();
    const long month = std::lround(30 * 86400 * rate);  // divisible by 3
    for (long k = 1; k <= month; k++) {
      clock.nextFrame();
      if (k == 3 || k == 3000000 || k == month) {
        // k / rate seconds, in microseconds: a whole number whenever 3 divides k.
        EXPECT_EQ(clock.microseconds() - 1000000000LL, std::llround(k * 1e6 / rate)) << k;
      }
    }
    EXPECT_EQ(UpdateTimer(), 30.0 * 86400.0) << rate;
    clock.nextFrame();
    EXPECT_NEAR(UpdateTimer() - 30.0 * 86400.0, 1.0 / rate, 1e-6) << rate;
  }
}

// Guards the window clock: the wall clock is read once, for the start; then only the monotonic
// clock carries it on, so steps of the wall clock (NTP, suspend, a user setting the date) change
// nothing on screen. It runs `speed` times as fast, holds while nobody sees the window and goes
// on from where it was.
TEST(Clock, TheWindowClockIgnoresWallClockStepsAndHoldsWhileHidden) {
  std::int64_t wall = 1700000000LL * 1000000, monotonic = 5000000;
  SystemClock clock(
      std::nullopt, 2.0, [&] { return wall; }, [&] { return monotonic; });
  EXPECT_EQ(clock.microseconds(), 1700000000LL * 1000000);
  for (const std::int64_t step : {-3 * 3600 * 1000000LL, 5 * 3600 * 1000000LL}) {
    wall += step;
    monotonic += 1000000;
    clock.microseconds();
  }
  EXPECT_EQ(clock.microseconds(), 1700000004LL * 1000000) << "two seconds, twice as fast";
  clock.hold();
  monotonic += 60000000;
  EXPECT_EQ(clock.microseconds(), 1700000004LL * 1000000) << "held";
  clock.resume();
  monotonic += 500000;
  EXPECT_EQ(clock.microseconds(), 1700000005LL * 1000000) << "on from where it was";
  EXPECT_EQ(SystemClock(100).microseconds() / 1000000, 100) << "a seed replaces the wall clock";
}

}  // namespace
