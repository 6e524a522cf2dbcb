#include "objects/Glimmets.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "engine/Scope.h"
#include "util/KaleidoUtils.h"

PhotoList* gList = nullptr;
bool bUseBlur = false;

namespace {

constexpr int kPieces = 100;
constexpr float kPassSeconds = 32.0f;
constexpr int kCellPixels = 64;
// Model units (the mirrors are 4 long): a square closer than this to a mirror plane is drawn,
// far more than OpenGL's rounding, so leaving one out never changes a pixel.
constexpr double kClipMargin = 1e-3;
// A photo piece's brightness pulses from this up to 1.
constexpr float kLeastPhotoBrightness = 0.7f;
constexpr float kPhotoPulse = 1.0f - kLeastPhotoBrightness;

// The drift's halves: sizes below kSizeMiddle are the lower half, spins up to kSpinMiddle.
constexpr float kSizeSpan = 0.249f;
constexpr float kSizeMiddle = kSizeSpan / 2.0f + 0.001f;
constexpr float kSpinSpan = 3600.0f;
constexpr float kSpinMiddle = 1800.0f;

}  // namespace

// ---- PhotoPiece ----

void PhotoPiece::init(float r) {
  cycle = r;
  randomize();
}

void PhotoPiece::randomize() {
  const PhotoList* list = gList;
  cycleStart = list->m_parent->m_fTime - cycle * kPassSeconds;
  flags = RandomI(4) == 0 ? 1 : 0;

  if (list->bRegularPolys) {
    fSpinRate = list->fMaxSpinRate;
    fSize = list->fMaxSize + 0.25f;
    iFruitType = list->iFruitType;
  } else {
    fSpinRate = 2.0f * (rnd() * list->fMaxSpinRate);
    fSize = rnd() * list->fMaxSize + 0.25f;
    iFruitType = list->mixedFlag ? RandomI(list->nbrFruit) : list->iFruitType;
  }
  if (fSpinRate <= 720.0f) {
    fSpinRate = 720.0f;
  }

  if (list->hasAtlas()) {
    const float atlasWidth = static_cast<float>(list->m_PhotoTexture->width);
    const float atlasHeight = static_cast<float>(list->m_PhotoTexture->height);
    tx = static_cast<float>(iFruitType * kCellPixels) / atlasWidth;
    ty = 0.0f;
    tw = static_cast<float>(kCellPixels) / atlasWidth;
    th = static_cast<float>(kCellPixels) / atlasHeight;
  } else {
    // No atlas: the square is drawn untextured, and its coordinates must still be numbers.
    tx = 0.0f;
    ty = 0.0f;
    tw = 1.0f;
    th = 1.0f;
  }

  rC = rnd();
  gC = rnd();
  bC = rnd();
  aC = rnd() * 0.5f + 0.5f;
  rC2 = rnd();
  gC2 = rnd();
  bC2 = rnd();
  aC2 = rnd() * 0.5f + 0.5f;
  rCD = rC2 - rC;
  gCD = gC2 - gC;
  bCD = bC2 - bC;
  aCD = aC2 - aC;

  vPos.y = (-rnd() * 4.0f) * 0.6f;
  vPos.z = 2.0f * rnd();
  crop = gList->photoSlots.pickCrop();
}

void PhotoPiece::update() {
  ScopeApp* engine = gList->m_parent;
  // Read before a tick may switch the mirrors: this piece is placed with the old aperture.
  const float aperture = engine->m_curMS->apertureLength;
  cycle = static_cast<float>(engine->m_fTime - cycleStart) / kPassSeconds;
  if (cycle > 1.0f) {
    // The fraction carries over, so a piece loses no time at the wrap, however long the gap.
    cycle = cycle - std::trunc(cycle);
    gList->paramTick();
    randomize();
  }
  vPos.x = aperture * 3.0f * cycle - aperture;
  roll = fSpinRate * cycle;
  // A mask spinning fast flashes: at a higher speed than 1, it spins no faster than at 1.
  // A photo's sharp edges sliding fast flash too: it slides through its piece so that on
  // screen it moves no faster than at speed 1.
  photoLag = 0.0f;
  if (engine->speed > 1.0) {
    roll = static_cast<float>(roll / engine->speed);
    photoLag = static_cast<float>((vPos.x + aperture) * (1.0 - 1.0 / engine->speed));
  }
}

void PhotoPiece::draw() {
  glPushMatrix();
  glTranslatef(vPos.x, vPos.y, vPos.z);
  glRotatef(-roll, 0.0f, 0.0f, 1.0f);
  glScalef(fSize, fSize, fSize);
  // Six pulses a pass; 3.1415 rather than pi, so the peaks drift slightly from pass to pass.
  const float pulse = static_cast<float>((std::cos(2.0 * (cycle * 3.1415 * 6.0)) + 1.0) / 2.0);
  const PhotoList* list = gList;
  if (list->m_parent->photos != nullptr && list->photoSlots.shows(crop)) {
    // A photo's bright parts make nearly every crossing of a fast piece a flash where a tint
    // may be too dark to count: above speed 1 photos are drawn a little darker (0.71 at 4).
    const double speed = list->m_parent->speed;
    const float photoDimming = speed > 1.0 ? static_cast<float>(std::pow(speed, -0.25)) : 1.0f;
    // The photo's colours, not the tint's: the pulse stays in the brightness and the alpha.
    const float atlasRect[4] = {tx, ty, tw, th};
    list->photoSlots.drawPiece(
        crop, list->hasAtlas() ? list->m_PhotoTexture->texID : 0, atlasRect, roll, photoLag / fSize,
        photoDimming * (kLeastPhotoBrightness + kPhotoPulse * pulse), aCD * pulse + aC);
    glPopMatrix();
    return;
  }
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glColor4f(rCD * pulse + rC, gCD * pulse + gC, bCD * pulse + bC, aCD * pulse + aC);
  glTexCoord2f(tx, ty + th);
  glVertex3f(-1.0f, -1.0f, 0.0f);
  glTexCoord2f(tx + tw, ty + th);
  glVertex3f(1.0f, -1.0f, 0.0f);
  glTexCoord2f(tx + tw, ty);
  glVertex3f(1.0f, 1.0f, 0.0f);
  glTexCoord2f(tx, ty);
  glVertex3f(-1.0f, 1.0f, 0.0f);
  glEnd();
  glPopMatrix();
}

bool PhotoPiece::isClippedAway(const MirrorSystem& system) const {
  // The same turn as draw's, and the half-diagonals of the square after it.
  const double turn = -static_cast<double>(roll) * M_PI / 180.0;
  const double c = std::cos(turn) * fSize;
  const double s = std::sin(turn) * fSize;
  for (const GLdouble* plane : {system.mirrorPlane1, system.mirrorPlane2}) {
    const double centre = plane[0] * vPos.x + plane[1] * vPos.y + plane[2] * vPos.z + plane[3];
    // How far the corner nearest the kept side reaches towards it.
    const double reach =
        std::abs(plane[0] * c + plane[1] * s) + std::abs(plane[1] * c - plane[0] * s);
    if (centre + reach < -kClipMargin) {
      return true;
    }
  }
  return false;
}

// ---- PhotoList ----

PhotoList::PhotoList(ScopeApp* parent, const char* folder, bool mixedFlag, float bgr, float bgg,
                     float bgb)
    : ObjectCell(parent) {
  if (folder != nullptr) {
    strncpy(this->folder, folder, sizeof(this->folder) - 1);
  }
  this->mixedFlag = mixedFlag;
  SetVector3(&bgColor, bgr, bgg, bgb);
  gList = this;
  cList = nullptr;
  iMaxCtr = 0;
  iCtr = 0;
  fMaxSize = rnd() * kSizeSpan + 0.001f;
  fMaxSpinRate = rnd() * kSpinSpan;
  bRegularPolys = RandomI(2) == 0;
  m_PhotoTexture = nullptr;
  nbrFruit = 8;
  iFruitType = 0;
}

PhotoList::~PhotoList() {
  if (m_PhotoTexture != nullptr) {
    glDeleteTextures(1, &m_PhotoTexture->texID);
    free(m_PhotoTexture);
  }
  m_PhotoTexture = nullptr;
  delete[] cList;
  cList = nullptr;
  // The pieces and the drift reach the list through gList; it must not outlive the list.
  if (gList == this) {
    gList = nullptr;
  }
}

void PhotoList::init(const char* fileName) {
  // From the engine's seed, so that one seed picks the same photos and crops; read here, where
  // the engine is whole.
  photoSlots.seed(m_parent->seed);
  cList = new PhotoPiece[kPieces];
  allocateObjects(fileName);
  for (int i = 0; i < kPieces; i++) {
    cList[i].init(static_cast<float>(i) / 99.0f);
  }
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
}

int PhotoList::allocateObjects(const char* pathName) {
  iFruitType = RandomI(nbrFruit);
  char* workingDirectory = getcwd(nullptr, 0);
  m_PhotoTexture = static_cast<TextureImage*>(malloc(sizeof(TextureImage)));
  if (m_PhotoTexture == nullptr) {
    free(workingDirectory);
    throw std::bad_alloc();
  }
  memset(m_PhotoTexture, 0, sizeof(TextureImage));
  outlog("Before jpeg load, directory is %s\n",
         workingDirectory != nullptr ? workingDirectory : "(unknown)");
  free(workingDirectory);

  // Without a resource folder there is no atlas to look for: the pieces go untextured.
  if (pathName != nullptr) {
    const std::string atlasPath = std::string(pathName) + "/DiscMasks.jpg";
    LoadJPEGTexture(m_PhotoTexture, atlasPath.c_str(), GL_ALPHA);
  }
  glDisable(GL_LIGHTING);
  return 1;
}

bool PhotoList::hasAtlas() const {
  return m_PhotoTexture != nullptr && m_PhotoTexture->texID != 0 && m_PhotoTexture->width != 0 &&
         m_PhotoTexture->height != 0;
}

void PhotoList::updateFrame() {
  // The factory's choice governs the first passes only; from now on free pieces mix cells.
  mixedFlag = true;
  photoSlots.update(m_parent->photos, m_parent->m_fTime);
  for (int i = 0; i < kPieces; i++) {
    cList[i].update();
  }
}

void PhotoList::draw() {
  // Squares the mirror planes cut away in every copy are not recorded: replayed 10 to 22 times
  // a frame, they would cost without showing.
  const MirrorSystem* clipped = wantsClipping() ? m_parent->recordingSystem : nullptr;
  for (int i = 0; i < kPieces; i++) {
    if (clipped == nullptr || !cList[i].isClippedAway(*clipped)) {
      cList[i].draw();
    }
  }
}

void PhotoList::preRender() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glDisable(GL_DEPTH_TEST);
  if (hasAtlas()) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, m_PhotoTexture->texID);
  } else {
    glDisable(GL_TEXTURE_2D);
  }
  glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_MODULATE));
}

void PhotoList::postRender() {
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
}

// ---- the parameter drift ----

void PhotoList::paramTick() {
  iCtr = iCtr + 1;
  if (iCtr > iMaxCtr) {
    // A new segment: switches flip now, size and spin glide to their targets over it.
    bUseBlur = RandomI(3) == 0;
    iCtr = 0;
    iMaxCtr = RandomI(100) + 1;
    bRegularPolys = RandomI(2) == 0;
    iFruitType = RandomI(nbrFruit);
    if (rnd() < 0.1f) {
      m_parent->randomizeMirrorSystem(true);
    }

    // Each glides, or holds still, with even odds; a target lies in the opposite half.
    fSrcParam[0] = fMaxSize;
    if (rnd() < 0.5f) {
      float target = rnd() * kSizeSpan / 2.0f + 0.001f;
      if (fMaxSize < kSizeMiddle) {
        target = target + kSizeSpan / 2.0f;
      }
      fDstParam[0] = target - fSrcParam[0];
    } else {
      fDstParam[0] = 0.0f;
    }

    fSrcParam[1] = fMaxSpinRate;
    if (rnd() < 0.5f) {
      float target = rnd() * kSpinSpan / 2.0f;
      if (fMaxSpinRate <= kSpinMiddle) {
        target = target + kSpinMiddle;
      }
      fDstParam[1] = target - fSrcParam[1];
    } else {
      fDstParam[1] = 0.0f;
    }
  }
  const float e = ease(static_cast<float>(iCtr) / static_cast<float>(iMaxCtr));
  fMaxSize = fSrcParam[0] + e * fDstParam[0];
  fMaxSpinRate = fSrcParam[1] + e * fDstParam[1];
}
