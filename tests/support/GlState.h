// Reading OpenGL state back in tests.
#pragma once

#include <GL/gl.h>

#include <algorithm>

struct Matrix {
  GLfloat m[16];
  bool operator==(const Matrix& other) const { return std::equal(m, m + 16, other.m); }
};

inline Matrix CurrentMatrix(GLenum which) {
  Matrix matrix;
  glGetFloatv(which, matrix.m);
  return matrix;
}

inline GLint Integer(GLenum what) {
  GLint value = 0;
  glGetIntegerv(what, &value);
  return value;
}
