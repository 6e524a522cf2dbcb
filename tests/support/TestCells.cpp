#include "support/TestCells.h"

#include <cmath>

namespace {

void FanVertex(double degrees) {
  const double radius = 12.0;
  float ramp = static_cast<float>((degrees - 240.0) / 90.0);
  glColor3f(ramp, 1.0f - ramp, 0.5f);
  glVertex3d(radius * std::cos(degrees * M_PI / 180.0), radius * std::sin(degrees * M_PI / 180.0),
             0.0);
}

}  // namespace

void FanCell::draw() {
  glBegin(GL_TRIANGLES);
  for (double degrees = 240.0; degrees < 330.0; degrees += 5.0) {
    glColor3f(0.5f, 0.5f, 0.5f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    FanVertex(degrees);
    FanVertex(degrees + 5.0);
  }
  glEnd();
}

void FanCell::preRender() {
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
}

void FanCell::postRender() { glDisable(GL_CULL_FACE); }

void SpotCell::draw() {
  draws++;
  // Centre at 2 units in direction 277 degrees, inside even the narrowest wedge.
  const float x = 0.2437f;
  const float y = -1.9851f;
  const float half = 0.12f;
  glColor3f(1.0f, 1.0f, 1.0f);
  glBegin(GL_QUADS);
  glVertex3f(x - half, y - half, 0.0f);
  glVertex3f(x + half, y - half, 0.0f);
  glVertex3f(x + half, y + half, 0.0f);
  glVertex3f(x - half, y + half, 0.0f);
  glEnd();
}
