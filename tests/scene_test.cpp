// Guards the scene: the photo list's life (factory arguments, starting parameters, atlas,
// pieces, release), the pieces' looks, passes and drawing, and the parameter drift, whose
// random draws are scripted because their order decides how a seed looks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <GL/glu.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/Scope.h"
#include "image/LoadJPEGMask.h"
#include "objects/Glimmets.h"
#include "support/FakeClock.h"
#include "support/GlTest.h"
#include "support/ScriptedRand.h"
#include "support/TestFiles.h"

namespace {

// The rand() value for which rnd() returns exactly `fraction` (a multiple of 2^-31 below 1).
int RandFor(double fraction) { return static_cast<int>(fraction * 2147483648.0); }
constexpr int kRandMax = 2147483647;  // rnd() gives exactly 1.0

constexpr float kSizeMiddle = 0.249f / 2.0f + 0.001f;  // 0.1255 in single precision

class Scene : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    ClearScriptedRand();
  }
  void TearDown() override { ClearScriptedRand(); }

  // An engine on the committed atlas (or on `folder`), and its list.
  std::unique_ptr<ScopeApp> makeEngine(const char* folder) {
    std::unique_ptr<ScopeApp> engine(new ScopeApp(kWidth, kHeight, 0, folder));
    list_ = static_cast<PhotoList*>(engine->itsObjects);
    return engine;
  }
  std::unique_ptr<ScopeApp> makeEngine() { return makeEngine(ResourcesFolder().c_str()); }

  FakeClock clock_;
  PhotoList* list_ = nullptr;
};

// ---- the list ----

TEST(List, FactoryBuildsTheListWithItsArgumentsAndRandomStart) {
  ScopeApp* parent = reinterpret_cast<ScopeApp*>(0x1000);
  std::unique_ptr<ObjectCell> cell(getObjectCell(0, parent));
  PhotoList* list = dynamic_cast<PhotoList*>(cell.get());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->m_parent, parent);
  EXPECT_STREQ(list->folder, "Photos\\");
  EXPECT_FALSE(list->mixedFlag);
  EXPECT_EQ(list->bgColor.z, 0.8f);
  EXPECT_EQ(gList, list);
  EXPECT_TRUE(list->wantsClipping() && list->wantsReflections());
  EXPECT_FALSE(list->wantsTrails() || list->wantsRadialBlur());

  // Deleting through the interface runs the list's destructor, which lets go of gList.
  cell.reset();
  EXPECT_EQ(gList, nullptr);

  // The starting parameters at both ends of rnd().
  ScriptRand({0, 0, 0});
  PhotoList low(nullptr, nullptr, false, 0, 0, 0);
  EXPECT_EQ(low.fMaxSize, 0.001f);
  EXPECT_EQ(low.fMaxSpinRate, 0.0f);
  EXPECT_TRUE(low.bRegularPolys);
  EXPECT_STREQ(low.folder, "");
  ScriptRand({kRandMax, kRandMax, kRandMax});
  PhotoList high(nullptr, nullptr, false, 0, 0, 0);
  EXPECT_FLOAT_EQ(high.fMaxSize, 0.25f);
  EXPECT_EQ(high.fMaxSpinRate, 3600.0f);
  EXPECT_FALSE(high.bRegularPolys);

  // A folder name too long for its field is cut, not overrun.
  std::string longName(100, 'p');
  PhotoList cut(nullptr, longName.c_str(), false, 0, 0, 0);
  EXPECT_EQ(std::string(cut.folder), longName.substr(0, 63));
}

TEST_F(Scene, InitLoadsTheAtlasSpreadsThePiecesAndClearsToBlack) {
  glClearColor(1.0f, 0.5f, 0.25f, 0.0f);
  auto engine = makeEngine();
  EXPECT_TRUE(list_->hasAtlas());
  EXPECT_EQ(list_->m_PhotoTexture->width, 512u);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));

  std::vector<GLfloat> clear(4);
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear.data());
  EXPECT_EQ(clear, std::vector<GLfloat>({0.0f, 0.0f, 0.0f, 1.0f}));

  EXPECT_EQ(list_->cList[0].cycle, 0.0f);
  EXPECT_EQ(list_->cList[99].cycle, 1.0f);
  for (int i = 1; i < 100; i++) {
    EXPECT_GT(list_->cList[i].cycle, list_->cList[i - 1].cycle);
    // The factory's mixing is off, so every piece starts on the list's cell.
    EXPECT_EQ(list_->cList[i].iFruitType, list_->iFruitType) << i;
  }
  EXPECT_FALSE(list_->mixedFlag);
  engine->display(0x10001);
  EXPECT_TRUE(list_->mixedFlag);  // from the first frame on, free pieces mix cells
}

TEST_F(Scene, DestructionReleasesTheAtlasAndLetsGoOfGList) {
  ScopeApp* engine = new ScopeApp(kWidth, kHeight, 0, ResourcesFolder().c_str());
  PhotoList* list = static_cast<PhotoList*>(engine->itsObjects);
  GLuint atlas = list->m_PhotoTexture->texID;
  ASSERT_TRUE(glIsTexture(atlas));
  engine->display(0x10001);
  delete engine;  // the pieces and the record go too; the sanitizer build checks for leaks
  EXPECT_FALSE(glIsTexture(atlas));
  EXPECT_EQ(gList, nullptr);

  // An older list going away leaves the newest one in gList.
  auto older = std::make_unique<PhotoList>(nullptr, "", false, 0, 0, 0);
  PhotoList newer(nullptr, "", false, 0, 0, 0);
  older.reset();
  EXPECT_EQ(gList, &newer);
}

// No atlas: the host found no resources (null), or the folder has none. Either way the
// pieces are the same as with the atlas, drawn untextured, and nothing is printed.
TEST_F(Scene, WithoutTheAtlasPiecesAreDrawnUntextured) {
  std::string empty = MakeScratchFolder();
  for (const char* folder : {static_cast<const char*>(nullptr), empty.c_str()}) {
    clock_.set(5000, 0);  // the same seed for both engines
    auto withAtlas = makeEngine();
    std::vector<PhotoPiece> textured(list_->cList, list_->cList + 100);
    withAtlas.reset();

    testing::internal::CaptureStderr();
    auto engine = makeEngine(folder);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(list_->hasAtlas());
    EXPECT_EQ(list_->m_PhotoTexture->texID, 0u);
    for (int i = 0; i < 100; i++) {
      const PhotoPiece& piece = list_->cList[i];
      EXPECT_EQ(piece.fSize, textured[i].fSize) << i;
      EXPECT_EQ(piece.rC2, textured[i].rC2) << i;
      EXPECT_EQ(piece.vPos.z, textured[i].vPos.z) << i;
      for (float coordinate : {piece.tx, piece.ty, piece.tw, piece.th}) {
        EXPECT_TRUE(std::isfinite(coordinate)) << i;
      }
    }
    list_->preRender();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    list_->postRender();
    clock_.advance(1.0);
    engine->display(0x10001);
    EXPECT_FALSE(readFrame().isBlack());
  }
  RemoveFolder(empty);
}

// Resource folders and working directories longer than any fixed buffer.
TEST_F(Scene, AnyFolderLengthFindsTheAtlas) {
  std::string root = MakeScratchFolder();
  std::string deep = root;
  for (int i = 0; i < 8; i++) {
    deep += "/" + std::string(200, static_cast<char>('a' + i));
  }
  std::filesystem::create_directories(deep);
  std::filesystem::copy_file(ResourcesFolder() + "/DiscMasks.jpg", deep + "/DiscMasks.jpg");
  ASSERT_GT(deep.size(), 1600u);

  char* before = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(deep.c_str()), 0);
  for (const std::string& folder : {deep, std::string(".")}) {
    auto engine = makeEngine(folder.c_str());
    EXPECT_TRUE(list_->hasAtlas()) << folder;
  }
  ASSERT_EQ(chdir(before), 0);
  free(before);
  RemoveFolder(root);
}

// ---- the pieces ----

TEST_F(Scene, RegularLooksAreTheListsAndSpinAtLeastTwoTurns) {
  auto engine = makeEngine();
  list_->bRegularPolys = true;
  list_->fMaxSize = 0.125f;
  list_->fMaxSpinRate = 500.0f;
  list_->iFruitType = 3;
  engine->m_fTime = 100.0f;
  PhotoPiece& piece = list_->cList[7];
  piece.cycle = 0.25f;

  ScriptRand({RandFor(0.0),                                                    // flags
              RandFor(0.5), RandFor(0.25), RandFor(0.75), RandFor(0.0),        // first colour
              RandFor(0.125), RandFor(0.375), RandFor(0.625), RandFor(0.875),  // second colour
              RandFor(0.5), RandFor(0.25)});                                   // height, depth
  piece.randomize();
  EXPECT_EQ(ScriptedRandLeft(), 0);
  EXPECT_EQ(piece.cycleStart, 92.0f);
  EXPECT_EQ(piece.flags, 1);
  EXPECT_EQ(piece.fSpinRate, 720.0f);
  EXPECT_EQ(piece.fSize, 0.375f);
  EXPECT_EQ(piece.iFruitType, 3);
  // Cell 3 of the 512 x 64 atlas.
  EXPECT_EQ(piece.tx, 0.375f);
  EXPECT_EQ(piece.tx + piece.tw, 0.5f);
  EXPECT_EQ(piece.ty, 0.0f);
  EXPECT_EQ(piece.ty + piece.th, 1.0f);
  EXPECT_EQ(piece.bC, 0.75f);
  EXPECT_EQ(piece.aC, 0.5f);
  EXPECT_EQ(piece.aC2, 0.9375f);
  EXPECT_EQ(piece.rCD, -0.375f);
  EXPECT_EQ(piece.vPos.y, -1.2f);
  EXPECT_EQ(piece.vPos.z, 0.5f);
}

TEST_F(Scene, FreeLooksDrawSpinSizeAndCell) {
  auto engine = makeEngine();
  list_->bRegularPolys = false;
  list_->fMaxSize = 0.25f;
  list_->iFruitType = 2;
  PhotoPiece& piece = list_->cList[0];
  const std::vector<int> rest(10, RandFor(0.5));  // colours, height, depth

  struct Case {
    float maxSpin;
    double spinDraw;
    bool mixed;
    int cellDraw;
    float spin;
    int cell;
  };
  for (const Case& c : {
           Case{1440.0f, 0.25, true, RandFor(0.875), 720.0f, 7},  // exactly 720 stays
           Case{1439.8f, 0.25, true, kRandMax, 720.0f, 8},        // 719.9 becomes 720
           Case{1800.0f, 0.75, false, -1, 2700.0f, 2},            // not mixed: the list's cell
       }) {
    list_->fMaxSpinRate = c.maxSpin;
    list_->mixedFlag = c.mixed;
    ScriptRand({RandFor(0.5), RandFor(c.spinDraw), RandFor(0.5)});
    if (c.mixed) {
      ScriptRand({c.cellDraw});
    }
    for (int value : rest) {
      ScriptRand({value});
    }
    piece.randomize();
    EXPECT_EQ(ScriptedRandLeft(), 0) << c.maxSpin;
    EXPECT_EQ(piece.fSpinRate, c.spin) << c.maxSpin;
    EXPECT_EQ(piece.fSize, 0.375f) << c.maxSpin;
    EXPECT_EQ(piece.iFruitType, c.cell) << c.maxSpin;
    // Cell 8, one past the last, lies just right of the strip: repeat wrapping shows cell 0.
    EXPECT_EQ(piece.tx, 0.125f * static_cast<float>(c.cell)) << c.maxSpin;
    EXPECT_EQ(piece.tx + piece.tw, 0.125f * static_cast<float>(c.cell + 1)) << c.maxSpin;
  }
}

TEST_F(Scene, PassesWrapOnlyPastTheirEndAndOnlyOnce) {
  auto engine = makeEngine();
  engine->gMirrorSystems[0].apertureLength = 2.5f;
  engine->setMirrorSystem(0, false);
  list_->bRegularPolys = true;
  list_->iCtr = 0;
  list_->iMaxCtr = 50;  // a tick inside a segment draws nothing
  PhotoPiece& piece = list_->cList[4];
  engine->m_fTime = 96.0f;

  // Exactly one pass: no wrap; the piece stands at the far end, fully turned.
  piece.cycleStart = 64.0f;
  piece.update();
  EXPECT_EQ(piece.cycle, 1.0f);
  EXPECT_EQ(piece.cycleStart, 64.0f);
  EXPECT_EQ(piece.vPos.x, 5.0f);
  EXPECT_EQ(piece.roll, piece.fSpinRate);
  EXPECT_EQ(list_->iCtr, 0);

  // Two and a half passes: one wrap, one tick, one new look, half a pass on.
  piece.cycleStart = 16.0f;
  ScriptRand({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, RandFor(0.75)});
  piece.update();
  EXPECT_EQ(ScriptedRandLeft(), 0);
  EXPECT_EQ(list_->iCtr, 1);
  EXPECT_EQ(piece.cycle, 0.5f);
  EXPECT_EQ(piece.cycleStart, 80.0f);
  EXPECT_EQ(piece.vPos.z, 1.5f);
  EXPECT_EQ(piece.vPos.x, 1.25f);
  EXPECT_EQ(piece.roll, piece.fSpinRate * 0.5f);
}

// Pieces read the current mirror system's aperture at every update, so a switch moves
// them all at once; the piece whose wrap made the switch still used the old aperture.
TEST_F(Scene, MirrorChangeMovesThePiecesAtTheirNextUpdate) {
  auto engine = makeEngine();
  engine->gMirrorSystems[0].apertureLength = 2.0f;
  engine->gMirrorSystems[3].apertureLength = 1.5f;
  engine->setMirrorSystem(0, false);
  engine->m_fTime = 100.0f;
  for (int i = 0; i < 100; i++) {
    list_->cList[i].cycleStart = 100.0f - 16.0f;  // half way
  }
  list_->cList[10].cycleStart = 100.0f - 40.0f;  // a pass and a quarter: wraps
  list_->iCtr = 0;
  list_->iMaxCtr = 0;  // so its tick begins a segment

  ScriptRand({RandFor(0.5), RandFor(0.5), RandFor(0.0),
              RandFor(0.0),                       // blur, length, regular, cell
              RandFor(0.0625), RandFor(0.5),      // switch to preset 3
              RandFor(0.75), RandFor(0.75),       // size and spin hold
              0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // the piece's new looks
  list_->updateFrame();
  EXPECT_EQ(ScriptedRandLeft(), 0);
  EXPECT_EQ(engine->m_curMS, &engine->gMirrorSystems[3]);
  for (int i = 0; i < 10; i++) {
    EXPECT_EQ(list_->cList[i].vPos.x, 1.0f) << i;  // half way across the old aperture
  }
  EXPECT_EQ(list_->cList[10].cycle, 0.25f);
  EXPECT_EQ(list_->cList[10].vPos.x, -0.5f);  // with the old aperture, read before its tick
  for (int i = 11; i < 100; i++) {
    EXPECT_EQ(list_->cList[i].vPos.x, 0.75f) << i;
  }

  engine->setMirrorSystem(0, false);
  list_->updateFrame();
  for (int i = 0; i < 100; i++) {
    if (i != 10) {
      EXPECT_EQ(list_->cList[i].vPos.x, 1.0f) << i;
    }
  }
}

// One piece drawn alone, large, at the centre: the mask cell shows upright (the drop's point
// at the top) and the tint is the second colour at the start of the pass, the first a twelfth
// of a pass later.
TEST_F(Scene, PieceIsTheMaskUprightTintedByThePulse) {
  auto engine = makeEngine();
  PhotoPiece piece = list_->cList[0];
  piece.vPos = KS_VECTOR3(0.0f, 0.0f, 0.0f);
  piece.roll = 0.0f;
  piece.fSize = 3.0f;
  const float cellWidth = 64.0f / 512.0f;
  piece.tx = 4 * cellWidth;  // the drop
  piece.ty = 0.0f;
  piece.tw = cellWidth;
  piece.th = 1.0f;
  piece.rC = 1.0f, piece.gC = 0.0f, piece.bC = 0.0f, piece.aC = 1.0f;
  piece.rC2 = 0.0f, piece.gC2 = 0.0f, piece.bC2 = 1.0f, piece.aC2 = 1.0f;
  piece.rCD = -1.0f, piece.gCD = 0.0f, piece.bCD = 1.0f, piece.aCD = 0.0f;

  // Wedge units to pixels: the camera sees 11 units across 256 pixels.
  auto pixelAt = [](const Frame& frame, float x, float y) {
    const float scale = kWidth / 11.0f;
    return frame.at(static_cast<int>(kWidth / 2 + x * scale),
                    static_cast<int>(kHeight / 2 - y * scale));
  };
  for (float cycle : {0.0f, 1.0f / 12.0f}) {
    piece.cycle = cycle;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(0.0, 0.0, 5.5, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    list_->preRender();
    piece.draw();
    list_->postRender();
    Frame frame = readFrame();

    const bool blue = cycle == 0.0f;
    const std::uint8_t* body = pixelAt(frame, 0.0f, -0.85f);
    EXPECT_GE(body[blue ? 2 : 0], 240) << cycle;
    EXPECT_LE(body[blue ? 0 : 2], 15) << cycle;
    // The round body is below the centre, the narrow point above it.
    const std::uint8_t* side = pixelAt(frame, 1.2f, -1.5f);
    const std::uint8_t* mirrored = pixelAt(frame, 1.2f, 1.5f);
    EXPECT_GE(side[blue ? 2 : 0], 200) << cycle;
    EXPECT_LE(mirrored[0] + mirrored[1] + mirrored[2], 20) << "the drop is upside down";
    const std::uint8_t* corner = pixelAt(frame, 2.6f, 2.6f);
    EXPECT_LE(corner[0] + corner[1] + corner[2], 3) << "outside the mask";
  }
  GLint matrixDepth = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &matrixDepth);
  EXPECT_EQ(matrixDepth, 1);
}

// ---- the drift ----

class Drift : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearScriptedRand();
    list_.reset(new PhotoList(nullptr, "", false, 0, 0, 0));
  }
  void TearDown() override { ClearScriptedRand(); }

  // The draws of a segment's first tick, without a mirror change. `length` is the RandomI(100)
  // draw; a parameter moves when its flag is set, to the target drawn from `sizeDraw` or
  // `spinDraw`.
  void scriptSegment(double length, bool sizeMoves, double sizeDraw, bool spinMoves,
                     double spinDraw) {
    ScriptRand({RandFor(0.0), RandFor(length), RandFor(0.75), RandFor(0.375), RandFor(0.5)});
    ScriptRand({RandFor(sizeMoves ? 0.25 : 0.5)});
    if (sizeMoves) {
      ScriptRand({RandFor(sizeDraw)});
    }
    ScriptRand({RandFor(spinMoves ? 0.25 : 0.5)});
    if (spinMoves) {
      ScriptRand({RandFor(spinDraw)});
    }
  }

  std::unique_ptr<PhotoList> list_;
};

TEST_F(Drift, FirstTickBeginsASegmentAndTwoTicksReachTheTargets) {
  list_->fMaxSize = 0.05f;
  list_->fMaxSpinRate = 1000.0f;
  list_->fSrcParam[0] = list_->fSrcParam[1] = NAN;  // never read before the first tick sets them
  list_->fDstParam[0] = list_->fDstParam[1] = NAN;
  bUseBlur = false;

  scriptSegment(0.0, true, 0.5, true, 0.5);
  list_->paramTick();
  EXPECT_EQ(ScriptedRandLeft(), 0);
  EXPECT_EQ(list_->iCtr, 0);
  EXPECT_EQ(list_->iMaxCtr, 1);
  EXPECT_TRUE(bUseBlur);
  EXPECT_FALSE(list_->bRegularPolys);
  EXPECT_EQ(list_->iFruitType, 3);
  EXPECT_EQ(list_->fMaxSize, 0.05f);  // nothing moves on a segment's first tick
  EXPECT_EQ(list_->fMaxSpinRate, 1000.0f);

  list_->paramTick();  // the last tick of the segment: on the targets, in the upper halves
  EXPECT_EQ(list_->iCtr, 1);
  EXPECT_NEAR(list_->fMaxSize, 0.18775f, 1e-6f);
  EXPECT_FLOAT_EQ(list_->fMaxSpinRate, 2700.0f);

  scriptSegment(0.984375, false, 0, false, 0);
  list_->paramTick();  // the third tick begins the next segment
  EXPECT_EQ(ScriptedRandLeft(), 0);
  EXPECT_EQ(list_->iCtr, 0);
  EXPECT_EQ(list_->iMaxCtr, 99);
}

TEST_F(Drift, TargetsLieInTheOtherHalfWithTheMiddlesInTheirUpperHalves) {
  struct Case {
    float size;
    float spin;
    bool sizeGoesUp;
    bool spinGoesUp;
  };
  for (const Case& c : {
           Case{kSizeMiddle, 1800.0f, false, true},  // neither middle is below or above
           Case{std::nextafter(kSizeMiddle, 0.0f), std::nextafter(1800.0f, 4000.0f), true, false},
           Case{0.001f, 0.0f, true, true},
           Case{0.25f, 3600.0f, false, false},
       }) {
    list_->fMaxSize = c.size;
    list_->fMaxSpinRate = c.spin;
    list_->iCtr = list_->iMaxCtr = 0;
    scriptSegment(0.0, true, 0.999, true, 0.999);
    list_->paramTick();
    list_->paramTick();
    EXPECT_EQ(list_->fMaxSize >= kSizeMiddle, c.sizeGoesUp) << c.size << " -> " << list_->fMaxSize;
    EXPECT_EQ(list_->fMaxSpinRate >= 1800.0f, c.spinGoesUp)
        << c.spin << " -> " << list_->fMaxSpinRate;
    EXPECT_GE(list_->fMaxSize, 0.001f);
    EXPECT_LE(list_->fMaxSize, 0.25f);
    EXPECT_LT(list_->fMaxSpinRate, 3600.0f);
  }
}

TEST_F(Drift, AParameterThatHoldsStaysPutWhileTheOtherGlides) {
  list_->fMaxSize = 0.2f;
  list_->fMaxSpinRate = 300.0f;
  scriptSegment(0.046875, false, 0, true, 0.5);  // five ticks after the first
  list_->paramTick();
  ASSERT_EQ(list_->iMaxCtr, 5);
  float spin = list_->fMaxSpinRate;
  for (int tick = 1; tick <= 5; tick++) {
    list_->paramTick();
    EXPECT_EQ(list_->fMaxSize, 0.2f) << tick;
    EXPECT_GT(list_->fMaxSpinRate, spin) << tick;
    spin = list_->fMaxSpinRate;
  }
  EXPECT_FLOAT_EQ(spin, 2700.0f);
}

// The drift asks the engine for another mirror system at once, which starts the morph.
TEST_F(Scene, DriftMirrorChangeStartsTheMorphAtOnce) {
  auto engine = makeEngine();
  engine->setMirrorSystem(0, false);
  isMorphing = false;
  engine->m_fTime = 50.0f;
  list_->iCtr = list_->iMaxCtr = 0;
  ScriptRand({RandFor(0.5), RandFor(0.5), RandFor(0.5), RandFor(0.5), RandFor(0.0625), RandFor(0.5),
              RandFor(0.75), RandFor(0.75)});
  list_->paramTick();
  EXPECT_EQ(ScriptedRandLeft(), 0);
  EXPECT_EQ(engine->m_curMS, &engine->gMirrorSystems[3]);
  EXPECT_TRUE(isMorphing);
  EXPECT_EQ(morphStart, 50.0f);
  EXPECT_EQ(morphEndAngle, engine->gMirrorSystems[3].fMirrorAngle);
}

// ---- the atlas ----

TEST_F(Scene, CommittedAtlasIsEightMaskCells) {
  TextureImage atlas = {};
  ASSERT_TRUE(LoadJPEGTexture(&atlas, (ResourcesFolder() + "/DiscMasks.jpg").c_str(), GL_ALPHA));
  EXPECT_EQ(atlas.bpp, 8u);  // one component: an alpha texture
  EXPECT_EQ(atlas.width, 512u);
  EXPECT_EQ(atlas.height, 64u);

  std::vector<std::uint8_t> alpha(512 * 64);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  for (int cell = 0; cell < 8; cell++) {
    int opaque = 0, edge = 0;
    for (int y = 0; y < 64; y++) {
      for (int x = 0; x < 64; x++) {
        std::uint8_t value = alpha[y * 512 + cell * 64 + x];
        opaque += value > 250 ? 1 : 0;
        if (x == 0 || y == 0 || x == 63 || y == 63) {
          edge = std::max<int>(edge, value);
        }
      }
    }
    // A shape of some size, clear of the cell's border so filtering never bleeds over.
    EXPECT_GT(opaque, 64 * 64 / 8) << "cell " << cell;
    EXPECT_LE(edge, 8) << "cell " << cell;
  }
  glDeleteTextures(1, &atlas.texID);
}

}  // namespace
