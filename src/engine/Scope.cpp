#include "engine/Scope.h"

#include <GL/glu.h>

#include <algorithm>
#include <vector>

#include "objects/ObjectFactory.h"
#include "util/KaleidoUtils.h"
#include "util/LocalTiming.h"

bool bCanBlur = false;
GLint biglistID = 0;

bool isMorphing = false;
double morphStart = 0.0;
float morphDuration = 0.0f;
float morphStartAngle = 0.0f;
float morphEndAngle = 0.0f;

namespace {

GLuint blurTexture = 0;  // 128 x 128, the source of the radial blur

constexpr int kBlurSize = 128;

// Width over height in single precision. A surface with no area (a window being mapped or
// shrunk to nothing) gets a square projection rather than an infinite or zero aspect.
float aspectRatio(int width, int height) {
  if (width <= 0 || height <= 0) {
    return 1.0f;
  }
  return static_cast<float>(width) / static_cast<float>(height);
}

void setProjection(int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, aspectRatio(width, height), 1.0, 20.0);
  glMatrixMode(GL_MODELVIEW);
}

}  // namespace

ScopeApp::ScopeApp(int width, int height, int /*scopeFlags*/, const char* fileName) {
  seed = readTimerClockSeconds();
  srand(static_cast<unsigned>(seed));

  this->width = width;
  this->height = height;
  setProjection(width, height);

  biglistID = static_cast<GLint>(glGenLists(1));
  iCurrentScope = 0;
  for (int i = 0; i < 7; i++) {
    SetupMirrorSystem(&gMirrorSystems[i], 360.0f / static_cast<float>(2 * i + 10));
  }
  // A morph left running by an earlier engine belongs to that engine's clock; evaluated
  // against this one it would draw nonsense angles until the old end time came round.
  isMorphing = false;
  randomizeMirrorSystem(false);

  b_UseMirrors = false;
  b_UseDepthBuffer = true;
  m_fFramesPerSec = 10.0f;
  InitTimer();
  // The cell seeds its animation from the clock, which has just been restarted.
  m_fTime = 0.0;

  try {
    itsObjects = getObjectCell(iCurrentScope, this);
    itsObjects->init(fileName);

    if (b_UseDepthBuffer) {
      glClearDepth(1.0);
      glEnable(GL_DEPTH_TEST);
      glDepthFunc(GL_LEQUAL);
      glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    }
    fLastScopeStart = 0.0f;
    bCanBlur = true;

    if (bCanBlur) {
      std::vector<GLubyte> black(kBlurSize * kBlurSize * 4, 0);
      glGenTextures(1, &blurTexture);
      glBindTexture(GL_TEXTURE_2D, blurTexture);
      glTexImage2D(GL_TEXTURE_2D, 0, 4, kBlurSize, kBlurSize, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   black.data());
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
  } catch (...) {
    // No destructor runs for an engine that was never built: release what it made so far.
    release();
    throw;
  }
}

ScopeApp::~ScopeApp() { release(); }

void ScopeApp::release() {
  glDeleteLists(static_cast<GLuint>(biglistID), 1);
  delete itsObjects;
  itsObjects = nullptr;
  // Released here so that rebuilding the engine on every resize does not leak a texture.
  if (blurTexture != 0) {
    glDeleteTextures(1, &blurTexture);
    blurTexture = 0;
  }
}

void ScopeApp::initGL(int width, int height) { resizeGL(width, height); }

void ScopeApp::resizeGL(int width, int height) {
  this->width = width;
  this->height = height;
  setProjection(width, height);
}

int ScopeApp::display(int scopeFlags) {
  b_UseMirrors = (scopeFlags & 0x10000) != 0;
  glDrawBuffer(GL_BACK);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  gluLookAt(0.0, 0.0, 5.5, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);

  UpdateFrame();

  MirrorSystem* ms = morphedMirrorSystem();

  RecordSystem(ms);
  if ((itsObjects->wantsRadialBlur() || glow) && bCanBlur) {
    RenderToTexture(ms);
  }
  RenderSystem(ms);
  if ((itsObjects->wantsRadialBlur() || glow) && bCanBlur) {
    DrawBlur(12, 0.02f);
  }
  glFlush();
  return 1;
}

void ScopeApp::skipFrame() {
  UpdateFrame();
  morphedMirrorSystem();
}

void ScopeApp::UpdateFrame() {
  UpdateTimer();
  m_fTime = gTime;
  m_fFramesPerSec = gFrameRate;
  itsObjects->updateFrame();
}

void ScopeApp::RenderToTexture(MirrorSystem* ms) {
  // The whole view squeezed into the corner square; the projection keeps its aspect ratio. A
  // surface smaller than the square gets a square of its own smaller side: what lies beyond
  // the drawable is not there to copy.
  const int side = std::min({kBlurSize, width, height});
  if (side <= 0) {
    return;
  }
  glViewport(0, 0, side, side);
  RenderSystem(ms);
  glBindTexture(GL_TEXTURE_2D, blurTexture);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, 0, 0, side, side, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glViewport(0, 0, width, height);
}

void ScopeApp::DrawBlur(int times, float inc) {
  float spost = 0.0f;
  float alpha = 0.075f;
  const float alphainc = alpha / static_cast<float>(times);

  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glEnable(GL_BLEND);
  glBindTexture(GL_TEXTURE_2D, blurTexture);
  ViewOrtho();

  // Each pass shows a smaller central window of the small frame over the whole screen,
  // fainter than the last: bright parts smear outwards from the centre.
  glBegin(GL_QUADS);
  for (int num = 0; num < times; num++) {
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    glTexCoord2f(spost, 1.0f - spost);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(spost, spost);
    glVertex2f(0.0f, 480.0f);
    glTexCoord2f(1.0f - spost, spost);
    glVertex2f(640.0f, 480.0f);
    glTexCoord2f(1.0f - spost, 1.0f - spost);
    glVertex2f(640.0f, 0.0f);
    spost += inc;
    alpha -= alphainc;
  }
  glEnd();

  ViewPerspective();
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glBindTexture(GL_TEXTURE_2D, 0);
}
