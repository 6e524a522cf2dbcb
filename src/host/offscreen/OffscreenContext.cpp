#include "host/offscreen/OffscreenContext.h"

#include <EGL/eglext.h>

#include "host/Egl.h"

OffscreenContext::~OffscreenContext() { destroy(); }

bool OffscreenContext::create(int width, int height, std::string* error) {
  destroy();
  display_ = openEglDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY,
                            "Mesa's surfaceless EGL display", error);
  if (display_ == EGL_NO_DISPLAY) {
    return false;
  }
  const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                     EGL_PBUFFER_BIT,
                                     EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT,
                                     EGL_RED_SIZE,
                                     8,
                                     EGL_GREEN_SIZE,
                                     8,
                                     EGL_BLUE_SIZE,
                                     8,
                                     EGL_ALPHA_SIZE,
                                     8,
                                     EGL_DEPTH_SIZE,
                                     24,
                                     EGL_NONE};
  context_ = createEglContext(display_, configAttributes, &config_, error);
  if (context_ == EGL_NO_CONTEXT) {
    destroy();
    return false;
  }
  if (!createSurface(width, height, error)) {
    destroy();
    return false;
  }
  return true;
}

bool OffscreenContext::createSurface(int width, int height, std::string* error) {
  const EGLint attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  EGLSurface surface = eglCreatePbufferSurface(display_, config_, attributes);
  if (surface == EGL_NO_SURFACE) {
    *error = eglFailure("creating a " + std::to_string(width) + "x" + std::to_string(height) +
                        " pbuffer");
    return false;
  }
  if (!eglMakeCurrent(display_, surface, surface, context_)) {
    *error = eglFailure("making the offscreen context current");
    eglDestroySurface(display_, surface);
    return false;
  }
  if (surface_ != EGL_NO_SURFACE) {
    eglDestroySurface(display_, surface_);
  }
  surface_ = surface;
  width_ = width;
  height_ = height;
  return true;
}

bool OffscreenContext::resize(int width, int height, std::string* error) {
  if (context_ == EGL_NO_CONTEXT) {
    *error = "the offscreen context was not created";
    return false;
  }
  if (width == width_ && height == height_) {
    return makeCurrent();
  }
  return createSurface(width, height, error);
}

bool OffscreenContext::makeCurrent() {
  return context_ != EGL_NO_CONTEXT && eglMakeCurrent(display_, surface_, surface_, context_);
}

void OffscreenContext::destroy() {
  if (display_ == EGL_NO_DISPLAY) {
    return;
  }
  eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (surface_ != EGL_NO_SURFACE) {
    eglDestroySurface(display_, surface_);
  }
  if (context_ != EGL_NO_CONTEXT) {
    eglDestroyContext(display_, context_);
  }
  // The display stays initialised until the process ends: it is shared by every context,
  // and terminating it unloads the driver, which loses some of its own blocks on the way.
  display_ = EGL_NO_DISPLAY;
  surface_ = EGL_NO_SURFACE;
  context_ = EGL_NO_CONTEXT;
  width_ = height_ = 0;
}
