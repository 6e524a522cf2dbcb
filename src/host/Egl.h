// Starting desktop OpenGL through EGL, for the surfaces that do (headless and Wayland): a
// display on a platform with desktop OpenGL bound, a compatibility-profile context (so the
// engine's immediate mode and display lists run), and EGL's errors in words.
#pragma once

#include <EGL/egl.h>

#include <string>

// "<what> failed (EGL error 0x3001)", with EGL's latest error.
std::string eglFailure(const std::string& what);

// Opens and initialises EGL's display of `platform` on `native` and selects desktop OpenGL.
// EGL_NO_DISPLAY with *error (naming `what` was opened) on failure.
EGLDisplay openEglDisplay(EGLenum platform, void* native, const std::string& what,
                          std::string* error);

// A compatibility-profile context for a configuration matching `attributes` (a list ending
// with EGL_NONE), preferably one with just the channel sizes they ask for; it goes into
// *config. EGL_NO_CONTEXT with *error on failure.
EGLContext createEglContext(EGLDisplay display, const EGLint* attributes, EGLConfig* config,
                            std::string* error);
