#include "util/KS_VECTOR.h"

#include <cmath>

void SetVector3(K_VECTOR3* v, float x, float y, float z) {
  v->x = x;
  v->y = y;
  v->z = z;
}

void Vec3Subtract(K_VECTOR3* res, K_VECTOR3* a, K_VECTOR3* b) {
  res->x = a->x - b->x;
  res->y = a->y - b->y;
  res->z = a->z - b->z;
}

void Vec3Add(K_VECTOR3* res, K_VECTOR3* a, K_VECTOR3* b) {
  res->x = a->x + b->x;
  res->y = a->y + b->y;
  res->z = a->z + b->z;
}

void Vec3Multiply(K_VECTOR3* res, K_VECTOR3* a, K_VECTOR3* b) {
  res->x = a->x * b->x;
  res->y = a->y * b->y;
  res->z = a->z * b->z;
}

GLfloat Vec3Length(K_VECTOR3* v) {
  float sum = v->x * v->x + v->y * v->y;
  sum = sum + v->z * v->z;
  return static_cast<GLfloat>(std::sqrt(static_cast<double>(sum)));
}

void Vec3Normalize(K_VECTOR3* v) {
  GLfloat len = Vec3Length(v);
  if (len == 0.0f) {
    return;
  }
  v->x = v->x / len;
  v->y = v->y / len;
  v->z = v->z / len;
}

KS_VECTOR3 KS_VECTOR3::operator+(KS_VECTOR3& b) { return KS_VECTOR3(x + b.x, y + b.y, z + b.z); }

KS_VECTOR3 KS_VECTOR3::operator*(double f) {
  float g = static_cast<float>(f);
  return KS_VECTOR3(g * x, g * y, g * z);
}

KS_VECTOR3 KS_VECTOR3::Bernstein(float u, KS_VECTOR3* p) {
  float oneMinusU = 1.0f - u;
  double wa = std::pow(static_cast<double>(u), 3.0);
  double wb = std::pow(static_cast<double>(u), 2.0) * 3.0 * static_cast<double>(oneMinusU);
  double wc = static_cast<double>(3.0f * u) * std::pow(static_cast<double>(oneMinusU), 2.0);
  double wd = std::pow(static_cast<double>(oneMinusU), 3.0);
  KS_VECTOR3 a = p[0] * wa;
  KS_VECTOR3 b = p[1] * wb;
  KS_VECTOR3 c = p[2] * wc;
  KS_VECTOR3 d = p[3] * wd;
  KS_VECTOR3 ab = a + b;
  KS_VECTOR3 abc = ab + c;
  return abc + d;
}
