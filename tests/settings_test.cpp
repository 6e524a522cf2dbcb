// Guards the user's settings through the saver view on the headless surface, as a render draws
// them: a held arrangement keeps its symmetry and never morphs, the speed moves everything
// faster against the same clock, and the glow brightens the picture from the centre at any
// size.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/Scope.h"
#include "host/ScopeView.h"
#include "host/framework/Bundle.h"
#include "host/offscreen/OffscreenSurface.h"
#include "objects/Glimmets.h"
#include "support/Frame.h"
#include "support/TestFiles.h"

namespace {

// A view on a width x height headless surface with the committed atlas, on a simulated clock at
// 30 ticks a second from second 1000, `speed` times as fast.
class Settings : public ::testing::Test {
 protected:
  void SetUp() override { Bundle::load(Bundle(kVantorBundleIdentifier, resourcesPath(), "", "")); }
  void TearDown() override {
    if (view_ != nullptr) {
      view_->stopAnimation();
    }
    Bundle::unload(kVantorBundleIdentifier);
  }

  void start(const SceneSettings& settings, int width = 160, int height = 120, double speed = 1.0) {
    if (view_ != nullptr) {
      view_->stopAnimation();
    }
    view_ = std::make_unique<Vantor>();
    surface_ = std::make_unique<OffscreenSurface>();
    std::string error;
    ASSERT_TRUE(surface_->create(width, height, &error)) << error;
    surface_->useSimulatedClock(1000, 30.0, speed);
    view_->attachToSurface(surface_.get());
    const Size size{static_cast<float>(width), static_cast<float>(height)};
    ASSERT_TRUE(view_->initWithFrame(Rect{Point{}, size}, false));
    view_->setFrameSize(size);
    view_->setSceneSettings(settings);
    view_->startAnimation();
  }
  // The next frame, drawn as the tick loop draws it; returns what it shows.
  Frame frame() {
    surface_->waitForTick();
    view_->animateOneFrame();
    Frame frame{surface_->width(), surface_->height(), {}};
    frame.rgb.resize(static_cast<size_t>(frame.width) * frame.height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, frame.width, frame.height, GL_RGB, GL_UNSIGNED_BYTE, frame.rgb.data());
    return frame;
  }

  std::unique_ptr<OffscreenSurface> surface_;
  std::unique_ptr<Vantor> view_;
};

TEST_F(Settings, AHeldArrangementKeepsItsSymmetryAndNeverMorphs) {
  start(SceneSettings{12, false});
  for (int tick = 0; tick < 30 * 60; tick++) {  // a simulated minute
    frame();
    ASSERT_FALSE(isMorphing) << "tick " << tick;
    ASSERT_EQ(gScopeApp->m_curMS->nbrReflections, 12) << "tick " << tick;
  }
  const Frame last = frame();
  // Twelve copies: a direct and a mirrored one every 60 degrees, nothing every 72 (ten). Pixels
  // along the pieces' edges differ a little between copies.
  const double sixty = RotationMismatch(last, 60.0, 10, 58, 48);
  const double seventyTwo = RotationMismatch(last, 72.0, 10, 58, 48);
  EXPECT_LT(sixty, 0.08);
  EXPECT_GT(seventyTwo, 2 * sixty);
}

TEST_F(Settings, TheSpeedMovesEveryPieceThatMuchFurtherPerFrame) {
  double steps[2];
  for (int i = 0; i < 2; i++) {
    start(SceneSettings{}, 64, 48, i == 0 ? 1.0 : 2.0);
    frame();
    frame();
    const PhotoPiece& piece = gList->cList[50];
    const double before = piece.cycle;
    frame();
    steps[i] = piece.cycle - before;
  }
  EXPECT_NEAR(steps[1], 2 * steps[0], 1e-5) << "phase steps " << steps[0] << ", " << steps[1];
}

TEST_F(Settings, TheGlowBrightensFromTheCentreAtAnySize) {
  for (auto [width, height] : {std::pair{160, 120}, {100, 40}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    Frame plain, glowing;
    for (bool glow : {false, true}) {
      start(SceneSettings{-1, glow}, width, height);
      for (int tick = 0; tick < 5; tick++) {
        (glow ? glowing : plain) = frame();
      }
    }
    long darker = 0, added = 0;
    for (int i = 0; i < width * height; i++) {
      const int more =
          glowing.brightness(i % width, i / width) - plain.brightness(i % width, i / width);
      darker += more < 0;
      added += more;
    }
    EXPECT_EQ(darker, 0);
    EXPECT_GT(added, width * height);
    EXPECT_LT(MirrorMismatch(glowing, 48), 0.02);
  }
}

}  // namespace
