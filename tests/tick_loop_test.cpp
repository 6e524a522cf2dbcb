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
#include "util/Clock.h"
#include "util/LocalTiming.h"

namespace {

// A 64x48 headless surface whose events come from a script (then Finished), whose present()
// can fail or raise an OpenGL error, and which can refuse to enlarge.
class ScriptedSurface : public OffscreenSurface {
 public:
  SurfaceEvent waitForTick() override {
    SurfaceEvent next;
    next.kind = SurfaceEvent::Finished;
    if (!script.empty()) {
      next = script.front();
      script.pop_front();
    }
    return next;
  }
  bool present(std::string* error) override {
    drawn.emplace_back(width(), height());
    if (onPresent) {
      onPresent();
    }
    *error = presentError;
    return presentError.empty();
  }
  std::string cannotEnlarge() const override { return enlargeProblem; }
  void toggleFullscreen() override { fullscreenSwitches++; }

  std::deque<SurfaceEvent> script;
  std::vector<std::pair<int, int>> drawn;  // the drawable at each present
  std::function<void()> onPresent;
  std::string presentError;
  std::string enlargeProblem;
  int fullscreenSwitches = 0;
};

SurfaceEvent event(SurfaceEvent::Kind kind, bool draw = true) {
  SurfaceEvent made;
  made.kind = kind;
  made.draw = draw;
  return made;
}

SurfaceEvent key(unsigned long keysym) {
  SurfaceEvent made = event(SurfaceEvent::Key);
  made.keysym = keysym;
  return made;
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
  // The loop's end over `script`, as (status, signal, message).
  std::tuple<int, int, std::string> run(std::deque<SurfaceEvent> script) {
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
  EXPECT_EQ(
      run({event(SurfaceEvent::Tick), event(SurfaceEvent::Tick, false), event(SurfaceEvent::Tick)}),
      std::tuple(0, 0, std::string()));
  EXPECT_EQ(surface_.drawn.size(), 2u);
  EXPECT_EQ(clock.microseconds(), 1000200000) << "two tenths of a second on";
}

TEST_F(TickLoop, TheViewDrawsTheDrawnSizeOrAllWhereTheSurfaceCannotEnlargeSayingSoOnce) {
  settings_.drawnSize = DrawnSize(0.5);
  run({event(SurfaceEvent::Tick), event(SurfaceEvent::Resized), event(SurfaceEvent::Tick)});
  EXPECT_EQ(surface_.drawn, (std::vector<std::pair<int, int>>{{32, 24}, {32, 24}}));
  surface_.enlargeProblem = "no way to enlarge";
  surface_.drawn.clear();
  ::testing::internal::CaptureStderr();
  run({event(SurfaceEvent::Resized), event(SurfaceEvent::Tick)});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "vantor: no way to enlarge; drawing at full size\n");
  EXPECT_EQ(surface_.drawn, (std::vector<std::pair<int, int>>{{64, 48}}));
}

TEST_F(TickLoop, KeysCloseSaveTheFrameOnScreenAndSwitchFullScreen) {
  TemporaryFolder folder;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(run({key('f'), key('s'), event(SurfaceEvent::Tick), key('x'), key('q'),
                 event(SurfaceEvent::Tick)}),
            std::tuple(0, 0, std::string()));
  const std::string said = ::testing::internal::GetCapturedStdout();
  std::filesystem::current_path(previous);
  EXPECT_EQ(std::pair(surface_.fullscreenSwitches, surface_.drawn.size()), std::pair(1, 1ul));
  const std::vector<std::string> saved = entriesOf(folder.path());
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(said, "vantor: wrote the frame on screen to " + saved[0] + "\n");
  EXPECT_EQ(pngFrame(folder.path() + "/" + saved[0]).width, 64);
  settings_.anyKeyCloses = true;
  EXPECT_EQ(run({key('x'), event(SurfaceEvent::Tick)}), std::tuple(0, 0, std::string()));
  EXPECT_EQ(surface_.drawn.size(), 1u) << "a saver ends on any key";
}

TEST_F(TickLoop, EachWayOfEndingSaysHowTheRunEnded) {
  SurfaceEvent lost = event(SurfaceEvent::Lost);
  lost.message = "the window went away";
  EXPECT_EQ(run({lost}), std::tuple(1, 0, std::string("the window went away")));
  EXPECT_EQ(run({event(SurfaceEvent::Close), event(SurfaceEvent::Tick)}),
            std::tuple(0, 0, std::string()));
  std::raise(SIGUSR1);
  EXPECT_EQ(run({event(SurfaceEvent::Interrupt)}), std::tuple(0, SIGUSR1, std::string()));
  surface_.presentError = "the disk is full";
  EXPECT_EQ(run({event(SurfaceEvent::Tick)}), std::tuple(1, 0, std::string("the disk is full")));
  // A write cut short by a signal is that interruption, not a failure of its own.
  surface_.onPresent = [] { std::raise(SIGUSR1); };
  EXPECT_EQ(run({event(SurfaceEvent::Tick)}),
            std::tuple(0, SIGUSR1, std::string("the disk is full")));
  surface_.presentError.clear();
  surface_.onPresent = [] { glEnable(0xffff); };
  settings_.checkGl = true;
  EXPECT_EQ(
      run({event(SurfaceEvent::Tick), event(SurfaceEvent::Tick)}),
      std::tuple(1, 0,
                 std::string("OpenGL raised GL_INVALID_ENUM (0x0500) by frame 1; a fault of "
                             "Vantor's (VANTOR_GL_CHECK=1 looks for them): please report it")));
  EXPECT_FALSE(noGlErrors()) << "the fixture saw it too";
}

}  // namespace
