// Reading OpenGL state back in tests.
#pragma once

#include <GL/gl.h>

#include <array>

// `Size` values of a state variable: a matrix, a viewport, one integer.
template <int Size = 16>
std::array<GLfloat, Size> Floats(GLenum what) {
  std::array<GLfloat, Size> values;
  glGetFloatv(what, values.data());
  return values;
}

template <int Size = 1>
std::array<GLint, Size> Integers(GLenum what) {
  std::array<GLint, Size> values;
  glGetIntegerv(what, values.data());
  return values;
}

inline GLint Integer(GLenum what) { return Integers(what)[0]; }
