// Guards the saver view's life cycle on the offscreen surface: the engine is built on the
// first tick at the frame's truncated size, later ticks only draw, a new size rebuilds and
// restarts the clock, stopping releases the engine, and missing resources still animate.
#include <gtest/gtest.h>

#include "engine/Scope.h"
#include "host/ScopeView.h"
#include "host/framework/Bundle.h"
#include "host/offscreen/OffscreenSurface.h"
#include "support/AllocationCounter.h"
#include "support/Seams.h"
#include "util/LocalTiming.h"

namespace {

TEST(SaverView, LifeCycle) {
  OffscreenSurface surface;
  std::string error;
  ASSERT_TRUE(surface.create(64, 64, &error)) << error;
  FakeClock clock;
  Vantor view;
  view.attachToSurface(&surface);
  auto ticks = [&](int count, double apart) {
    for (int tick = 0; tick < count; tick++) {
      clock.advance(apart);
      view.animateOneFrame();
    }
  };
  // The frame's size as the host reports it; nothing is built before the first tick.
  ASSERT_TRUE(view.initWithFrame(Rect{Point{}, Size{1023.7f, 767.2f}}, false));
  view.setFrameSize(Size{1023.7f, 767.2f});
  view.startAnimation();
  view.stopAnimation();  // no engine yet: nothing to release
  EXPECT_TRUE(gScopeApp == nullptr && !view.isAnimating());
  view.startAnimation();
  ticks(1, 0.0);
  ASSERT_NE(gScopeApp, nullptr);
  EXPECT_TRUE(gScopeApp->width == 1023 && gScopeApp->height == 767);
  EXPECT_TRUE(surface.width() == 1023 && surface.height() == 767);
  // With the rate window emptied, ten ticks 0.1 s apart: each counts two timer ticks (the
  // view's, then the one in display); the tenth closes the window on the 18 before it.
  clock.advance(1.0);
  UpdateTimer();
  {
    AllocationCounter allocations;  // nothing is built again
    ticks(10, 0.1);
    EXPECT_EQ(allocations.count(), 0);
  }
  EXPECT_FLOAT_EQ(gFrameRate, 18.0f);
  EXPECT_NEAR(gTime, 2.0f, 1e-4f);
  EXPECT_EQ(gScopeApp->m_fTime, gTime);

  // A new size rebuilds the engine at the next tick and restarts the clock.
  gScopeApp->fLastScopeStart = -7.0f;  // a mark that a rebuilt engine would not carry
  view.setFrameSize(Size{200.9f, 100.5f});
  ticks(1, 5.0);
  EXPECT_TRUE(gScopeApp->width == 200 && gScopeApp->height == 100);
  EXPECT_TRUE(gScopeApp->fLastScopeStart == 0.0f && gTime == 0.0f);
  // Stopping releases the engine (the life-cycle test counts what it held).
  view.stopAnimation();
  EXPECT_EQ(gScopeApp, nullptr);

  // No bundle was loaded so far; one whose folder holds no atlas animates the same way.
  Bundle::load(Bundle(kVantorBundleIdentifier, "/nonexistent/vantor", "/nonexistent", ""));
  view.startAnimation();
  ticks(3, 0.5);
  EXPECT_NE(gScopeApp, nullptr);
  EXPECT_NEAR(gTime, 1.0f, 1e-4f);
  view.stopAnimation();
  Bundle::unload(kVantorBundleIdentifier);
}

}  // namespace
