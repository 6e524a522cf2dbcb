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

EGLContext createEglContext(EGLDisplay display, const EGLint* attributes, EGLConfig* config,
                            std::string* error) {
  EGLint count = 0;
  if (!eglChooseConfig(display, attributes, config, 1, &count) || count < 1) {
    *error = "EGL offers no desktop OpenGL configuration with the colour and depth wanted";
    return EGL_NO_CONTEXT;
  }
  const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
  EGLContext context = eglCreateContext(display, *config, EGL_NO_CONTEXT, contextAttributes);
  if (context == EGL_NO_CONTEXT) {
    *error = eglFailure("creating an OpenGL compatibility context");
  }
  return context;
}
