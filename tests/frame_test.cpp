// Guards whole frames of the real scene: a mirrored frame is symmetric and shows something,
// and once warmed up, frames (passes ending, drift ticks, a mirror morph) allocate nothing.
// Also proves that the allocation counter sees what it must.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "engine/Scope.h"
#include "objects/Glimmets.h"
#include "support/AllocationCounter.h"
#include "support/FakeClock.h"
#include "support/GlTest.h"
#include "support/TestFiles.h"
#include "util/LocalTiming.h"

namespace {

// Keeps the compiler from dropping an allocation whose block is never used.
void Keep(void* block) { asm volatile("" : : "r"(block) : "memory"); }

TEST(AllocationCounting, SeesOurOwnAllocations) {
  {
    AllocationCounter allocations;
    int* one = new int(3);
    Keep(one);
    delete one;
    int* many = new int[40];
    Keep(many);
    delete[] many;
    EXPECT_EQ(allocations.count(), 2);
  }
  if (!AllocationCounter::seesMalloc()) {
    GTEST_SKIP() << "malloc belongs to the sanitizer in this build";
  }
  AllocationCounter allocations;
  void* block = std::malloc(16);
  Keep(block);
  block = std::realloc(block, 4096);
  Keep(block);
  void* zeroed = std::calloc(4, 8);
  Keep(zeroed);
  std::free(zeroed);
  std::free(block);
  EXPECT_EQ(allocations.count(), 3);
}

class Frames : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    resizeSurface(kWidth, kHeight);
  }
  FakeClock clock_;
};

TEST_F(Frames, TheDriversOwnAllocationsAreNotCounted) {
  AllocationCounter allocations;
  GLuint list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  glBegin(GL_QUADS);
  for (int i = 0; i < 20000; i++) {
    glVertex3f(static_cast<float>(i), 0.0f, 0.0f);
  }
  glEnd();
  glEndList();
  glCallList(list);
  glFinish();
  glDeleteLists(list, 1);
  EXPECT_EQ(allocations.count(), 0);
}

TEST_F(Frames, FramesAllocateNothing) {
  std::unique_ptr<ScopeApp> engine(new ScopeApp(kWidth, kHeight, 1, ResourcesFolder().c_str()));
  PhotoList* list = static_cast<PhotoList*>(engine->itsObjects);
  for (int i = 0; i < 30; i++) {
    clock_.advance(0.25);
    UpdateTimer();
    engine->display(0x10001);
  }
  const float warmedUp = engine->m_fTime;
  engine->setMirrorSystem(engine->m_curMS == &engine->gMirrorSystems[2] ? 4 : 2, true);

  long allocated = 0;
  {
    AllocationCounter allocations;
    for (int i = 0; i < 300; i++) {
      clock_.advance(0.25);
      UpdateTimer();
      engine->display(0x10001);
    }
    allocated = allocations.count();
  }
  EXPECT_EQ(allocated, 0);
  // The frames did the work that could allocate: every piece ended passes, each with a tick.
  EXPECT_GT(list->cList[0].cycleStart, warmedUp);
  EXPECT_GT(list->cList[99].cycleStart, warmedUp);
  EXPECT_FALSE(isMorphing);
}

// Mirrors on, no morph: the first mirror runs straight down the middle of the picture, so
// the frame of the real scene is its own mirror image about the vertical centre line.
TEST_F(Frames, MirroredFrameIsSymmetricAndNotBlack) {
  std::unique_ptr<ScopeApp> engine(new ScopeApp(kWidth, kHeight, 1, ResourcesFolder().c_str()));
  for (int i = 0; i < 40; i++) {
    clock_.advance(0.25);
    UpdateTimer();
    engine->display(0x10001);
  }
  // Once more at the same time: no pass ends, so nothing starts a morph.
  isMorphing = false;
  engine->display(0x10001);
  Frame frame = readFrame();
  EXPECT_GT(frame.litShare(), 0.1);
  EXPECT_LT(MirrorMismatch(frame, 24), 0.005);
}

}  // namespace
