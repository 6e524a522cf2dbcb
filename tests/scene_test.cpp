#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <tuple>
#include <utility>

#include "AllocationCounter.h"
#include "engine/Scope.h"
#include "image/LoadJPEGMask.h"
#include "objects/Glimmets.h"
#include "support/GlTest.h"
#include "support/Seams.h"
#include "support/TestFiles.h"
#include "util/LocalTiming.h"

namespace {

// The rand() value for which rnd() returns exactly `fraction` (a multiple of 2^-31; for 1,
// the largest value, which rounds up to it).
int randFor(double fraction) {
  return static_cast<int>(std::min(fraction * 2147483648.0, 2147483647.0));
}

// Guards the scene: the photo list's life (the factory's arguments and its answer for other
// types, starting parameters, atlas, pieces, release), the pieces' looks and passes, and the
// parameter drift, whose random draws are scripted because their order decides how a seed looks.
class Scene : public GlTest {
 protected:
  void TearDown() override { clearScriptedRand(); }

  // An engine on `folder` (the committed atlas's by default), and its list.
  std::unique_ptr<ScopeApp> makeEngine(const char* folder = atlas_.c_str()) {
    std::unique_ptr<ScopeApp> engine(new ScopeApp(kWidth, kHeight, 0, folder));
    list_ = static_cast<PhotoList*>(engine->itsObjects);
    return engine;
  }

  inline static const std::string atlas_ = resourcesPath();
  FakeClock clock_;
  PhotoList* list_ = nullptr;
};

TEST_F(Scene, FactoryStartingParametersAndGList) {
  auto parent = reinterpret_cast<ScopeApp*>(0x1000);
  std::unique_ptr<ObjectCell> cell(getObjectCell(0, parent));
  auto list = dynamic_cast<PhotoList*>(cell.get());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(std::tuple(list->m_parent, list->mixedFlag, list->bgColor.z, std::string(list->folder)),
            std::tuple(parent, false, 0.8f, std::string("Photos\\")));
  EXPECT_EQ(gList, list);
  cell.reset();  // through the interface
  EXPECT_EQ(gList, nullptr);
  for (int type : {1, -1, 7}) {  // types it does not know: no cell, nothing allocated or made
    AllocationCounter allocations;
    EXPECT_EQ(getObjectCell(type, parent), nullptr) << type;
    EXPECT_EQ(std::pair(allocations.count(), gList), (std::pair<long, PhotoList*>(0, nullptr)))
        << type;
  }
  // The starting parameters at both ends of rnd(); a long folder name is cut, not overrun.
  const std::string longName(100, 'p');
  scriptRand({0, 0, 0});
  auto older = std::make_unique<PhotoList>(nullptr, longName.c_str(), false, 0, 0, 0);
  EXPECT_EQ(std::tuple(older->fMaxSize, older->fMaxSpinRate, older->bRegularPolys),
            std::tuple(0.001f, 0.0f, true));
  EXPECT_EQ(older->folder, longName.substr(0, 63));
  scriptRand({randFor(1), randFor(1), randFor(1)});
  PhotoList newer(nullptr, nullptr, false, 0, 0, 0);
  EXPECT_EQ(std::tuple(newer.fMaxSize, newer.fMaxSpinRate, newer.bRegularPolys),
            std::tuple(0.25f, 3600.0f, false));
  older.reset();  // an older list going away leaves the newest one in gList
  EXPECT_EQ(gList, &newer);
}

// No atlas (no folder from the host, or none in it): untextured pieces with finite texture
// coordinates. Folder and working-directory paths longer than any fixed buffer find it.
TEST_F(Scene, FoldersWithoutAndWithTheAtlas) {
  TemporaryFolder empty;
  const std::string before = std::filesystem::current_path();
  std::string deep = empty.path();
  for (char letter = 'a'; letter < 'i'; letter++) {
    deep += "/" + std::string(200, letter);
  }
  std::filesystem::create_directories(deep);
  std::filesystem::copy_file(atlas_ + "/DiscMasks.jpg", deep + "/DiscMasks.jpg");
  std::filesystem::current_path(deep);
  for (const char* folder :
       {static_cast<const char*>(nullptr), empty.path().c_str(), deep.c_str(), "."}) {
    auto engine = makeEngine(folder);
    const bool atlas = folder != nullptr && folder != empty.path().c_str();
    EXPECT_EQ(list_->hasAtlas(), atlas) << (folder ? folder : "null");
    for (int i = 0; i < 100 && !atlas; i++) {
      const PhotoPiece& p = list_->cList[i];
      EXPECT_TRUE(std::isfinite(p.tx + p.ty + p.tw + p.th))
          << i << ": " << p.tx << ", " << p.ty << ", " << p.tw << ", " << p.th;
    }
    list_->preRender();
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), atlas);
    list_->postRender();
  }
  std::filesystem::current_path(before);
}

// Regular looks are the list's; free looks draw spin, size and cell. Spin is at least 720:
// exactly 720 stays, 719.9 is raised. A cell is 64 of the atlas's 512 x 64 pixels; cell 8,
// one past the last, lies just right of the strip, where repeat wrapping shows cell 0.
TEST_F(Scene, LooksOfAPass) {
  auto engine = makeEngine();
  list_->iFruitType = 3;
  list_->mixedFlag = true;
  PhotoPiece& piece = list_->cList[0];
  // Regular, the size bound, the spin bound, the draw for the cell; the spin and cell.
  for (auto [regular, maxSize, maxSpin, cellDraw, spin, cell] :
       {std::tuple{true, 0.125f, 500.0f, 0.0, 720.0f, 3},
        {false, 0.25f, 1440.0f, 0.875, 720.0f, 7},
        {false, 0.25f, 1439.8f, 1.0, 720.0f, 8}}) {
    list_->bRegularPolys = regular;
    list_->fMaxSize = maxSize;
    list_->fMaxSpinRate = maxSpin;
    if (regular) {
      scriptRand({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // flags, colours, height, depth
    } else {
      scriptRand({0, randFor(0.25), randFor(0.5), randFor(cellDraw)});
      scriptRand({0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    }
    piece.randomize();
    // Random draws left; spin, size and cell; the cell's corners in the atlas.
    EXPECT_EQ(std::tuple(scriptedRandLeft(), piece.fSpinRate, piece.fSize, piece.iFruitType),
              std::tuple(0, spin, 0.375f, cell))
        << maxSpin;
    EXPECT_EQ(std::tuple(piece.tx, piece.tx + piece.tw, piece.ty, piece.ty + piece.th),
              std::tuple(cell / 8.0f, (cell + 1) / 8.0f, 0.0f, 1.0f))
        << maxSpin;
  }
}

// One update at t = 100, piece 10 two and a quarter passes on, piece 20 exactly one: piece
// 10 wraps once, with one drift tick, which switches the mirrors and starts the morph at
// once. Every piece takes the new aperture by the next update; piece 10 was placed with the
// old one, read before its tick; piece 20 stands at the end of its pass.
TEST_F(Scene, AnUpdatesWrapTickAndMirrorChange) {
  auto engine = makeEngine();
  engine->gMirrorSystems[0].apertureLength = 2.0f;
  engine->gMirrorSystems[3].apertureLength = 1.5f;
  engine->setMirrorSystem(0, false);
  isMorphing = false;
  engine->m_fTime = 100.0f;
  for (int i = 0; i < 100; i++) {
    list_->cList[i].cycleStart = i == 10 ? 28.0f : i == 20 ? 68.0f : 84.0f;
  }
  list_->iCtr = list_->iMaxCtr = 0;
  // A segment of regular looks, preset 3, both parameters holding; piece 10's new looks.
  scriptRand({0, 0, 0, 0, randFor(0.0625), randFor(0.5), randFor(0.75), randFor(0.75)});
  scriptRand({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  list_->updateFrame();
  const PhotoPiece &wrapped = list_->cList[10], &ended = list_->cList[20];
  EXPECT_EQ(std::pair(scriptedRandLeft(), list_->iCtr), std::pair(0, 0));
  EXPECT_EQ(std::tuple(wrapped.cycle, wrapped.cycleStart, wrapped.vPos.x),
            std::tuple(0.25f, 92.0, -0.5f));
  EXPECT_EQ(std::pair(ended.cycle, ended.cycleStart), std::pair(1.0f, 68.0));
  EXPECT_EQ(engine->m_curMS, &engine->gMirrorSystems[3]);
  EXPECT_EQ(std::tuple(isMorphing, morphStart, morphEndAngle),
            std::tuple(true, 100.0f, engine->gMirrorSystems[3].fMirrorAngle));
  list_->updateFrame();
  for (int i = 0; i < 100; i++) {
    EXPECT_EQ(list_->cList[i].vPos.x, i == 10 ? -0.375f : i == 20 ? 3.0f : 0.75f) << i;
  }
}

// A segment's first tick moves nothing; a one-tick segment then lands on the targets. A
// target lies in the other half of the range (sizes from 0.1255 and spins above 1800 are the
// upper halves, here drawn at their middles), or a parameter holds still.
TEST_F(Scene, DriftSegments) {
  PhotoList list(nullptr, "", false, 0, 0, 0);
  const float middle = 0.249f / 2.0f + 0.001f;  // 0.1255 in single precision
  for (auto [size, spin, sizeMoves, sizeTarget, spinTarget] :
       {std::tuple{middle, 1800.0f, true, 0.06325f, 2700.0f},
        {std::nextafter(middle, 0.0f), std::nextafter(1800.0f, 4000.0f), true, 0.18775f, 900.0f},
        {0.001f, 0.0f, true, 0.18775f, 2700.0f},
        {0.25f, 3600.0f, true, 0.06325f, 900.0f},
        {0.2f, 300.0f, false, 0.2f, 2700.0f}}) {
    list.fMaxSize = size;
    list.fMaxSpinRate = spin;
    list.iCtr = list.iMaxCtr = 0;
    // Switches, a one-tick segment, no mirror change; size and spin move, or hold.
    scriptRand({0, 0, 0, 0, randFor(0.5), randFor(sizeMoves ? 0.25 : 0.5)});
    scriptRand(sizeMoves ? std::initializer_list<int>{randFor(0.5)} : std::initializer_list<int>{});
    scriptRand({randFor(0.25), randFor(0.5)});
    list.paramTick();
    EXPECT_EQ(
        std::tuple(scriptedRandLeft(), list.iCtr, list.iMaxCtr, list.fMaxSize, list.fMaxSpinRate),
        std::tuple(0, 0, 1, size, spin));
    list.paramTick();
    EXPECT_EQ(list.iCtr, 1);
    EXPECT_NEAR(list.fMaxSize, sizeTarget, 1e-6f) << size;
    EXPECT_FLOAT_EQ(list.fMaxSpinRate, spinTarget) << spin;
  }
}

// Guards the real scene on the committed atlas as the frames see it: the atlas of eight mask
// cells, the clear colour, the pieces spread over their passes, a mirrored frame symmetric and not
// black, and frames that allocate nothing once warmed up (passes ending, drift ticks, a mirror
// morph).
using Frames = Scene;

TEST_F(Frames, RealSceneDrawsSymmetricFramesWithoutAllocating) {
  glClearColor(1.0f, 0.5f, 0.25f, 0.0f);
  auto engine = makeEngine();
  const TextureImage& atlas = *list_->m_PhotoTexture;
  ASSERT_TRUE(list_->hasAtlas());
  EXPECT_EQ(std::tuple(atlas.bpp, atlas.width, atlas.height), std::tuple(8u, 512u, 64u));
  glBindTexture(GL_TEXTURE_2D, atlas.texID);
  const auto alpha = boundTexels(GL_ALPHA, 512 * 64);
  for (int cell = 0; cell < 8; cell++) {
    int opaque = 0;
    for (int i = 0; i < 64 * 64; i++) {
      opaque += alpha[i / 64 * 512 + cell * 64 + i % 64] > 250;
    }
    EXPECT_GT(opaque, 64 * 64 / 8) << "cell " << cell;  // a mask of some size
  }
  EXPECT_EQ(floats<4>(GL_COLOR_CLEAR_VALUE), (std::array<GLfloat, 4>{0.0f, 0.0f, 0.0f, 1.0f}));
  EXPECT_EQ(std::pair(list_->cList[0].cycle, list_->cList[99].cycle), std::pair(0.0f, 1.0f));
  for (int i = 1; i < 100; i++) {
    EXPECT_GT(list_->cList[i].cycle, list_->cList[i - 1].cycle);
  }
  auto frames = [&](int count) {
    for (int i = 0; i < count; i++) {
      clock_.advance(0.25);
      UpdateTimer();
      engine->display(0x10001);
    }
  };
  frames(40);
  // Once more at the same time, mirrors on and no morph: the first mirror runs down the middle.
  isMorphing = false;
  engine->display(0x10001);
  Frame frame = readFrame();
  EXPECT_GT(frame.litShare(), 0.1);
  EXPECT_LT(mirrorMismatch(frame, 24), 0.005);

  const float warmedUp = engine->m_fTime;
  engine->setMirrorSystem(engine->m_curMS == &engine->gMirrorSystems[2] ? 4 : 2, true);
  {
    AllocationCounter allocations;
    frames(300);
    EXPECT_EQ(allocations.count(), 0);  // the view's out-of-memory test proves the counter sees
  }
  // The frames did the work that could allocate: every piece ended passes, each with a tick.
  EXPECT_GT(list_->cList[0].cycleStart, warmedUp);
  EXPECT_GT(list_->cList[99].cycleStart, warmedUp);
  EXPECT_FALSE(isMorphing);
}

// Squares the mirror planes cut away in every copy are left out of the recorded list, and the
// frame is the same to the byte as one recorded with every square (mirrors off while recording
// turns the leaving out off; the replay is the same). Over two scenes some squares are left out.
TEST_F(Frames, SquaresCutAwayByTheMirrorsAreLeftOutWithTheSameBytes) {
  long leftOut = 0;
  for (int scene = 0; scene < 2; scene++) {  // seeded from the clock: two different scenes
    auto engine = makeEngine();
    for (int frame = 0; frame < 60; frame++) {
      clock_.advance(1.0 / 3.0);
      engine->display(0x10001);
      if (isMorphing) {
        continue;  // the frame's system is the engine's own scratch copy
      }
      for (int i = 0; i < 100; i++) {
        leftOut += list_->cList[i].isClippedAway(*engine->m_curMS);
      }
      const Frame lean = readFrame();
      engine->b_UseMirrors = false;
      engine->RecordSystem(engine->m_curMS);
      engine->b_UseMirrors = true;
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      engine->RenderSystem(engine->m_curMS);
      ASSERT_EQ(differingBytes(readFrame(), lean), 0) << "scene " << scene << ", frame " << frame;
    }
  }
  EXPECT_GT(leftOut, 0);
}

// Guards long runs: a saver runs for days and months. From a simulated day in, over a simulated
// run (one hour in `make test`, a day in `make soak`, shorter under the sanitizers, as
// VANTOR_SOAK_SECONDS says) at 30 frames a second every piece stays finite and on its path, and
// the mirrors keep changing; and at day 30 the animation still steps a thirtieth of a second per
// frame and the pieces glide evenly.
using Soak = Scene;

// Whether a piece is finite, within its pass and with its looks in range; if not, which value
// is out.
::testing::AssertionResult inRange(const PhotoPiece& piece) {
  const double values[] = {piece.vPos.x, piece.vPos.y, piece.vPos.z, piece.cycle, piece.cycleStart,
                           piece.fSize,  piece.roll,   piece.tx,     piece.ty,    piece.tw,
                           piece.th,     piece.rC,     piece.gC,     piece.bC,    piece.aC,
                           piece.rCD,    piece.gCD,    piece.bCD,    piece.aCD};
  for (size_t i = 0; i < std::size(values); i++) {
    if (!std::isfinite(values[i])) {
      return ::testing::AssertionFailure() << "value " << i << " is " << values[i];
    }
  }
  const struct {
    const char* name;
    double value, low, high;
  } ranges[] = {{"cycle", piece.cycle, 0.0, 1.0},
                {"spin", piece.fSpinRate, 720.0, INFINITY},
                {"size", piece.fSize, 0.25, INFINITY},
                {"alpha", piece.aC, 0.5, 1.0}};
  for (const auto& range : ranges) {
    if (range.value < range.low || range.value > range.high) {
      return ::testing::AssertionFailure() << range.name << " is " << range.value;
    }
  }
  return ::testing::AssertionSuccess();
}

TEST_F(Soak, PiecesStayFiniteAndTheMirrorsKeepChanging) {
  auto engine = makeEngine();
  clock_.advance(86400.0);
  const char* seconds = std::getenv("VANTOR_SOAK_SECONDS");
  const long frames = (seconds != nullptr ? std::atol(seconds) : 3600) * 30;
  long morphs = 0, lastMorphFrame = 0, longestWithoutMorph = 0;
  bool wasMorphing = isMorphing;
  for (long frame = 1; frame <= frames; frame++) {
    clock_.advance(1.0 / 30.0);
    // Drawing is what takes the time, and what is checked here moves without it: one frame in
    // ten seconds is drawn, the rest advance exactly as drawing would, morphs and all.
    if (frame % 300 == 0) {
      engine->display(0x10001);
    } else {
      engine->skipFrame();
    }
    if (!std::exchange(wasMorphing, isMorphing) && isMorphing) {
      morphs++;
      longestWithoutMorph =
          std::max(longestWithoutMorph, frame - std::exchange(lastMorphFrame, frame));
    }
    for (int i = 0; i < 100; i++) {
      ASSERT_TRUE(inRange(list_->cList[i])) << "piece " << i << " after " << frame / 30.0 << " s";
    }
    ASSERT_EQ(std::clamp(list_->fMaxSize, 0.001f, 0.25f), list_->fMaxSize);
    ASSERT_EQ(std::clamp(list_->fMaxSpinRate, 0.0f, 3600.0f), list_->fMaxSpinRate);
  }
  // The drift asks for a new arrangement about once in ten segments of a few seconds each.
  const double minutes = frames / 30.0 / 60.0;
  EXPECT_GE(morphs, static_cast<long>(minutes / 10.0)) << "over " << minutes << " minutes";
  if (minutes >= 60.0) {
    EXPECT_LT(longestWithoutMorph / 30.0, 30.0 * 60.0) << "half an hour without a morph";
  }
  EXPECT_GT(readFrame().litShare(), 0.0);
}

// At one minute and at thirty days: every frame's engine time is a thirtieth of a second on,
// and a piece moves the same distance each frame (while it stays in its pass and the mirrors
// keep their aperture).
TEST_F(Soak, MotionAtDayThirtyIsAsSmoothAsInTheFirstMinute) {
  auto engine = makeEngine();
  for (double at : {60.0, 30 * 86400.0}) {
    clock_.advance(at - engine->m_fTime);
    engine->skipFrame();
    const PhotoPiece& piece = list_->cList[0];
    double lastTime = engine->m_fTime;
    float lastX = piece.vPos.x, lastCycle = piece.cycle, firstStep = 0.0f;
    const MirrorSystem* lastMirrors = nullptr;
    for (int frame = 1; frame <= 90; frame++) {
      // A piece is placed with the aperture the mirrors had when its frame began.
      const bool sameMirrors = std::exchange(lastMirrors, engine->m_curMS) == engine->m_curMS;
      clock_.advance(1.0 / 30.0);
      engine->skipFrame();
      EXPECT_NEAR(engine->m_fTime - std::exchange(lastTime, engine->m_fTime), 1.0 / 30.0, 1e-6)
          << "at " << at << " s";
      const float step = piece.vPos.x - std::exchange(lastX, piece.vPos.x);
      if (piece.cycle > std::exchange(lastCycle, piece.cycle) && sameMirrors) {
        firstStep = firstStep == 0.0f ? step : firstStep;
        EXPECT_NEAR(step, firstStep, 1e-5f) << "at " << at << " s, frame " << frame;
      } else {
        firstStep = 0.0f;  // a new pass or a new aperture: a new pace
      }
    }
    EXPECT_NE(firstStep, 0.0f) << "the piece moved at " << at << " s";
  }
}

}  // namespace
