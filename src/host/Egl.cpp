#include "host/Egl.h"

#include <EGL/eglext.h>

#include <cstdio>

std::string eglFailure(const std::string& what) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(eglGetError()));
  return what + " failed (EGL error " + code + ")";
}

EGLDisplay openEglDisplay(EGLenum platform, void* native, const std::string& what,
                          std::string* error) {
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (getPlatformDisplay == nullptr) {
    *error = "EGL has no eglGetPlatformDisplayEXT; install Mesa's EGL (libegl-mesa0)";
    return EGL_NO_DISPLAY;
  }
  EGLDisplay display = getPlatformDisplay(platform, native, nullptr);
  EGLint major = 0;
  EGLint minor = 0;
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
    *error = eglFailure("opening " + what);
    return EGL_NO_DISPLAY;
  }
  if (!eglBindAPI(EGL_OPENGL_API)) {
    *error = eglFailure("selecting desktop OpenGL");
    return EGL_NO_DISPLAY;
  }
  return display;
}

namespace {

// Whether `config` has exactly the red, green, blue and alpha sizes `attributes` ask for (0
// where they ask for none).
bool hasSizesAskedFor(EGLDisplay display, EGLConfig config, const EGLint* attributes) {
  for (const EGLint channel : {EGL_RED_SIZE, EGL_GREEN_SIZE, EGL_BLUE_SIZE, EGL_ALPHA_SIZE}) {
    EGLint asked = 0, size = 0;
    for (const EGLint* attribute = attributes; *attribute != EGL_NONE; attribute += 2) {
      asked = attribute[0] == channel ? attribute[1] : asked;
    }
    if (!eglGetConfigAttrib(display, config, channel, &size) || size != asked) {
      return false;
    }
  }
  return true;
}

}  // namespace

EGLContext createEglContext(EGLDisplay display, const EGLint* attributes, EGLConfig* config,
                            std::string* error) {
  EGLConfig configs[64];
  EGLint count = 0;
  if (!eglChooseConfig(display, attributes, configs, 64, &count) || count < 1) {
    *error = "EGL offers no desktop OpenGL configuration with the colour and depth wanted";
    return EGL_NO_CONTEXT;
  }
  // EGL lists deeper colour first (10 bits a channel before 8), which a compositor converts
  // pixel by pixel at every frame: take the first with just the sizes asked for, if any.
  *config = configs[0];
  for (EGLint i = 0; i < count; i++) {
    if (hasSizesAskedFor(display, configs[i], attributes)) {
      *config = configs[i];
      break;
    }
  }
  const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
  EGLContext context = eglCreateContext(display, *config, EGL_NO_CONTEXT, contextAttributes);
  if (context == EGL_NO_CONTEXT) {
    *error = eglFailure("creating an OpenGL compatibility context");
  }
  return context;
}
