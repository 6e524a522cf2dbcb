// Guards the tick loop on a surface the test scripts, over a real headless context: what ticks
// do to the view and the run's clock, the drawn size it gives the view, what keys do, and how
// each way of ending leaves the run (its status, signal and line), the engine released each time.
#include <gtest/gtest.h>

#include <csignal>
#include <deque>
#include <filesystem>
#include <tuple>

#include "app/Signals.h"
#include "app/TickLoop.h"
#include "engine/Scope.h"
#include "host/offscreen/OffscreenSurface.h"
#include "support/GlErrorWatch.h"
#include "support/Program.h"
#include "util/LocalTiming.h"

namespace {

using Pixels = std::vector<std::pair<int, int>>;
using End = std::tuple<int, int, std::string>;  // status, signal, line

SurfaceEvent happening(SurfaceEvent::Kind kind, bool draw = true) {
  SurfaceEvent event;
  event.kind = kind;
  event.draw = draw;
  return event;
}

// A 64x48 headless surface whose events come from a script (then Finished), whose present()
// records the drawable and can fail or do more, and which can refuse to enlarge.
class ScriptedSurface : public OffscreenSurface {
 public:
  SurfaceEvent waitForTick() override {
    if (script.empty()) {
      return happening(SurfaceEvent::Finished);
    }
    const SurfaceEvent next = script.front();
    script.pop_front();
    return next;
  }
  bool present(std::string* error) override {
    drawn.emplace_back(width(), height());
    onPresent();
    *error = presentError;
    return presentError.empty();
  }
  std::string cannotEnlarge() const override { return enlargeProblem; }
  void toggleFullscreen() override { fullscreenSwitches++; }

  std::deque<SurfaceEvent> script;
  Pixels drawn;
  std::function<void()> onPresent = [] {};
  std::string presentError, enlargeProblem;
  int fullscreenSwitches = 0;
};

const SurfaceEvent kTick = happening(SurfaceEvent::Tick);

SurfaceEvent key(unsigned long keysym) {
  SurfaceEvent pressed = happening(SurfaceEvent::Key);
  pressed.keysym = keysym;
  return pressed;
}

class TickLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(surface_.create(64, 48, &error)) << error;
    watchGlErrors();
  }
  void TearDown() override {
    EXPECT_EQ(gScopeApp, nullptr) << "the engine outlived the loop";
    EXPECT_TRUE(noGlErrors());
  }
  End run(std::deque<SurfaceEvent> script) {
    surface_.script = std::move(script);
    const LoopEnd end = runTicks(surface_, signals_, settings_);
    return {end.status, end.signal, end.message};
  }

  ScriptedSurface surface_;
  SignalPipe signals_{SIGUSR1};
  LoopSettings settings_;
};

TEST_F(TickLoop, FramesAfterTheFirstMoveTheClockOnAndUndrawnOnesAreNotShown) {
  SimulatedClock clock(1000, 10.0);
  ScopedTimerClock installed(clock);
  settings_.clock = &clock;
  EXPECT_EQ(run({kTick, happening(SurfaceEvent::Tick, false), kTick}), End(0, 0, ""));
  EXPECT_EQ(std::pair(surface_.drawn.size(), clock.microseconds()), std::pair(2ul, 1000200000L));
}

TEST_F(TickLoop, TheViewDrawsTheDrawnSizeOrAllWhereTheSurfaceCannotEnlargeSayingSoOnce) {
  settings_.drawnSize = DrawnSize(0.5);
  run({kTick, happening(SurfaceEvent::Resized), kTick});
  EXPECT_EQ(surface_.drawn, (Pixels{{32, 24}, {32, 24}}));
  surface_.enlargeProblem = "no way to enlarge";
  ::testing::internal::CaptureStderr();
  run({happening(SurfaceEvent::Resized), kTick});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "vantor: no way to enlarge; drawing at full size\n");
  EXPECT_EQ(surface_.drawn.back(), std::pair(64, 48));
}

TEST_F(TickLoop, KeysCloseSaveTheFrameOnScreenAndSwitchFullScreen) {
  TemporaryFolder folder;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(run({key('f'), key('s'), kTick, key('x'), key('q'), kTick}), End(0, 0, ""));
  const std::string said = ::testing::internal::GetCapturedStdout();
  std::filesystem::current_path(previous);
  EXPECT_EQ(std::pair(surface_.fullscreenSwitches, surface_.drawn.size()), std::pair(1, 1ul));
  const std::vector<std::string> saved = entriesOf(folder.path());
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(said, "vantor: wrote the frame on screen to " + saved[0] + "\n");
  EXPECT_EQ(pngFrame(folder.path() + "/" + saved[0]).width, 64);
  settings_.anyKeyCloses = true;  // a saver ends on any key
  EXPECT_EQ(run({key('x'), kTick}), End(0, 0, ""));
  EXPECT_EQ(surface_.drawn.size(), 1u);
}

TEST_F(TickLoop, EachWayOfEndingSaysHowTheRunEnded) {
  SurfaceEvent lost = happening(SurfaceEvent::Lost);
  lost.message = "the window went away";
  EXPECT_EQ(run({lost}), End(1, 0, "the window went away"));
  EXPECT_EQ(run({happening(SurfaceEvent::Close), kTick}), End(0, 0, ""));
  std::raise(SIGUSR1);
  EXPECT_EQ(run({happening(SurfaceEvent::Interrupt)}), End(0, SIGUSR1, ""));
  surface_.presentError = "the disk is full";
  EXPECT_EQ(run({kTick}), End(1, 0, "the disk is full"));
  // A write cut short by a signal is that interruption, not a failure of its own.
  surface_.onPresent = [] { std::raise(SIGUSR1); };
  EXPECT_EQ(run({kTick}), End(0, SIGUSR1, "the disk is full"));
  surface_.presentError.clear();
  surface_.onPresent = [] { glEnable(0xffff); };
  settings_.checkGl = true;
  EXPECT_EQ(run({kTick, kTick}), End(1, 0,
                                     "OpenGL raised GL_INVALID_ENUM (0x0500) by frame 1; a fault "
                                     "of Vantor's (VANTOR_GL_CHECK=1 looks for them): please "
                                     "report it"));
  EXPECT_FALSE(noGlErrors()) << "the fixture saw it too";
}

}  // namespace
