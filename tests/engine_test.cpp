// Guards the engine's life on a real OpenGL context: what construction leaves behind, what a
// frame does, what destruction releases; and the scene-cell defaults and factory answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/Scope.h"
#include "objects/ObjectFactory.h"
#include "support/AllocationCounter.h"
#include "support/FakeClock.h"
#include "support/GlState.h"
#include "support/GlTest.h"
#include "util/LocalTiming.h"

namespace {

class Engine : public GlTest {
 protected:
  FakeClock clock_;
};

TEST_F(Engine, ConstructionSetsViewportProjectionAndTheBlurTexture) {
  resizeSurface(800, 600);
  glMatrixMode(GL_TEXTURE);  // construction must leave the modelview matrix current
  ScopeApp engine(800, 600, 0, nullptr);

  EXPECT_EQ(engine.width, 800);
  EXPECT_EQ(engine.height, 600);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 800);
  EXPECT_EQ(viewport[3], 600);
  EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);

  // 90 degrees vertically: the y scale is 1 and the x scale 1 / aspect.
  Matrix projection = CurrentMatrix(GL_PROJECTION_MATRIX);
  EXPECT_FLOAT_EQ(projection.m[5], 1.0f);
  EXPECT_FLOAT_EQ(projection.m[0], 1.0f / (800.0f / 600.0f));
  EXPECT_FLOAT_EQ(projection.m[10], -21.0f / 19.0f);  // near 1, far 20

  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_EQ(Integer(GL_DEPTH_FUNC), GL_LEQUAL);
  EXPECT_TRUE(bCanBlur);
  EXPECT_TRUE(glIsList(static_cast<GLuint>(biglistID)));

  // The blur texture: created, left bound, 128 x 128 black with alpha 0.
  GLint blur = Integer(GL_TEXTURE_BINDING_2D);
  ASSERT_NE(blur, 0);
  EXPECT_TRUE(glIsTexture(static_cast<GLuint>(blur)));
  GLint size[2];
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &size[0]);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &size[1]);
  EXPECT_EQ(size[0], 128);
  EXPECT_EQ(size[1], 128);
  std::vector<GLubyte> texels(128 * 128 * 4, 0xff);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  EXPECT_EQ(std::count(texels.begin(), texels.end(), 0), static_cast<long>(texels.size()));

  // State the frame driver relies on or reports.
  EXPECT_EQ(engine.m_fTime, 0.0f);
  EXPECT_EQ(engine.m_fFramesPerSec, 10.0f);
  EXPECT_FALSE(engine.b_UseMirrors);
  EXPECT_TRUE(engine.b_UseDepthBuffer);
  EXPECT_EQ(engine.iCurrentScope, 0);
  ASSERT_NE(engine.m_curMS, nullptr);
  EXPECT_GE(engine.m_curMS, &engine.gMirrorSystems[0]);
  EXPECT_LE(engine.m_curMS, &engine.gMirrorSystems[6]);
  ASSERT_NE(engine.itsObjects, nullptr);
  EXPECT_EQ(engine.itsObjects->m_parent, &engine);
}

TEST_F(Engine, ResizeKeepsTheAspectFiniteForAnEmptySurface) {
  ScopeApp engine(kWidth, kHeight, 0, nullptr);
  engine.resizeGL(800, 600);
  EXPECT_FLOAT_EQ(CurrentMatrix(GL_PROJECTION_MATRIX).m[0], 1.0f / 1.3333334f);
  EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);

  for (auto size : {std::make_pair(800, 0), std::make_pair(0, 600), std::make_pair(0, 0)}) {
    engine.initGL(size.first, size.second);
    Matrix projection = CurrentMatrix(GL_PROJECTION_MATRIX);
    for (float value : projection.m) {
      EXPECT_TRUE(std::isfinite(value)) << size.first << "x" << size.second;
    }
    EXPECT_EQ(engine.height, size.second);
  }
  ScopeApp flat(640, 0, 0, nullptr);
  EXPECT_TRUE(std::isfinite(CurrentMatrix(GL_PROJECTION_MATRIX).m[0]));
  EXPECT_EQ(flat.display(0x10001), 1);
}

TEST_F(Engine, EveryFrameClearsReturnsOneAndFollowsTheClock) {
  resizeSurface(kWidth, kHeight);
  ScopeApp engine(kWidth, kHeight, 0, nullptr);
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  for (int flags : {0x10001, 1, 0, 0x10000, -1}) {
    // Paint something the frame must wipe out.
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    clock_.advance(0.25);
    EXPECT_EQ(engine.display(flags), 1);
    EXPECT_EQ(engine.b_UseMirrors, (flags & 0x10000) != 0) << flags;
    // The scene's pieces may cover the centre; the corners lie beyond the circle they reach.
    Frame frame = readFrame();
    EXPECT_EQ(frame.at(0, 0)[0], 0);
    EXPECT_EQ(frame.at(kWidth - 1, 0)[2], 255);
    EXPECT_EQ(frame.at(kWidth - 1, kHeight - 1)[2], 255);
  }
  EXPECT_FLOAT_EQ(engine.m_fTime, 1.25f);
  EXPECT_EQ(engine.m_fTime, gTime);
  EXPECT_EQ(engine.m_fFramesPerSec, gFrameRate);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

TEST_F(Engine, DestructionReleasesTheListAndTheBlurTexture) {
  ScopeApp* engine = new ScopeApp(kWidth, kHeight, 0, nullptr);
  GLuint list = static_cast<GLuint>(biglistID);
  GLuint blur = static_cast<GLuint>(Integer(GL_TEXTURE_BINDING_2D));
  engine->display(0x10001);
  ASSERT_TRUE(glIsList(list));
  ASSERT_TRUE(glIsTexture(blur));
  delete engine;
  EXPECT_FALSE(glIsList(list));
  EXPECT_FALSE(glIsTexture(blur));
  EXPECT_TRUE(bCanBlur);  // globals keep their last values
}

TEST(Cells, BareCellDefaults) {
  ObjectCell cell(nullptr);
  EXPECT_TRUE(cell.wantsClipping());
  EXPECT_FALSE(cell.wantsTrails());
  EXPECT_TRUE(cell.wantsReflections());
  EXPECT_FALSE(cell.wantsRadialBlur());
  cell.init(nullptr);
  cell.updateFrame();
  cell.preRender();
  cell.postRender();
  EXPECT_EQ(cell.m_parent, nullptr);
}

TEST(Cells, FactoryGivesNullForUnknownTypesAndAllocatesNothing) {
  ScopeApp* parent = reinterpret_cast<ScopeApp*>(0x1000);
  for (int type : {1, -1, 7}) {
    AllocationCounter allocations;
    EXPECT_EQ(getObjectCell(type, parent), nullptr) << type;
    EXPECT_EQ(allocations.count(), 0) << type;
  }
  ObjectCell* cell = getObjectCell(0, parent);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->m_parent, parent);
  delete cell;
}

}  // namespace
