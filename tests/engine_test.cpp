#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <tuple>
#include <vector>

#include "engine/Scope.h"
#include "objects/ObjectFactory.h"
#include "support/GlTest.h"
#include "support/Seams.h"
#include "support/TestFiles.h"
#include "util/LocalTiming.h"

namespace {

// Guards the vector operations and the random helpers at their edge values, where a rounding
// step done in the wrong precision changes the result. (The morphs below prove the easing.)
TEST(Math, VectorsRandomAndEaseAtTheirEdges) {
  // Squares of 1e-23 underflow in single precision: the length is 0 and nothing is divided.
  // A vector, its length, its normal.
  const float tiny = 1e-23f;
  for (const auto& v : {std::array<float, 7>{0, 3, 4, 5, 0, 0.6f, 0.8f},
                        {0, 0, 0, 0, 0, 0, 0},
                        {tiny, tiny, tiny, 0, tiny, tiny, tiny}}) {
    K_VECTOR3 vector;
    SetVector3(&vector, v[0], v[1], v[2]);
    EXPECT_EQ(Vec3Length(&vector), v[3]) << v[0];
    Vec3Normalize(&vector);
    EXPECT_EQ((std::array{vector.x, vector.y, vector.z}), (std::array{v[4], v[5], v[6]})) << v[0];
  }
  // The int-to-float conversion keeps 24 bits: the top 64 values of rand round to 2^31, and
  // RandomI reaches its bound only then.
  const float belowOne = std::nextafter(1.0f, 0.0f);
  const std::tuple<int, float, int> cases[] = {{0, 0.0f, 0},
                                               {1 << 30, 0.5f, 50},
                                               {2147483647, 1.0f, 100},
                                               {2147483584, 1.0f, 100},
                                               {2147483583, belowOne, 99},
                                               {2147483520, belowOne, 99}};
  for (auto [value, fraction, hundredth] : cases) {
    scriptRand({value, value, value});
    EXPECT_EQ(rnd(), fraction) << value;
    EXPECT_EQ(RandomI(1), fraction == 1.0f) << value;
    EXPECT_EQ(RandomI(100), hundredth) << value;
  }
}

// A colour fan from the centre out past the screen's corners, from 240 to 330 degrees: wider
// than any wedge, so that only the clip planes keep it inside. Its colour changes with the
// direction, so a copy and its mirror image look different. Culls back faces, so a mirrored
// copy shows only when the front face is switched for it.
class FanCell : public ObjectCell {
 public:
  explicit FanCell(ScopeApp* parent) : ObjectCell(parent) {}
  void draw() override {
    glBegin(GL_TRIANGLE_FAN);
    glColor3f(0.5f, 0.5f, 0.5f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    for (double degrees = 240.0; degrees <= 330.0; degrees += 5.0) {
      const float ramp = static_cast<float>((degrees - 240.0) / 90.0);
      glColor3f(ramp, 1.0f - ramp, 0.5f);
      glVertex3d(12.0 * std::cos(degrees * M_PI / 180.0), 12.0 * std::sin(degrees * M_PI / 180.0),
                 0.0);
    }
    glEnd();
  }
  void preRender() override {
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
  }
  void postRender() override { glDisable(GL_CULL_FACE); }
};

// A small white square inside the first wedge of every arrangement, optionally asking for the
// radial blur, counting the engine's calls.
class SpotCell : public ObjectCell {
 public:
  SpotCell(ScopeApp* parent, bool blur) : ObjectCell(parent), blur(blur) {}
  void draw() override {
    draws++;
    // Centre at 2 units in direction 277 degrees, inside even the narrowest wedge.
    glColor3f(1.0f, 1.0f, 1.0f);
    glRectf(0.2437f - 0.12f, -1.9851f - 0.12f, 0.2437f + 0.12f, -1.9851f + 0.12f);
  }
  void preRender() override { preRenders++; }
  void postRender() override { postRenders++; }
  bool wantsRadialBlur() override { return blur; }

  const bool blur;
  int draws = 0, preRenders = 0, postRenders = 0;
};

// Replaces the engine's scene cell with `cell` (which the engine then owns).
template <class Cell>
Cell* installCell(ScopeApp* engine, Cell* cell) {
  delete engine->itsObjects;
  engine->itsObjects = cell;
  return cell;
}

// The pixel at `radius` pixels from the centre in direction `degrees` (counter-clockwise from
// the right, as in the scene; the frame's rows run top to bottom).
int brightnessAt(const Frame& frame, double degrees, double radius) {
  return frame.brightness(
      static_cast<int>(frame.width / 2.0 + radius * std::cos(degrees * M_PI / 180.0)),
      static_cast<int>(frame.height / 2.0 - radius * std::sin(degrees * M_PI / 180.0)));
}

// An engine with an empty cell at the surface's size, with a settable clock.
class Engine : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    resizeSurface(kWidth, kHeight);
    isMorphing = false;
    engine_ = new ScopeApp(kWidth, kHeight, 0, nullptr);
    installCell(engine_, new ObjectCell(engine_));  // nothing drawn, no drift
  }
  void TearDown() override { delete engine_; }

  // Draws a frame `seconds` after the previous one.
  void frameAfter(double seconds, int flags = 0x10001) {
    clock_.advance(seconds);
    engine_->display(flags);
  }

  FakeClock clock_;
  ScopeApp* engine_ = nullptr;
};

// Guards the engine on a real OpenGL context: what construction leaves behind, that every frame
// wipes the last, and a zero-sized surface. What destruction releases, the view's long-life
// census counts.
TEST_F(Engine, ConstructionAndFrames) {
  delete engine_;
  resizeSurface(800, 600);
  glMatrixMode(GL_TEXTURE);  // construction must leave the modelview matrix current
  engine_ = new ScopeApp(800, 600, 0, nullptr);
  EXPECT_EQ(integer(GL_MATRIX_MODE), GL_MODELVIEW);
  EXPECT_EQ(integers<4>(GL_VIEWPORT), (std::array<GLint, 4>{0, 0, 800, 600}));
  EXPECT_EQ(engine_->m_fTime, 0.0f);
  for (int flags : {0x10001, 1, 0, 0x10000, -1}) {
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);  // something the frame must wipe out
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    clock_.advance(0.25);
    EXPECT_EQ(engine_->display(flags), 1);
    const Frame frame = readFrame();
    for (const std::uint8_t* pixel : {frame.at(0, 0), frame.at(799, 599)}) {
      EXPECT_EQ(std::vector<int>(pixel, pixel + 3), (std::vector<int>{0, 0, 255})) << flags;
    }
  }
  for (auto [width, height] : {std::make_pair(800, 0), {0, 600}, {0, 0}}) {
    engine_->initGL(width, height);
    for (float value : floats(GL_PROJECTION_MATRIX)) {
      EXPECT_TRUE(std::isfinite(value)) << width << "x" << height << ": " << value;
    }
  }
}

// Guards the mirror arrangements: the preset table to its six decimals (the seams between
// copies depend on the exact arithmetic), and the morphs between arrangements as the frames
// draw them, without a gap where the copies do not fill the circle evenly.
using Mirrors = Engine;

// The x of the second clip plane recorded into the last frame's list: it tells the angle of the
// arrangement the frame was drawn with.
double recordedPlaneX() {
  glPushMatrix();
  glLoadIdentity();
  glCallList(static_cast<GLuint>(biglistID));
  GLdouble plane[4];
  glGetClipPlane(GL_CLIP_PLANE1, plane);
  glPopMatrix();
  return plane[0];
}

// Whether the last frame was drawn with the arrangement for `angle` degrees.
::testing::AssertionResult DrawnWith(ScopeApp* engine, float angle) {
  const double x = recordedPlaneX();
  MirrorSystem ms;
  engine->SetupMirrorSystem(&ms, angle);
  // The driver keeps plane equations in single precision.
  return std::fabs(x - ms.mirrorPlane2[0]) <= 3e-7
             ? ::testing::AssertionSuccess()
             : ::testing::AssertionFailure() << x << " is not the plane of " << angle;
}

TEST_F(Mirrors, PresetTableCountsAndIndices) {
  // Angle, copies, far end of the second mirror, aperture, second clip plane.
  const double presets[7][7] = {
      {36.0, 10, 2.351128, -3.236078, 2.472133, -0.809019, -0.587783},
      {30.0, 12, 1.999986, -3.464109, 2.070550, -0.866027, -0.499998},
      {25.714285, 14, 1.735522, -3.603882, 1.780166, -0.900970, -0.433881},
      {22.5, 16, 1.530720, -3.695524, 1.560721, -0.923881, -0.382681},
      {20.0, 18, 1.368066, -3.758776, 1.389183, -0.939694, -0.342018},
      {18.0, 20, 1.236054, -3.804231, 1.251474, -0.951057, -0.309014},
      {16.363636, 22, 1.126917, -3.837976, 1.138518, -0.959494, -0.281730},
  };
  for (int i = 0; i < 7; i++) {
    const MirrorSystem& ms = engine_->gMirrorSystems[i];
    const double actual[7] = {ms.fMirrorAngle,   static_cast<double>(ms.nbrReflections),
                              ms.mirror3.x,      ms.mirror3.y,
                              ms.apertureLength, ms.mirrorPlane2[0],
                              ms.mirrorPlane2[1]};
    for (int k = 0; k < 7; k++) {
      EXPECT_NEAR(actual[k], presets[i][k], 5.5e-7) << i << ", " << k;  // six decimals
    }
  }
  // The count rounds up only when the quotient is not whole; preset indices wrap.
  for (auto [angle, copies, index, preset] : {std::array{33, 11, 7, 0}, {30, 12, 9, 2}}) {
    MirrorSystem ms;
    engine_->SetupMirrorSystem(&ms, static_cast<float>(angle));
    engine_->setMirrorSystem(index, false);
    EXPECT_EQ(std::pair(ms.nbrReflections, engine_->m_curMS),
              std::pair(copies, &engine_->gMirrorSystems[preset]));
  }
}

// 36 to 30 degrees; halfway, 11 copies of 33 degrees close the circle of the fan. Redirected to
// 20 halfway, the glide starts from 33.
TEST_F(Mirrors, MorphGlidesWithoutAGapAndARedirectStartsFromTheAngleOnScreen) {
  installCell(engine_, new FanCell(engine_));
  for (bool redirect : {false, true}) {
    engine_->setMirrorSystem(0, false);
    frameAfter(10.0);
    engine_->setMirrorSystem(1, true);
    frameAfter(0.0);
    EXPECT_TRUE(DrawnWith(engine_, 36.0f));
    frameAfter(morphDuration / 2.0);
    EXPECT_TRUE(DrawnWith(engine_, 33.0f));
    const Frame halfway = readFrame();
    for (double degrees = 0.0; degrees < 360.0; degrees += 1.0) {
      ASSERT_GT(brightnessAt(halfway, degrees, 100), 0) << "gap at " << degrees << " degrees";
    }
    if (redirect) {
      engine_->setMirrorSystem(4, true);
      frameAfter(0.0);
      EXPECT_TRUE(DrawnWith(engine_, 33.0f));
      frameAfter(morphDuration / 2.0);
      EXPECT_TRUE(DrawnWith(engine_, 26.5f));
    }
    const double rest = morphDuration / 2.0;
    for (int after : {1, 2}) {
      frameAfter(rest);
      EXPECT_TRUE(DrawnWith(engine_, redirect ? 20.0f : 30.0f)) << after;
      EXPECT_FALSE(isMorphing);
    }
  }
}

// The copies far round the circle turn as many times faster than the mirror angle changes as
// there are copies: a fast morph flashes. Whatever the pair and the speed, frames 1/30 s of real
// time apart show them turning at most 30 degrees a second; the closest pairs keep two seconds.
TEST_F(Mirrors, MorphsTurnTheFarCopiesAtMostThirtyDegreesASecond) {
  // The plane's normal lies at the angle + 180 degrees.
  const auto drawnAngle = [] { return std::acos(-recordedPlaneX()) * 180.0 / M_PI; };
  for (double speed : {1.0, 4.0}) {
    engine_->speed = speed;
    for (auto [from, to] : {std::pair{0, 6}, {6, 0}, {0, 1}, {4, 5}}) {
      engine_->setMirrorSystem(from, false);
      frameAfter(10.0);
      engine_->setMirrorSystem(to, true);
      const float seconds = morphDuration;
      frameAfter(0.0);
      double fastest = 0.0, angle = drawnAngle();
      while (isMorphing) {
        frameAfter(speed / 30.0);
        const double next = drawnAngle();
        fastest = std::max(fastest, 360.0 / next * std::fabs(next - angle) * 30.0);
        angle = next;
      }
      SCOPED_TRACE(::testing::Message() << from << " to " << to << " at speed " << speed);
      EXPECT_LE(fastest, 30.5);
      EXPECT_NEAR(angle, engine_->gMirrorSystems[to].fMirrorAngle, 1e-3);
      if (to == 5) {
        EXPECT_EQ(seconds, 2.0 * speed);  // two seconds of real time
      }
    }
  }
}

TEST_F(Mirrors, SamePresetMorphsInPlaceAQuietSwitchWaitsAndANewEngineDropsTheMorph) {
  engine_->setMirrorSystem(2, false);
  frameAfter(5.0);
  engine_->setMirrorSystem(2, true);
  frameAfter(1.0);
  EXPECT_TRUE(isMorphing);
  EXPECT_TRUE(DrawnWith(engine_, 360.0f / 14.0f));
  // The picture keeps gliding to the old end angle and shows the new preset only after.
  engine_->setMirrorSystem(5, false);
  EXPECT_EQ(engine_->m_curMS, &engine_->gMirrorSystems[5]);
  frameAfter(1.0);
  EXPECT_FALSE(isMorphing);
  EXPECT_TRUE(DrawnWith(engine_, 360.0f / 14.0f));
  frameAfter(0.1);
  EXPECT_TRUE(DrawnWith(engine_, 18.0f));
  // The next engine's clock starts at 0: a morph left from the old clock would be evaluated
  // seconds in the past and draw nonsense angles until it caught up.
  engine_->setMirrorSystem(3, true);
  delete engine_;
  engine_ = new ScopeApp(kWidth, kHeight, 0, nullptr);
  EXPECT_FALSE(isMorphing);
  frameAfter(0.5);
  EXPECT_TRUE(DrawnWith(engine_, engine_->m_curMS->fMirrorAngle));
}

// Guards what the kaleidoscope looks like on screen: mirrored copies around the centre for
// every arrangement, one plain copy with the mirrors off, the radial blur, and the OpenGL
// state the passes leave behind.
using Reflections = Engine;

TEST_F(Reflections, CopiesOfAFanForEveryPresetAndOneWithTheMirrorsOff) {
  installCell(engine_, new FanCell(engine_));
  for (int i = 0; i < 7; i++) {
    engine_->setMirrorSystem(i, false);
    frameAfter(0.1);
    Frame frame = readFrame();
    // Copies meet edge to edge; at most a stray pixel on a seam stays dark.
    EXPECT_GT(frame.litShare(), 0.999) << i;
    EXPECT_LT(mirrorMismatch(frame, 12), 0.002) << i;
    EXPECT_LT(rotationMismatch(frame, 2 * engine_->m_curMS->fMirrorAngle, 30, 125, 24), 0.01) << i;
  }
  // Mirrors off: the fan from 240 to 330 degrees shows whole, also outside the first wedge.
  for (int flags : {1, 0}) {
    frameAfter(0.1, flags);
    const Frame frame = readFrame();
    for (double degrees : {0.0, 90.0, 180.0, 225.0, 245.0, 260.0, 290.0, 320.0, 345.0}) {
      EXPECT_EQ(brightnessAt(frame, degrees, 80) > 0, degrees > 240 && degrees < 330) << degrees;
    }
  }
}

// The spot sits 2 units (about 46 pixels) from the centre at 277 degrees.
TEST_F(Reflections, OneDrawAFrameRadialBlurOutwardAndThePassesLeaveTheStateAsFound) {
  engine_->setMirrorSystem(0, false);
  SpotCell* cell = installCell(engine_, new SpotCell(engine_, false));
  frameAfter(0.1);
  EXPECT_EQ(cell->draws, 1);  // for 10 copies
  Frame plain = readFrame();
  const auto modelview = floats(GL_MODELVIEW_MATRIX), projection = floats(GL_PROJECTION_MATRIX);
  cell = installCell(engine_, new SpotCell(engine_, true));
  frameAfter(0.1);
  Frame blurred = readFrame();
  // Drawn once; both passes run the hooks.
  EXPECT_EQ(std::tuple(cell->draws, cell->preRenders, cell->postRenders), std::tuple(1, 2, 2));
  EXPECT_GT(brightnessAt(plain, 277, 46), 600);
  EXPECT_EQ(brightnessAt(plain, 277, 60), 0);
  EXPECT_GT(brightnessAt(blurred, 277, 60), 0);
  EXPECT_EQ(brightnessAt(blurred, 277, 20), 0);  // nothing spreads inward
  // Nothing bright beyond the spots' faint blur: the small frame was cleared before the full
  // pass, or its copies would show in the corner.
  int stray = 0;
  for (int i = 0; i < kWidth * kHeight; i++) {
    const int x = i % kWidth, y = i / kWidth;
    stray += std::hypot(x - kWidth / 2, y - kHeight / 2) > 90 && blurred.brightness(x, y) > 100;
  }
  EXPECT_EQ(stray, 0);
  EXPECT_EQ(integers<4>(GL_VIEWPORT), (std::array<GLint, 4>{0, 0, kWidth, kHeight}));
  EXPECT_EQ(floats(GL_MODELVIEW_MATRIX), modelview);
  EXPECT_EQ(floats(GL_PROJECTION_MATRIX), projection);
  // Matrix mode, bound texture; depth test, texturing and blending on or off.
  EXPECT_EQ(
      std::tuple(integer(GL_MATRIX_MODE), integer(GL_TEXTURE_BINDING_2D),
                 glIsEnabled(GL_DEPTH_TEST), glIsEnabled(GL_TEXTURE_2D), glIsEnabled(GL_BLEND)),
      std::tuple(GL_MODELVIEW, 0, GL_TRUE, GL_FALSE, GL_FALSE));

  glRotatef(17.0f, 0.0f, 0.0f, 1.0f);
  const auto turned = floats(GL_MODELVIEW_MATRIX);
  glEnable(GL_CLIP_PLANE2);
  glFrontFace(GL_CW);
  engine_->RenderSystem(engine_->m_curMS);
  // Clip planes off, the front face back to counter-clockwise.
  EXPECT_EQ(std::tuple(glIsEnabled(GL_CLIP_PLANE0), glIsEnabled(GL_CLIP_PLANE1),
                       glIsEnabled(GL_CLIP_PLANE2), integer(GL_FRONT_FACE)),
            std::tuple(GL_FALSE, GL_FALSE, GL_FALSE, GL_CCW));
  EXPECT_EQ(floats(GL_MODELVIEW_MATRIX), turned);
  // No copies at all: the cell's hooks still run once each, nothing is drawn.
  MirrorSystem none = *engine_->m_curMS;
  none.nbrReflections = 0;
  glClear(GL_COLOR_BUFFER_BIT);
  engine_->RenderSystem(&none);
  EXPECT_EQ(cell->preRenders + cell->postRenders, 8);
  EXPECT_EQ(readFrame().litShare(), 0.0);
}

}  // namespace
