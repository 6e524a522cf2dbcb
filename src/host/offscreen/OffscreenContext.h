// A headless OpenGL context: EGL on Mesa's surfaceless platform with a pbuffer of a given
// size, a compatibility profile and a 24-bit depth buffer. Enough to run the engine without
// a display, for tests and headless rendering; readDrawnImage reads what it drew.
#pragma once

#include <EGL/egl.h>

#include <string>

class OffscreenContext {
 public:
  OffscreenContext() = default;
  ~OffscreenContext();
  OffscreenContext(const OffscreenContext&) = delete;
  OffscreenContext& operator=(const OffscreenContext&) = delete;

  // Creates the context with a width x height pbuffer and makes it current. On failure
  // returns false and says why in *error, leaving nothing behind.
  bool create(int width, int height, std::string* error);
  // Replaces the pbuffer with one of the new size; the context and its objects stay.
  bool resize(int width, int height, std::string* error);
  bool makeCurrent();

  int width() const { return width_; }
  int height() const { return height_; }

 private:
  bool createSurface(int width, int height, std::string* error);
  void destroy();

  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLConfig config_ = nullptr;
  EGLContext context_ = EGL_NO_CONTEXT;
  EGLSurface surface_ = EGL_NO_SURFACE;
  int width_ = 0;
  int height_ = 0;
};
