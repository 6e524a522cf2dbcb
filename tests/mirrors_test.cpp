// Guards the mirror arrangements: the preset table to its six decimals (the seams between
// copies depend on the exact arithmetic), and the morphs between arrangements as the frames
// draw them.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/Scope.h"
#include "support/FakeClock.h"
#include "support/GlTest.h"
#include "support/ScriptedRand.h"
#include "support/TestCells.h"

namespace {

struct PresetRow {
  float angle;
  int reflections;
  float mirror3x, mirror3y;
  float aperture;
  double plane2a, plane2b;
};

const PresetRow kPresets[7] = {
    {36.0f, 10, 2.351128f, -3.236078f, 2.472133f, -0.809019, -0.587783},
    {30.0f, 12, 1.999986f, -3.464109f, 2.070550f, -0.866027, -0.499998},
    {25.714285f, 14, 1.735522f, -3.603882f, 1.780166f, -0.900970, -0.433881},
    {22.5f, 16, 1.530720f, -3.695524f, 1.560721f, -0.923881, -0.382681},
    {20.0f, 18, 1.368066f, -3.758776f, 1.389183f, -0.939694, -0.342018},
    {18.0f, 20, 1.236054f, -3.804231f, 1.251474f, -0.951057, -0.309014},
    {16.363636f, 22, 1.126917f, -3.837976f, 1.138518f, -0.959494, -0.281730},
};

// Within the rounding of a six-decimal table entry.
constexpr double kSixDecimals = 5.5e-7;

class Mirrors : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    isMorphing = false;
    engine_ = new ScopeApp(kWidth, kHeight, 0, nullptr);
    InstallCell(engine_, new ObjectCell(engine_));
  }
  void TearDown() override {
    delete engine_;
    ClearScriptedRand();
  }

  // Draws a frame `seconds` after the previous one.
  void frameAfter(double seconds) {
    clock_.advance(seconds);
    engine_->display(0x10001);
  }

  // Whether the last frame was drawn with the arrangement for `angle` degrees: the second
  // clip plane recorded into the frame's list must be that arrangement's.
  ::testing::AssertionResult drawnWith(float angle) {
    glPushMatrix();
    glLoadIdentity();
    glCallList(static_cast<GLuint>(biglistID));
    GLdouble plane[4];
    glGetClipPlane(GL_CLIP_PLANE1, plane);
    glPopMatrix();
    MirrorSystem expected;
    engine_->SetupMirrorSystem(&expected, angle);
    // The driver keeps plane equations in single precision.
    if (std::fabs(plane[0] - expected.mirrorPlane2[0]) > 3e-7 ||
        std::fabs(plane[1] - expected.mirrorPlane2[1]) > 3e-7) {
      return ::testing::AssertionFailure()
             << "drawn plane (" << plane[0] << ", " << plane[1] << ") is not that of " << angle
             << " degrees (" << expected.mirrorPlane2[0] << ", " << expected.mirrorPlane2[1] << ")";
    }
    return ::testing::AssertionSuccess();
  }

  FakeClock clock_;
  ScopeApp* engine_ = nullptr;
};

TEST_F(Mirrors, PresetTableToSixDecimals) {
  for (int i = 0; i < 7; i++) {
    SCOPED_TRACE("preset " + std::to_string(i));
    const MirrorSystem& ms = engine_->gMirrorSystems[i];
    const PresetRow& row = kPresets[i];
    EXPECT_NEAR(ms.fMirrorAngle, row.angle, kSixDecimals);
    EXPECT_EQ(ms.nbrReflections, row.reflections);
    EXPECT_EQ(ms.mirror1.x, 0.0f);
    EXPECT_EQ(ms.mirror1.y, 0.0f);
    EXPECT_NEAR(ms.mirror2.x, -0.0000133, 1e-7);
    EXPECT_NEAR(ms.mirror2.y, -4.0, kSixDecimals);
    EXPECT_NEAR(ms.mirror3.x, row.mirror3x, kSixDecimals);
    EXPECT_NEAR(ms.mirror3.y, row.mirror3y, kSixDecimals);
    EXPECT_EQ(ms.mirror3.z, 0.0f);
    EXPECT_NEAR(ms.apertureLength, row.aperture, kSixDecimals);
    EXPECT_EQ(ms.mirrorPlane1[0], 1.0);
    EXPECT_EQ(ms.mirrorPlane1[1] + ms.mirrorPlane1[2] + ms.mirrorPlane1[3], 0.0);
    EXPECT_NEAR(ms.mirrorPlane2[0], row.plane2a, kSixDecimals);
    EXPECT_NEAR(ms.mirrorPlane2[1], row.plane2b, kSixDecimals);
    EXPECT_EQ(ms.mirrorPlane2[3], 0.0);
    EXPECT_EQ(ms.mirrorPlane3[3], 4.0);
  }
}

TEST_F(Mirrors, ReflectionCountRoundsUpOnlyWhenTheQuotientIsNotWhole) {
  MirrorSystem ms;
  engine_->SetupMirrorSystem(&ms, 33.0f);
  EXPECT_EQ(ms.nbrReflections, 11);
  engine_->SetupMirrorSystem(&ms, 30.0f);
  EXPECT_EQ(ms.nbrReflections, 12);
  engine_->SetupMirrorSystem(&ms, 35.9f);
  EXPECT_EQ(ms.nbrReflections, 11);
  engine_->SetupMirrorSystem(&ms, 32.7f);
  EXPECT_EQ(ms.nbrReflections, 12);
}

TEST_F(Mirrors, PresetIndexWrapsAndRandomChoiceCoversTheTable) {
  engine_->setMirrorSystem(7, false);
  EXPECT_EQ(engine_->m_curMS, &engine_->gMirrorSystems[0]);
  engine_->setMirrorSystem(9, false);
  EXPECT_EQ(engine_->m_curMS, &engine_->gMirrorSystems[2]);
  EXPECT_FALSE(isMorphing);

  // rnd() of 1.0 makes RandomI(7) give 7, which wraps to the first preset.
  ScriptRand({2147483647, 1073741824});
  engine_->randomizeMirrorSystem(false);
  EXPECT_EQ(engine_->m_curMS, &engine_->gMirrorSystems[0]);
  engine_->randomizeMirrorSystem(false);
  EXPECT_EQ(engine_->m_curMS, &engine_->gMirrorSystems[3]);
}

TEST_F(Mirrors, MorphGlidesOverTwoSecondsAndEndsOnTheNewPreset) {
  engine_->setMirrorSystem(0, false);
  frameAfter(10.0);
  EXPECT_FLOAT_EQ(engine_->m_fTime, 10.0f);
  EXPECT_TRUE(drawnWith(36.0f));

  engine_->setMirrorSystem(1, true);
  EXPECT_TRUE(isMorphing);
  EXPECT_EQ(engine_->m_curMS, &engine_->gMirrorSystems[1]);  // readers see the target at once
  frameAfter(0.0);
  EXPECT_TRUE(drawnWith(36.0f));
  frameAfter(1.0);
  EXPECT_TRUE(drawnWith(33.0f));
  frameAfter(1.0);
  EXPECT_TRUE(drawnWith(30.0f));
  EXPECT_FALSE(isMorphing);
  frameAfter(1.0);
  EXPECT_TRUE(drawnWith(30.0f));
}

TEST_F(Mirrors, RedirectedMorphRestartsFromTheAngleOnScreen) {
  engine_->setMirrorSystem(0, false);
  frameAfter(10.0);
  engine_->setMirrorSystem(1, true);
  frameAfter(1.0);
  engine_->setMirrorSystem(4, true);
  EXPECT_FLOAT_EQ(morphStartAngle, 33.0f);
  EXPECT_FLOAT_EQ(morphEndAngle, 20.0f);
  frameAfter(0.0);
  EXPECT_TRUE(drawnWith(33.0f));
  frameAfter(1.0);
  EXPECT_TRUE(drawnWith(26.5f));
  EXPECT_TRUE(isMorphing);
  frameAfter(1.0);
  EXPECT_TRUE(drawnWith(20.0f));
  EXPECT_FALSE(isMorphing);
}

TEST_F(Mirrors, SamePresetMorphsInPlaceAndAQuietSwitchLeavesTheMorphRunning) {
  engine_->setMirrorSystem(2, false);
  frameAfter(5.0);
  engine_->setMirrorSystem(2, true);
  frameAfter(1.0);
  EXPECT_TRUE(isMorphing);
  EXPECT_TRUE(drawnWith(360.0f / 14.0f));

  // Switching without a morph changes the current preset; the picture keeps gliding to the
  // old end angle and shows the new preset only after the morph.
  engine_->setMirrorSystem(5, false);
  EXPECT_EQ(engine_->m_curMS, &engine_->gMirrorSystems[5]);
  frameAfter(1.0);
  EXPECT_FALSE(isMorphing);
  EXPECT_TRUE(drawnWith(360.0f / 14.0f));
  frameAfter(0.1);
  EXPECT_TRUE(drawnWith(18.0f));
}

TEST_F(Mirrors, ANewEngineStartsWithoutTheMorphOfTheOneBefore) {
  frameAfter(100.0);
  engine_->setMirrorSystem(3, true);
  ASSERT_TRUE(isMorphing);
  delete engine_;
  // The next engine's clock starts at 0: a morph left from the old clock would be evaluated
  // 100 seconds in the past and draw nonsense angles until it caught up.
  engine_ = new ScopeApp(kWidth, kHeight, 0, nullptr);
  EXPECT_FALSE(isMorphing);
  ASSERT_NE(engine_->m_curMS, nullptr);
  frameAfter(0.5);
  EXPECT_TRUE(drawnWith(engine_->m_curMS->fMirrorAngle));
}

}  // namespace
