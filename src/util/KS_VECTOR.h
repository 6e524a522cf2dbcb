// Two- and three-component single-precision vectors: plain records worked on by free
// functions (K_), and small classes with constructors and operators (KS_).
#pragma once

#include <GL/gl.h>

// Plain records: no constructor, contents undefined until written. As a colour, x is red,
// y green and z blue, each 0..1.
struct K_VECTOR2 {
  GLfloat x, y;
};

struct K_VECTOR3 {
  GLfloat x, y, z;
};

// The result record may be one of the operands: each component is read before it is written.
void SetVector3(K_VECTOR3* v, float x, float y, float z);
void Vec3Subtract(K_VECTOR3* res, K_VECTOR3* a, K_VECTOR3* b);
void Vec3Add(K_VECTOR3* res, K_VECTOR3* a, K_VECTOR3* b);
// Component-wise product, not a dot or cross product.
void Vec3Multiply(K_VECTOR3* res, K_VECTOR3* a, K_VECTOR3* b);
// Squares and their sum in single precision, the root in double, rounded back to float.
GLfloat Vec3Length(K_VECTOR3* v);
// Leaves a vector of length exactly 0 unchanged.
void Vec3Normalize(K_VECTOR3* v);

class KS_VECTOR2 {
 public:
  KS_VECTOR2() : x(0.0f), y(0.0f) {}
  KS_VECTOR2(float x_, float y_) : x(x_), y(y_) {}
  explicit KS_VECTOR2(float* xy) : x(xy[0]), y(xy[1]) {}

  GLfloat x, y;
};

class KS_VECTOR3 {
 public:
  KS_VECTOR3() : x(0.0f), y(0.0f), z(0.0f) {}
  KS_VECTOR3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  explicit KS_VECTOR3(float* xyz) : x(xyz[0]), y(xyz[1]), z(xyz[2]) {}

  KS_VECTOR3 operator+(KS_VECTOR3& b);
  // The factor is rounded to single precision first.
  KS_VECTOR3 operator*(double f);

  // The cubic through four control points: p[3] at u = 0, p[0] at u = 1. u is not clamped.
  static KS_VECTOR3 Bernstein(float u, KS_VECTOR3* p);

  GLfloat x, y, z;
};
