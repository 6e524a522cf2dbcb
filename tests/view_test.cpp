// Guards the saver view on the offscreen surface: its life cycle (the engine is built on the
// first tick at the frame's truncated size, later ticks only draw, a new size rebuilds and
// restarts the clock, stopping releases the engine, and missing resources still animate), a
// build that runs out of memory, long lives of resizes, stops and starts that leave no OpenGL
// objects or memory behind, and the user's settings as the frames show them.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "AllocationCounter.h"
#include "engine/Scope.h"
#include "host/ScopeView.h"
#include "host/framework/Bundle.h"
#include "host/offscreen/OffscreenSurface.h"
#include "objects/Glimmets.h"
#include "support/FrameChecks.h"
#include "support/GlErrorWatch.h"
#include "support/Seams.h"
#include "support/TestFiles.h"
#include "util/LocalTiming.h"

#if defined(__SANITIZE_ADDRESS__)
// ASan keeps freed memory out of use (256 MB of it by default) to catch late uses; with a small
// quarantine, resident memory follows what is live.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=1"; }
#endif

namespace {

// A view attached to a 64x64 headless surface (or another a test attaches), stopped and without
// a bundle at the end.
class SaverView : public ::testing::Test {
 protected:
  void SetUp() override {
    // llvmpipe's raster threads hold a varying few megabytes of their own; drawing on this
    // thread keeps that noise out of the memory census, while every allocation of ours and of
    // the GL front end still counts.
    setenv("LP_NUM_THREADS", "0", 1);
    attach(64, 64);
  }
  void TearDown() override {
    view_->stopAnimation();
    Bundle::unload(kVantorBundleIdentifier);
    EXPECT_TRUE(noGlErrors());
  }

  // A new view on a new width x height surface.
  void attach(int width, int height) {
    if (view_ != nullptr) {
      view_->stopAnimation();
    }
    view_ = std::make_unique<Vantor>();
    surface_ = std::make_unique<OffscreenSurface>();
    std::string error;
    ASSERT_TRUE(surface_->create(width, height, &error)) << error;
    view_->attachToSurface(surface_.get());
    watchGlErrors();
  }

  // What the surface shows, bottom row first.
  Frame shown() const {
    Frame frame{surface_->width(), surface_->height(), {}};
    frame.rgb.resize(static_cast<size_t>(frame.width) * frame.height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, frame.width, frame.height, GL_RGB, GL_UNSIGNED_BYTE, frame.rgb.data());
    return frame;
  }

  std::unique_ptr<OffscreenSurface> surface_;
  std::unique_ptr<Vantor> view_;
};

TEST_F(SaverView, LifeCycle) {
  FakeClock clock;
  auto ticks = [&](int count, double apart) {
    for (int tick = 0; tick < count; tick++) {
      clock.advance(apart);
      view_->animateOneFrame();
    }
  };
  // The frame's size as the host reports it; nothing is built before the first tick.
  ASSERT_TRUE(view_->initWithFrame(Rect{Point{}, Size{1023.7f, 767.2f}}, false));
  view_->setFrameSize(Size{1023.7f, 767.2f});
  view_->startAnimation();
  view_->stopAnimation();  // no engine yet: nothing to release
  EXPECT_EQ(gScopeApp, nullptr);
  EXPECT_FALSE(view_->isAnimating());
  view_->startAnimation();
  ticks(1, 0.0);
  ASSERT_NE(gScopeApp, nullptr);
  EXPECT_EQ(std::tuple(gScopeApp->width, gScopeApp->height, surface_->width(), surface_->height()),
            std::tuple(1023, 767, 1023, 767));
  {
    AllocationCounter allocations;  // later ticks only draw: nothing is built again
    ticks(10, 0.1);
    EXPECT_EQ(allocations.count(), 0);
  }
  EXPECT_NEAR(gTime, 1.0f, 1e-4f);
  EXPECT_EQ(gScopeApp->m_fTime, gTime);

  // A new size rebuilds the engine at the next tick and restarts the clock.
  gScopeApp->fLastScopeStart = -7.0f;  // a mark that a rebuilt engine would not carry
  view_->setFrameSize(Size{200.9f, 100.5f});
  ticks(1, 5.0);
  EXPECT_EQ(std::tuple(gScopeApp->width, gScopeApp->height, gScopeApp->fLastScopeStart, gTime),
            std::tuple(200, 100, 0.0f, 0.0f));
  // Another view stopping releases the engine they share: this one, still counting itself
  // built, draws nothing; its own stopAnimation, with no engine to release, has the next tick
  // build again.
  Vantor().stopAnimation();
  EXPECT_EQ(gScopeApp, nullptr);
  ticks(1, 0.1);
  EXPECT_EQ(gScopeApp, nullptr);
  view_->stopAnimation();
  view_->startAnimation();
  ticks(1, 0.1);
  ASSERT_NE(gScopeApp, nullptr);
  // Stopping releases the engine (the long-life test below counts what it held).
  view_->stopAnimation();
  EXPECT_EQ(gScopeApp, nullptr);

  // No bundle was loaded so far; one whose folder holds no atlas animates the same way.
  Bundle::load(Bundle(kVantorBundleIdentifier, "/nonexistent/vantor", "/nonexistent", ""));
  view_->startAnimation();
  ticks(3, 0.5);
  EXPECT_NE(gScopeApp, nullptr);
  EXPECT_NEAR(gTime, 1.0f, 1e-4f);
}

struct Census {
  long textures = 0, lists = 0, residentBytes = 0;
};

Census takeCensus() {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glDeleteTextures(1, &texture);
  const GLuint list = glGenLists(1);
  glDeleteLists(list, 1);
  // Mesa hands out names above every name it gave before, so the names up to a fresh one (and a
  // margin, for a driver that reuses names) hold every live object of that kind.
  Census census;
  for (GLuint name = 1; name <= std::max(texture, list) + 1024; name++) {
    census.textures += glIsTexture(name);
    census.lists += glIsList(name);
  }
  malloc_trim(0);  // what stays resident then is live or leaked, not kept for reuse
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages >> pages;  // the second field: resident pages
  census.residentBytes = pages * sysconf(_SC_PAGESIZE);
  return census;
}

// Out of memory at any allocation of a rebuild: the tick throws std::bad_alloc (or carries on
// without the atlas), never leaves gScopeApp pointing at a deleted engine nor OpenGL objects
// behind, and a later tick builds an engine that draws.
TEST_F(SaverView, ABuildOutOfMemoryLeavesNoEngineBehind) {
  FakeClock clock;
  Bundle::load(Bundle(kVantorBundleIdentifier, resourcesPath(), "", ""));
  ASSERT_TRUE(view_->initWithFrame(Rect{Point{}, Size{64.0f, 64.0f}}, false));
  view_->startAnimation();
  view_->animateOneFrame();
  const Census before = takeCensus();
  // Until the build makes fewer allocations than the one that fails: every one has failed once.
  long nth = 0, throws = 0;
  for (bool reached = true; reached;) {
    view_->setFrameSize(Size{64.0f, 64.0f});  // the next tick deletes the engine and builds anew
    bool threw = false;
    {
      AllocationCounter allocations;
      allocations.failAllocation(++nth);
      try {
        view_->animateOneFrame();
      } catch (const std::bad_alloc&) {
        threw = true;
      }
      reached = allocations.count() >= nth;
    }
    throws += threw;
    EXPECT_EQ(gScopeApp == nullptr, threw) << "allocation " << nth;
  }
  EXPECT_GE(throws, 3) << "of " << nth - 1 << " allocations";
  view_->setFrameSize(Size{64.0f, 64.0f});
  clock.advance(10.0);
  view_->animateOneFrame();
  ASSERT_NE(gScopeApp, nullptr);
  const Census after = takeCensus();
  EXPECT_EQ(std::pair(after.textures, after.lists), std::pair(before.textures, before.lists));
  EXPECT_GT(shown().litShare(), 0.0);
}

// After a warm-up, 10,000 resizes and 1,000 stops and starts, each followed by the tick that
// rebuilds the engine, leave as many live OpenGL textures and display lists, and as much
// resident memory, as before.
TEST_F(SaverView, ResizesAndRestartsLeaveNoObjectsOrMemoryBehind) {
  // A clock that stands still seeds every engine alike: each cycle builds the same scene, and
  // memory cannot differ by which scene happened to be built last.
  SimulatedClock clock(1000, 30);
  ScopedTimerClock installed(clock);
  // With the atlas, so that every engine makes its texture too.
  Bundle::load(Bundle(kVantorBundleIdentifier, resourcesPath(), "", ""));
  ASSERT_TRUE(view_->initWithFrame(Rect{Point{}, Size{16.0f, 16.0f}}, false));
  view_->startAnimation();
  auto cycles = [&](int count, bool restarts) {
    for (int cycle = 0; cycle < count; cycle++) {
      if (restarts) {
        view_->stopAnimation();
        view_->startAnimation();
      } else {
        view_->setFrameSize(Size{cycle % 2 == 0 ? 16.0f : 24.0f, 16.0f});
      }
      view_->animateOneFrame();
    }
  };
  cycles(200, false);
  cycles(200, true);
  const Census warm = takeCensus();
  ASSERT_GT(warm.textures, 0);  // the census sees the engine's objects
  ASSERT_GT(warm.lists, 0);
  for (auto [count, restarts] : {std::pair{10000, false}, {1000, true}}) {
    cycles(count, restarts);
    const Census after = takeCensus();
    EXPECT_EQ(std::pair(after.textures, after.lists), std::pair(warm.textures, warm.lists))
        << count;
    // Room for the allocator's own noise, far below what a leak per cycle would add.
    EXPECT_LT(after.residentBytes - warm.residentBytes, 2L << 20) << count;
  }
}

// Guards the user's settings as a render draws them: a held arrangement keeps its symmetry and
// never morphs, the speed moves everything but the spin faster against the same clock, and the
// glow brightens the picture from the centre at any size.
class Settings : public SaverView {
 protected:
  // A view with `settings` and the committed atlas on a width x height surface, on a simulated
  // clock at 30 ticks a second from second 1000, as fast as the settings' speed.
  void start(const SceneSettings& settings, int width = 160, int height = 120) {
    Bundle::load(Bundle(kVantorBundleIdentifier, resourcesPath(), "", ""));
    attach(width, height);
    installed_.reset();
    clock_ = std::make_unique<SimulatedClock>(1000, 30.0, settings.speed);
    installed_ = std::make_unique<ScopedTimerClock>(*clock_);
    frames_ = 0;
    const Size size{static_cast<float>(width), static_cast<float>(height)};
    ASSERT_TRUE(view_->initWithFrame(Rect{Point{}, size}, false));
    view_->setFrameSize(size);
    view_->setSceneSettings(settings);
    view_->startAnimation();
  }
  // The next frame, drawn as the tick loop draws it; returns what it shows.
  Frame frame() {
    if (frames_++ > 0) {
      clock_->nextFrame();
    }
    surface_->waitForTick();
    view_->animateOneFrame();
    return shown();
  }

  std::unique_ptr<SimulatedClock> clock_;
  std::unique_ptr<ScopedTimerClock> installed_;  // made after clock_, so it goes before it
  long frames_ = 0;
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
  const double sixty = rotationMismatch(last, 60.0, 10, 58, 48);
  const double seventyTwo = rotationMismatch(last, 72.0, 10, 58, 48);
  EXPECT_LT(sixty, 0.08);
  EXPECT_GT(seventyTwo, 2 * sixty);
}

// Fast-spinning masks flash: a piece spins no faster than at speed 1.
TEST_F(Settings, TheSpeedMovesEveryPieceThatMuchFurtherPerFrameButSpinsItNoFaster) {
  double steps[3], turns[3];
  const double speeds[3] = {1.0, 2.0, 0.5};
  for (int i = 0; i < 3; i++) {
    start(SceneSettings{-1, false, speeds[i]}, 64, 48);
    frame();
    frame();
    const PhotoPiece& piece = gList->cList[50];
    const double before = piece.cycle, rollBefore = piece.roll;
    frame();
    steps[i] = piece.cycle - before;
    turns[i] = piece.roll - rollBefore;
  }
  EXPECT_NEAR(steps[1], 2 * steps[0], 1e-5) << "phase steps " << steps[0] << ", " << steps[1];
  EXPECT_NEAR(steps[2], steps[0] / 2, 1e-5) << "phase steps " << steps[0] << ", " << steps[2];
  EXPECT_NEAR(turns[1], turns[0], 1e-3) << "turns " << turns[0] << ", " << turns[1];
  EXPECT_NEAR(turns[2], turns[0] / 2, 1e-3) << "turns " << turns[0] << ", " << turns[2];
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
    EXPECT_LT(mirrorMismatch(glowing, 48), 0.02);
  }
}

}  // namespace
