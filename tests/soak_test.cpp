// Guards long runs: a saver runs for days and months. From a simulated day in, over a simulated
// run (one hour in `make test`, a day in `make soak`, shorter under the sanitizers) at 30 frames
// a second every piece stays finite and on its path, and the mirrors keep changing; and at day
// 30 the animation still steps a thirtieth of a second per frame and the pieces glide evenly.
//
// VANTOR_SOAK_SECONDS sets the simulated length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "engine/Scope.h"
#include "objects/Glimmets.h"
#include "support/GlTest.h"
#include "support/Seams.h"
#include "support/TestFiles.h"

namespace {

// Whether a piece is finite, within its pass and with its looks in range; if not, which value
// is out.
::testing::AssertionResult InRange(const PhotoPiece& piece) {
  const double values[] = {piece.vPos.x, piece.vPos.y, piece.vPos.z, piece.cycle, piece.cycleStart,
                           piece.fSize,  piece.roll,   piece.tx,     piece.ty,    piece.tw,
                           piece.th,     piece.rC,     piece.gC,     piece.bC,    piece.aC,
                           piece.rCD,    piece.gCD,    piece.bCD,    piece.aCD};
  for (size_t i = 0; i < std::size(values); i++) {
    if (!std::isfinite(values[i])) {
      return ::testing::AssertionFailure() << "value " << i << " is " << values[i];
    }
  }
  const struct {
    const char* name;
    double value, low, high;
  } ranges[] = {{"cycle", piece.cycle, 0.0, 1.0},
                {"spin", piece.fSpinRate, 720.0, INFINITY},
                {"size", piece.fSize, 0.25, INFINITY},
                {"alpha", piece.aC, 0.5, 1.0}};
  for (const auto& range : ranges) {
    if (range.value < range.low || range.value > range.high) {
      return ::testing::AssertionFailure() << range.name << " is " << range.value;
    }
  }
  return ::testing::AssertionSuccess();
}

class Soak : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    resizeSurface(64, 64);
    engine_ = new ScopeApp(64, 64, 1, resourcesPath().c_str());
    list_ = static_cast<PhotoList*>(engine_->itsObjects);
  }
  void TearDown() override { delete engine_; }

  FakeClock clock_;  // made before the engine, which reads it
  ScopeApp* engine_ = nullptr;
  PhotoList* list_ = nullptr;
};

TEST_F(Soak, PiecesStayFiniteAndTheMirrorsKeepChanging) {
  clock_.advance(86400.0);
  const char* seconds = std::getenv("VANTOR_SOAK_SECONDS");
  const long frames = (seconds != nullptr ? std::atol(seconds) : 3600) * 30;
  long morphs = 0, lastMorphFrame = 0, longestWithoutMorph = 0;
  bool wasMorphing = isMorphing;
  for (long frame = 1; frame <= frames; frame++) {
    clock_.advance(1.0 / 30.0);
    // Drawing is what takes the time, and what is checked here moves without it: one frame in
    // ten seconds is drawn, the rest advance exactly as drawing would, morphs and all.
    if (frame % 300 == 0) {
      engine_->display(0x10001);
    } else {
      engine_->skipFrame();
    }
    if (!std::exchange(wasMorphing, isMorphing) && isMorphing) {
      morphs++;
      longestWithoutMorph =
          std::max(longestWithoutMorph, frame - std::exchange(lastMorphFrame, frame));
    }
    for (int i = 0; i < 100; i++) {
      ASSERT_TRUE(InRange(list_->cList[i])) << "piece " << i << " after " << frame / 30.0 << " s";
    }
    ASSERT_EQ(std::clamp(list_->fMaxSize, 0.001f, 0.25f), list_->fMaxSize);
    ASSERT_EQ(std::clamp(list_->fMaxSpinRate, 0.0f, 3600.0f), list_->fMaxSpinRate);
  }
  // The drift asks for a new arrangement about once in ten segments of a few seconds each.
  const double minutes = frames / 30.0 / 60.0;
  EXPECT_GE(morphs, static_cast<long>(minutes / 10.0)) << "over " << minutes << " minutes";
  if (minutes >= 60.0) {
    EXPECT_LT(longestWithoutMorph / 30.0, 30.0 * 60.0) << "half an hour without a morph";
  }
  EXPECT_GT(readFrame().litShare(), 0.0);
}

// At one minute and at thirty days: every frame's engine time is a thirtieth of a second on,
// and a piece moves the same distance each frame (while it stays in its pass and the mirrors
// keep their aperture).
TEST_F(Soak, MotionAtDayThirtyIsAsSmoothAsInTheFirstMinute) {
  for (double at : {60.0, 30 * 86400.0}) {
    clock_.advance(at - engine_->m_fTime);
    engine_->skipFrame();
    const PhotoPiece& piece = list_->cList[0];
    double lastTime = engine_->m_fTime;
    float lastX = piece.vPos.x, lastCycle = piece.cycle, firstStep = 0.0f;
    const MirrorSystem* lastMirrors = nullptr;
    for (int frame = 1; frame <= 90; frame++) {
      // A piece is placed with the aperture the mirrors had when its frame began.
      const bool sameMirrors = std::exchange(lastMirrors, engine_->m_curMS) == engine_->m_curMS;
      clock_.advance(1.0 / 30.0);
      engine_->skipFrame();
      EXPECT_NEAR(engine_->m_fTime - std::exchange(lastTime, engine_->m_fTime), 1.0 / 30.0, 1e-6)
          << "at " << at << " s";
      const float step = piece.vPos.x - std::exchange(lastX, piece.vPos.x);
      if (piece.cycle > std::exchange(lastCycle, piece.cycle) && sameMirrors) {
        firstStep = firstStep == 0.0f ? step : firstStep;
        EXPECT_NEAR(step, firstStep, 1e-5f) << "at " << at << " s, frame " << frame;
      } else {
        firstStep = 0.0f;  // a new pass or a new aperture: a new pace
      }
    }
    EXPECT_NE(firstStep, 0.0f) << "the piece moved at " << at << " s";
  }
}

}  // namespace
