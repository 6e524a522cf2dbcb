// Guards long runs: a saver runs for days, on a single-precision clock. Over a simulated run
// (one hour in `make test`, a day in `make soak`, shorter under the sanitizers) at 30 frames
// a second every piece stays finite and on its path, and the mirrors keep changing.
//
// VANTOR_SOAK_SECONDS sets the simulated length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/Scope.h"
#include "objects/Glimmets.h"
#include "support/GlTest.h"
#include "support/Seams.h"
#include "support/TestFiles.h"

namespace {

// Whether a piece is finite, within its pass and with its looks in range.
bool InRange(const PhotoPiece& piece) {
  const float values[] = {piece.vPos.x, piece.vPos.y, piece.vPos.z, piece.cycle, piece.cycleStart,
                          piece.fSize,  piece.roll,   piece.tx,     piece.ty,    piece.tw,
                          piece.th,     piece.rC,     piece.gC,     piece.bC,    piece.aC,
                          piece.rCD,    piece.gCD,    piece.bCD,    piece.aCD};
  return std::all_of(std::begin(values), std::end(values),
                     [](float v) { return std::isfinite(v); }) &&
         piece.cycle >= 0.0f && piece.cycle <= 1.0f && piece.fSpinRate >= 720.0f &&
         piece.fSize >= 0.25f && piece.aC >= 0.5f && piece.aC <= 1.0f;
}

class Soak : public GlTest {};

TEST_F(Soak, PiecesStayFiniteAndTheMirrorsKeepChanging) {
  resizeSurface(64, 64);
  FakeClock clock;
  ScopeApp engine(64, 64, 1, resourcesPath().c_str());
  PhotoList* list = static_cast<PhotoList*>(engine.itsObjects);

  const char* seconds = std::getenv("VANTOR_SOAK_SECONDS");
  const long frames = (seconds != nullptr ? std::atol(seconds) : 3600) * 30;
  long morphs = 0, lastMorphFrame = 0, longestWithoutMorph = 0;
  bool wasMorphing = isMorphing;
  for (long frame = 1; frame <= frames; frame++) {
    clock.advance(1.0 / 30.0);
    engine.display(0x10001);
    if (isMorphing && !wasMorphing) {
      morphs++;
      longestWithoutMorph = std::max(longestWithoutMorph, frame - lastMorphFrame);
      lastMorphFrame = frame;
    }
    wasMorphing = isMorphing;
    for (int i = 0; i < 100; i++) {
      ASSERT_TRUE(InRange(list->cList[i])) << "piece " << i << " after " << frame / 30.0 << " s";
    }
    ASSERT_TRUE(list->fMaxSize >= 0.001f && list->fMaxSize <= 0.25f) << list->fMaxSize;
    ASSERT_TRUE(list->fMaxSpinRate >= 0.0f && list->fMaxSpinRate <= 3600.0f) << list->fMaxSpinRate;
  }
  // The drift asks for a new arrangement about once in ten segments of a few seconds each.
  const double minutes = frames / 30.0 / 60.0;
  EXPECT_GE(morphs, static_cast<long>(minutes / 10.0)) << "over " << minutes << " minutes";
  if (minutes >= 60.0) {
    EXPECT_LT(longestWithoutMorph / 30.0, 30.0 * 60.0) << "half an hour without a morph";
  }
  EXPECT_GT(readFrame().litShare(), 0.0);
}

}  // namespace
