#include "host/ScopeView.h"

#include <GL/gl.h>

#include <memory>

#include "engine/Scope.h"
#include "host/framework/Bundle.h"
#include "util/KaleidoUtils.h"
#include "util/LocalTiming.h"

ScopeApp* gScopeApp = nullptr;

const char* const kVantorBundleIdentifier = "org.vantor.saver";

namespace {

// Accelerated, a depth buffer of at least one bit, minimum and closest policy. No double
// buffer: the view never swaps.
const OpenGLPixelFormatAttribute kAttributes[6] = {
    OpenGLPFAAccelerated,   OpenGLPFADepthSize,     static_cast<OpenGLPixelFormatAttribute>(1),
    OpenGLPFAMinimumPolicy, OpenGLPFAClosestPolicy, static_cast<OpenGLPixelFormatAttribute>(0),
};

}  // namespace

Vantor::~Vantor() {
  if (_view != nullptr) {
    _view->removeFromSuperview();
    _view = nullptr;
  }
}

bool Vantor::initWithFrame(Rect frameRect, bool isPreview) {
  if (!ScreenSaverView::initWithFrame(frameRect, isPreview)) {
    return false;
  }
  auto format = std::make_unique<OpenGLPixelFormat>();
  if (!format->initWithAttributes(kAttributes)) {
    return false;
  }
  auto view = std::make_unique<OpenGLView>(ZeroRect, std::move(format));
  _view = view.get();
  addSubview(std::move(view));
  return true;
}

void Vantor::setFrameSize(Size newSize) {
  ScreenSaverView::setFrameSize(newSize);
  _view->setFrameSize(newSize);
  _initedGL = false;
}

bool Vantor::prepareEngine() {
  _view->openGLContext()->makeCurrentContext();
  if (!_initedGL) {
    // Cleared first, so that whatever throws below (std::bad_alloc) leaves no dangling engine;
    // _initedGL stays false and the next tick tries again.
    delete gScopeApp;
    gScopeApp = nullptr;
    const Bundle* sbundle = Bundle::bundleWithIdentifier(kVantorBundleIdentifier);
    if (sbundle == nullptr) {
      outlog("sbundle bad.");
    } else {
      outlog("s rpath is %s", sbundle->resourcePath().c_str());
      outlog("s bundlepath is %s", sbundle->bundlePath().c_str());
      outlog("s executablepath is %s", sbundle->executablePath().c_str());
    }
    const char* cpath = sbundle == nullptr ? nullptr : sbundle->resourcePath().c_str();
    // Truncation toward zero, as a conversion of the frame's float size to int does.
    gScopeApp = new ScopeApp(static_cast<int>(frame().size.width),
                             static_cast<int>(frame().size.height), 1, cpath);
    if (settings_.mirrors > 0) {
      // Ten copies are preset 0, and every preset two more.
      gScopeApp->holdMirrorSystem((settings_.mirrors - 10) / 2);
    }
    gScopeApp->glow = settings_.glow;
    gScopeApp->speed = settings_.speed;
    gScopeApp->photos = settings_.photos;
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    InitTimer();
    _initedGL = true;
  }
  if (gScopeApp == nullptr) {
    return false;
  }
  UpdateTimer();
  return true;
}

void Vantor::animateOneFrame() {
  if (prepareEngine()) {
    gScopeApp->display(65537);
  }
}

long long Vantor::seed() const { return gScopeApp != nullptr ? gScopeApp->seed : -1; }

void Vantor::skipOneFrame() {
  if (prepareEngine()) {
    gScopeApp->skipFrame();
  }
}

void Vantor::stopAnimation() {
  if (gScopeApp != nullptr) {
    delete gScopeApp;
    gScopeApp = nullptr;
  }
  _initedGL = false;
  ScreenSaverView::stopAnimation();
}
