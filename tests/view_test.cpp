// Guards the saver view's life cycle on the offscreen surface: the engine is built on the
// first tick at the frame's truncated size, later ticks only draw, a new size rebuilds and
// restarts the clock, stopping releases the engine, and a missing bundle still animates.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/Scope.h"
#include "host/ScopeView.h"
#include "host/framework/Bundle.h"
#include "host/offscreen/OffscreenSurface.h"
#include "support/AllocationCounter.h"
#include "support/FakeClock.h"
#include "util/LocalTiming.h"

namespace {

// How many of the names 1..4096 are live objects of one kind.
int LiveNames(GLboolean (*isObject)(GLuint)) {
  int live = 0;
  for (GLuint name = 1; name <= 4096; name++) {
    live += isObject(name) ? 1 : 0;
  }
  return live;
}

class SaverView : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(surface_.create(64, 64, &error)) << error;
    view_ = std::make_unique<Vantor>();
    view_->attachToSurface(&surface_);
    Bundle::unload(kVantorBundleIdentifier);
  }

  void TearDown() override {
    if (view_ != nullptr) {
      surface_.makeCurrent();
      view_->stopAnimation();
    }
  }

  // A frame's size as the host reports it, then the first tick.
  void start(float width, float height) {
    ASSERT_TRUE(view_->initWithFrame(Rect{Point{}, Size{width, height}}, false));
    view_->setFrameSize(Size{width, height});
    view_->startAnimation();
  }

  // Closes the timer's measuring window so that its tick count starts from 0.
  void emptyTheRateWindow() {
    clock_.advance(1.0);
    UpdateTimer();
  }

  OffscreenSurface surface_;
  FakeClock clock_;
  std::unique_ptr<Vantor> view_;
};

TEST_F(SaverView, FirstTickBuildsTheEngineAtTheTruncatedFrameSize) {
  start(1023.7f, 767.2f);
  EXPECT_EQ(gScopeApp, nullptr);  // nothing is built before the first tick
  view_->animateOneFrame();

  ASSERT_NE(gScopeApp, nullptr);
  EXPECT_EQ(gScopeApp->width, 1023);
  EXPECT_EQ(gScopeApp->height, 767);
  EXPECT_EQ(surface_.width(), 1023);  // the OpenGL subview took the view's size
  EXPECT_EQ(surface_.height(), 767);
  EXPECT_TRUE(gScopeApp->b_UseMirrors);  // display was called with bit 16 set
  EXPECT_FALSE(view_->hasConfigureSheet());
  EXPECT_EQ(view_->configureSheet(), nullptr);
}

TEST_F(SaverView, LaterTicksTickTheTimerOnceAndDrawOnceWithoutRebuilding) {
  start(320.0f, 240.0f);
  view_->animateOneFrame();
  ScopeApp* engine = gScopeApp;
  engine->fLastScopeStart = -7.0f;  // a mark that a rebuilt engine would not carry
  GLuint list = static_cast<GLuint>(biglistID);

  // Ten ticks 0.1 s apart. Each must count two timer ticks (the view's, then the one in
  // display); the tenth closes the one-second window, which then holds the nine before it.
  emptyTheRateWindow();
  for (int tick = 1; tick <= 10; tick++) {
    clock_.advance(0.1);
    view_->animateOneFrame();
  }

  EXPECT_EQ(gScopeApp, engine);
  EXPECT_EQ(gScopeApp->fLastScopeStart, -7.0f);
  EXPECT_EQ(static_cast<GLuint>(biglistID), list);
  EXPECT_FLOAT_EQ(gFrameRate, 18.0f);
  EXPECT_NEAR(gTime, 2.0f, 1e-4f);  // from the build: 1 s to empty the window, ten ticks
  EXPECT_EQ(gScopeApp->m_fTime, gTime);

  // A tick allocates nothing once the engine is built.
  AllocationCounter allocations;
  for (int tick = 0; tick < 5; tick++) {
    clock_.advance(0.1);
    view_->animateOneFrame();
  }
  EXPECT_EQ(allocations.count(), 0);
}

TEST_F(SaverView, NewSizeRebuildsTheEngineAndRestartsTheClock) {
  start(320.0f, 240.0f);
  view_->animateOneFrame();
  clock_.advance(5.0);
  view_->animateOneFrame();
  ASSERT_NEAR(gTime, 5.0f, 1e-4f);
  ScopeApp* old = gScopeApp;
  old->fLastScopeStart = -7.0f;

  view_->setFrameSize(Size{200.9f, 100.5f});
  EXPECT_EQ(gScopeApp, old);  // the old engine stays until the next tick replaces it
  EXPECT_EQ(surface_.width(), 200);
  view_->animateOneFrame();

  ASSERT_NE(gScopeApp, nullptr);
  EXPECT_EQ(gScopeApp->width, 200);
  EXPECT_EQ(gScopeApp->height, 100);
  EXPECT_EQ(gScopeApp->fLastScopeStart, 0.0f);
  EXPECT_EQ(gTime, 0.0f);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 200);
  EXPECT_EQ(viewport[3], 100);
}

TEST_F(SaverView, StopReleasesTheEngineAndTheNextTickBuildsAnother) {
  start(128.0f, 96.0f);
  view_->stopAnimation();  // no engine yet: nothing to release
  EXPECT_EQ(gScopeApp, nullptr);
  EXPECT_FALSE(view_->isAnimating());

  view_->startAnimation();
  view_->animateOneFrame();
  ASSERT_NE(gScopeApp, nullptr);
  GLuint list = static_cast<GLuint>(biglistID);
  ASSERT_TRUE(glIsList(list));
  view_->stopAnimation();
  EXPECT_EQ(gScopeApp, nullptr);
  EXPECT_FALSE(glIsList(list));

  clock_.advance(3.0);
  view_->startAnimation();
  view_->animateOneFrame();
  ASSERT_NE(gScopeApp, nullptr);
  EXPECT_EQ(gScopeApp->width, 128);
  EXPECT_EQ(gTime, 0.0f);

  // Destroying the view leaves the engine to stopAnimation, as the framework's hosts expect.
  view_.reset();
  ASSERT_NE(gScopeApp, nullptr);
  delete gScopeApp;
  gScopeApp = nullptr;
}

TEST_F(SaverView, RebuildsAndRestartsDoNotGrowTheGlObjects) {
  start(64.0f, 64.0f);
  view_->animateOneFrame();
  const int lists = LiveNames(glIsList);
  const int textures = LiveNames(glIsTexture);
  for (int cycle = 0; cycle < 10; cycle++) {
    // Alternately a resize (rebuilt by the next tick) and a stop and start.
    if (cycle % 2 == 0) {
      view_->setFrameSize(Size{64.0f + cycle, 64.0f});
    } else {
      view_->stopAnimation();
      view_->startAnimation();
    }
    view_->animateOneFrame();
    EXPECT_EQ(gScopeApp->width, 64 + cycle - cycle % 2);
  }
  EXPECT_EQ(LiveNames(glIsList), lists);
  EXPECT_EQ(LiveNames(glIsTexture), textures);
}

TEST_F(SaverView, WithoutItsBundleTheViewStillAnimates) {
  ASSERT_EQ(Bundle::bundleWithIdentifier(kVantorBundleIdentifier), nullptr);
  start(96.0f, 64.0f);
  for (int tick = 0; tick < 3; tick++) {
    clock_.advance(0.5);
    view_->animateOneFrame();
  }
  ASSERT_NE(gScopeApp, nullptr);
  EXPECT_NEAR(gTime, 1.0f, 1e-4f);

  // A bundle whose folder holds no atlas draws the same way.
  view_->stopAnimation();
  Bundle::load(Bundle(kVantorBundleIdentifier, "/nonexistent/vantor", "/nonexistent", ""));
  view_->startAnimation();
  view_->animateOneFrame();
  EXPECT_NE(gScopeApp, nullptr);
  Bundle::unload(kVantorBundleIdentifier);
}

TEST(Framework, ResourceSearchOrderAndLookup) {
  std::vector<std::string> path =
      resourceSearchPath("/opt/option", "/opt/environment", "/usr/local/bin/vantor", "/src/res");
  EXPECT_EQ(path,
            (std::vector<std::string>{"/opt/option", "/opt/environment", "/usr/local/share/vantor",
                                      "/usr/share/vantor", "/src/res"}));
  EXPECT_EQ(resourceSearchPath("", "", "", ""), std::vector<std::string>{});
  EXPECT_EQ(findResourceFolder({"/nonexistent", "/etc"}, "hostname"), "/etc");
  EXPECT_EQ(findResourceFolder({"/nonexistent", "/"}, "etc"), "");  // folders do not count
}

}  // namespace
