// Guards what the kaleidoscope looks like on screen: mirrored copies around the centre for
// every arrangement, one plain copy with the mirrors off, no gap during a morph, the radial
// blur, and the OpenGL state the passes leave behind.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/Scope.h"
#include "support/FakeClock.h"
#include "support/GlState.h"
#include "support/GlTest.h"
#include "support/TestCells.h"

namespace {

// The pixel at `radius` pixels from the centre in direction `degrees` (counter-clockwise from
// the right, as in the scene; the frame's rows run top to bottom).
int BrightnessAt(const Frame& frame, double degrees, double radius) {
  int x = static_cast<int>(frame.width / 2.0 + radius * std::cos(degrees * M_PI / 180.0));
  int y = static_cast<int>(frame.height / 2.0 - radius * std::sin(degrees * M_PI / 180.0));
  return frame.brightness(x, y);
}

class Reflections : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    resizeSurface(kWidth, kHeight);
    isMorphing = false;
    engine_ = new ScopeApp(kWidth, kHeight, 0, nullptr);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  }
  void TearDown() override { delete engine_; }

  FakeClock clock_;
  ScopeApp* engine_ = nullptr;
};

TEST_F(Reflections, EveryPresetIsMirrorSymmetricAndRepeatsEveryTwoMirrorAngles) {
  InstallCell(engine_, new FanCell(engine_));
  for (int i = 0; i < 7; i++) {
    SCOPED_TRACE("preset " + std::to_string(i));
    engine_->setMirrorSystem(i, false);
    clock_.advance(0.1);
    engine_->display(0x10001);
    Frame frame = readFrame();
    // Copies meet edge to edge; at most a stray pixel on a seam stays dark.
    EXPECT_GT(frame.litShare(), 0.999);
    EXPECT_LT(MirrorMismatch(frame, 12), 0.002);
    EXPECT_LT(RotationMismatch(frame, 2 * engine_->m_curMS->fMirrorAngle, 30, 125, 24), 0.01);
  }
}

TEST_F(Reflections, MirrorsOffDrawOnePlainUnclippedCopy) {
  InstallCell(engine_, new FanCell(engine_));
  engine_->setMirrorSystem(0, false);
  for (int flags : {1, 0}) {
    SCOPED_TRACE(flags);
    clock_.advance(0.1);
    engine_->display(flags);
    Frame frame = readFrame();
    // The fan from 240 to 330 degrees shows whole, also outside the first wedge.
    for (double degrees : {245.0, 260.0, 290.0, 320.0}) {
      EXPECT_GT(BrightnessAt(frame, degrees, 80), 0) << degrees;
    }
    for (double degrees : {0.0, 90.0, 180.0, 225.0, 345.0}) {
      EXPECT_EQ(BrightnessAt(frame, degrees, 80), 0) << degrees;
    }
  }
}

TEST_F(Reflections, MorphThroughAnOddCountLeavesNoGap) {
  InstallCell(engine_, new FanCell(engine_));
  engine_->setMirrorSystem(0, false);
  clock_.advance(10.0);
  engine_->display(0x10001);
  engine_->setMirrorSystem(1, true);
  clock_.advance(1.0);  // halfway: 33 degrees, 11 copies
  engine_->display(0x10001);
  ASSERT_TRUE(isMorphing);
  Frame frame = readFrame();
  for (double degrees = 0.0; degrees < 360.0; degrees += 1.0) {
    ASSERT_GT(BrightnessAt(frame, degrees, 100), 0) << "gap at " << degrees << " degrees";
  }
}

TEST_F(Reflections, PassesLeaveClipPlanesOffFrontFaceAndMatrixAsFound) {
  SpotCell* cell = InstallCell(engine_, new SpotCell(engine_, false));
  engine_->b_UseMirrors = true;
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0.5f, -0.25f, -3.0f);
  glRotatef(17.0f, 0.0f, 0.0f, 1.0f);
  const Matrix before = CurrentMatrix(GL_MODELVIEW_MATRIX);
  glEnable(GL_CLIP_PLANE2);
  glFrontFace(GL_CW);

  engine_->RecordSystem(engine_->m_curMS);
  engine_->RenderSystem(engine_->m_curMS);
  EXPECT_FALSE(glIsEnabled(GL_CLIP_PLANE0));
  EXPECT_FALSE(glIsEnabled(GL_CLIP_PLANE1));
  EXPECT_FALSE(glIsEnabled(GL_CLIP_PLANE2));
  EXPECT_EQ(Integer(GL_FRONT_FACE), GL_CCW);
  EXPECT_TRUE(CurrentMatrix(GL_MODELVIEW_MATRIX) == before);
  EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);
  EXPECT_EQ(cell->draws, 1);

  // No copies at all: the cell's hooks still run once each, nothing is drawn.
  MirrorSystem none = *engine_->m_curMS;
  none.nbrReflections = 0;
  glClear(GL_COLOR_BUFFER_BIT);
  engine_->RenderSystem(&none);
  EXPECT_EQ(cell->preRenders, 2);
  EXPECT_EQ(cell->postRenders, 2);
  EXPECT_TRUE(readFrame().isBlack());
}

TEST_F(Reflections, CellIsDrawnOncePerFrameWhateverTheCopies) {
  SpotCell* cell = InstallCell(engine_, new SpotCell(engine_, false));
  for (int i = 0; i < 7; i++) {
    engine_->setMirrorSystem(i, false);
    engine_->display(0x10001);
  }
  EXPECT_EQ(cell->updates, 7);
  EXPECT_EQ(cell->draws, 7);
  EXPECT_EQ(cell->preRenders, 7);
  EXPECT_EQ(cell->postRenders, 7);
  // Twenty-two spots around the centre for the last preset.
  Frame frame = readFrame();
  EXPECT_LT(MirrorMismatch(frame, 12), 0.002);
  EXPECT_GT(frame.litShare(), 0.0);
}

class RadialBlur : public Reflections {
 protected:
  // The same frame with and without the blur, on a surface of the given size.
  void drawBoth(int width, int height, Frame* plain, Frame* blurred) {
    resizeSurface(width, height);
    engine_->resizeGL(width, height);
    engine_->setMirrorSystem(0, false);
    InstallCell(engine_, new SpotCell(engine_, false));
    engine_->display(0x10001);
    *plain = readFrame();
    blurCell_ = InstallCell(engine_, new SpotCell(engine_, true));
    engine_->display(0x10001);
    *blurred = readFrame();
  }

  SpotCell* blurCell_ = nullptr;
};

TEST_F(RadialBlur, LightSpreadsOutwardFromTheContent) {
  Frame plain, blurred;
  drawBoth(kWidth, kHeight, &plain, &blurred);
  EXPECT_EQ(blurCell_->draws, 1);
  EXPECT_EQ(blurCell_->preRenders, 2);
  EXPECT_EQ(blurCell_->postRenders, 2);

  // The spot sits 2 units (about 46 pixels) from the centre at 277 degrees.
  EXPECT_GT(BrightnessAt(plain, 277, 46), 600);
  EXPECT_EQ(BrightnessAt(plain, 277, 60), 0);
  EXPECT_GT(BrightnessAt(blurred, 277, 60), 0);
  EXPECT_EQ(BrightnessAt(blurred, 277, 20), 0);  // nothing spreads inward
  // The small frame was cleared before the full-size pass: its corner holds no stray copy.
  EXPECT_EQ(BrightnessAt(blurred, 225, 160), 0);
  EXPECT_LT(MirrorMismatch(blurred, 12), 0.01);
}

TEST_F(RadialBlur, OverlayCoversAnySurfaceAndRestoresTheState) {
  glMatrixMode(GL_PROJECTION);
  const Matrix projection = CurrentMatrix(GL_PROJECTION_MATRIX);
  glMatrixMode(GL_MODELVIEW);
  Frame plain, blurred;
  drawBoth(320, 200, &plain, &blurred);
  // Here the spot lies about 36 pixels out.
  EXPECT_EQ(BrightnessAt(plain, 277, 45), 0);
  EXPECT_GT(BrightnessAt(blurred, 277, 45), 0);

  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 320);
  EXPECT_EQ(viewport[3], 200);
  EXPECT_FALSE(CurrentMatrix(GL_PROJECTION_MATRIX) == projection);  // resized to 320 x 200
  engine_->resizeGL(kWidth, kHeight);
  EXPECT_TRUE(CurrentMatrix(GL_PROJECTION_MATRIX) == projection);
  EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
  EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), 0);
  EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), 1);
  EXPECT_EQ(Integer(GL_PROJECTION_STACK_DEPTH), 1);
}

TEST_F(RadialBlur, OverlayLeavesTheMatricesAsItFoundThem) {
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glRotatef(33.0f, 1.0f, 0.0f, 0.0f);
  const Matrix modelview = CurrentMatrix(GL_MODELVIEW_MATRIX);
  const Matrix projection = CurrentMatrix(GL_PROJECTION_MATRIX);
  engine_->DrawBlur(12, 0.02f);
  EXPECT_TRUE(CurrentMatrix(GL_MODELVIEW_MATRIX) == modelview);
  EXPECT_TRUE(CurrentMatrix(GL_PROJECTION_MATRIX) == projection);
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_NEAR(colour[3], 0.075f - 11 * (0.075f / 12), 1e-6);
}

}  // namespace
