#include "support/TestCells.h"

#include <cmath>

void FanCell::draw() {
  glBegin(GL_TRIANGLE_FAN);
  glColor3f(0.5f, 0.5f, 0.5f);
  glVertex3f(0.0f, 0.0f, 0.0f);
  for (double degrees = 240.0; degrees <= 330.0; degrees += 5.0) {
    const float ramp = static_cast<float>((degrees - 240.0) / 90.0);
    glColor3f(ramp, 1.0f - ramp, 0.5f);
    glVertex3d(12.0 * std::cos(degrees * M_PI / 180.0), 12.0 * std::sin(degrees * M_PI / 180.0),
               0.0);
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
  glColor3f(1.0f, 1.0f, 1.0f);
  glRectf(0.2437f - 0.12f, -1.9851f - 0.12f, 0.2437f + 0.12f, -1.9851f + 0.12f);
}
