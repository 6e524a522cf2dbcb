// Guards the frame timer's clock and frame-rate window through the clock seam, at the edges
// the animation meets: the first tick, microsecond borrows, window closing, a clock set back.
#include <gtest/gtest.h>

#include <cmath>

#include "support/FakeClock.h"
#include "util/KaleidoUtils.h"
#include "util/LocalTiming.h"

namespace {

class Timer : public ::testing::Test {
 protected:
  void SetUp() override {
    gTime = 0.0f;
    gFrameRate = 0.0f;
    // Empty the window's count: a tick one second on closes it.
    InitTimer();
    clock_.advance(1.0);
    UpdateTimer();
    gFrameRate = 0.0f;
  }

  FakeClock clock_;
};

TEST_F(Timer, FirstTickAfterStartIsNearZeroAndKeepsTheRate) {
  gFrameRate = 42.0f;
  InitTimer();
  clock_.advance(0.000010);
  EXPECT_NEAR(UpdateTimer(), 0.00001f, 1e-7f);
  EXPECT_FLOAT_EQ(gTime, 0.00001f);
  EXPECT_EQ(gFrameRate, 42.0f);
}

TEST_F(Timer, NegativeMicrosecondDifferenceBorrowsFromTheSeconds) {
  clock_.set(4, 700000);
  InitTimer();
  clock_.set(5, 200000);
  EXPECT_FLOAT_EQ(UpdateTimer(), 0.5f);
}

TEST_F(Timer, TicksOneSecondApartCloseAWindowEveryTimeWithNothingCounted) {
  InitTimer();
  for (int i = 0; i < 3; i++) {
    clock_.advance(1.0);
    UpdateTimer();
    EXPECT_EQ(gFrameRate, 0.0f);
  }
}

TEST_F(Timer, TheClosingTickIsNotCounted) {
  InitTimer();
  for (int i = 0; i < 9; i++) {
    clock_.advance(0.11);
    UpdateTimer();
    EXPECT_EQ(gFrameRate, 0.0f) << "tick " << i + 1 << " must not close the window";
  }
  clock_.advance(0.11);
  UpdateTimer();
  EXPECT_NEAR(gFrameRate, 9.0f / 1.1f, 1e-4f);
}

TEST_F(Timer, ClockSetBackGivesNegativeTimeAndClosesNoWindow) {
  InitTimer();
  clock_.advance(-5.0);
  EXPECT_FLOAT_EQ(UpdateTimer(), -5.0f);
  clock_.advance(5.9);
  UpdateTimer();
  EXPECT_EQ(gFrameRate, 0.0f);
  clock_.advance(0.2);  // 1.1 s after the window began
  UpdateTimer();
  EXPECT_GT(gFrameRate, 0.0f);
}

TEST_F(Timer, AfterADayTimeAdvancesInSinglePrecisionSteps) {
  InitTimer();
  clock_.advance(86400.0);
  float day = UpdateTimer();
  EXPECT_EQ(day, 86400.0f);
  clock_.advance(0.001);  // below half a float step at 86400: lost
  EXPECT_EQ(UpdateTimer(), day);
  clock_.advance(0.007);
  EXPECT_EQ(UpdateTimer(), std::nextafter(day, 1e9f));
}

TEST_F(Timer, RestoringTheWallClockReadsGettimeofday) {
  SetTimerClock(nullptr);
  timeval now;
  ReadTimerClock(&now);
  timeval wall;
  gettimeofday(&wall, nullptr);
  EXPECT_LE(std::labs(wall.tv_sec - now.tv_sec), 1);
}

TEST(Outlog, AcceptsAnyArgumentsAndDoesNothing) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  outlog("s rpath is %s", "/nowhere");
  outlog("%d %f %s", 1, 2.0, "three");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
