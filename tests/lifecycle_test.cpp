// Guards the saver view over long lives on the offscreen surface: after a warm-up, 10,000
// resizes and 1,000 stops and starts, each followed by the tick that rebuilds the engine, leave
// as many live OpenGL textures and display lists, and as much resident memory, as before.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "host/ScopeView.h"
#include "host/framework/Bundle.h"
#include "host/offscreen/OffscreenSurface.h"
#include "support/TestFiles.h"

#if defined(__SANITIZE_ADDRESS__)
// ASan keeps freed memory out of use (256 MB of it by default) to catch late uses; with a small
// quarantine, resident memory follows what is live.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=1"; }
#endif

namespace {

struct Census {
  int textures = 0;
  int lists = 0;
  long residentBytes = 0;
};

Census Take() {
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

void ExpectFlat(const Census& before, const Census& after, const char* what) {
  EXPECT_EQ(after.textures, before.textures) << what;
  EXPECT_EQ(after.lists, before.lists) << what;
  // Room for the allocator's own noise, far below what a leak per cycle would add.
  EXPECT_LT(after.residentBytes - before.residentBytes, 2L << 20) << what;
}

TEST(ViewLifeCycle, ResizesAndRestartsLeaveNoObjectsOrMemoryBehind) {
  // llvmpipe's raster threads hold a varying few megabytes of their own; drawing on this thread
  // keeps that noise out, while every allocation of ours and of the GL front end still counts.
  setenv("LP_NUM_THREADS", "0", 1);
  OffscreenSurface surface;
  std::string error;
  ASSERT_TRUE(surface.create(16, 16, &error)) << error;
  // A clock that stands still seeds every engine alike: each cycle builds the same scene, and
  // memory cannot differ by which scene happened to be built last.
  surface.useSimulatedClock(1000, 30);
  // With the atlas, so that every engine makes its texture too.
  Bundle::load(Bundle(kVantorBundleIdentifier, resourcesPath(), "", ""));
  Vantor view;
  view.attachToSurface(&surface);
  ASSERT_TRUE(view.initWithFrame(Rect{Point{}, Size{16.0f, 16.0f}}, false));
  view.startAnimation();
  auto resize = [&](int cycle) {
    view.setFrameSize(Size{cycle % 2 == 0 ? 16.0f : 24.0f, 16.0f});
    view.animateOneFrame();
  };
  auto restart = [&] {
    view.stopAnimation();
    view.startAnimation();
    view.animateOneFrame();
  };
  for (int cycle = 0; cycle < 200; cycle++) {
    resize(cycle);
    restart();
  }
  const Census warm = Take();
  ASSERT_GT(warm.textures, 0);  // the census sees the engine's own objects
  ASSERT_GT(warm.lists, 0);
  for (int cycle = 0; cycle < 10000; cycle++) {
    resize(cycle);
  }
  ExpectFlat(warm, Take(), "after 10,000 resizes");
  for (int cycle = 0; cycle < 1000; cycle++) {
    restart();
  }
  ExpectFlat(warm, Take(), "after 1,000 stops and starts");

  view.stopAnimation();
  Bundle::unload(kVantorBundleIdentifier);
}

}  // namespace
