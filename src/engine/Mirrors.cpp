// Mirror arrangements: the geometry of one arrangement, the seven presets and the morphs
// between them.
#include <algorithm>
#include <cmath>

#include "engine/Scope.h"

namespace {

// Degrees to radians. This rounded factor, not pi / 180, is what the wedge corners and the
// clip planes are built with; the seams between copies line up with it.
constexpr float kDegreesToRadians = 0.01745328f;

// The fastest a morph may turn the copy at the far end of the circle, degrees a second of real
// time. Faster morphs made a quarter and more of the picture flash.
constexpr double kMorphTurnRate = 30.0;

// How long a morph from `from` to `to` degrees lasts, in seconds of engine time: two at least,
// and long enough in real time that the copy at the far end, which turns 360 / angle times as
// fast as the angle changes, stays within kMorphTurnRate.
float MorphSeconds(float from, float to, double speed) {
  double fastest = 0.0;  // the far copy's turn rate over a morph of one second
  for (int step = 1; step < 100; step++) {
    const double p = step / 100.0;
    const double angle = from + (to - from) * p * p * (3.0 - 2.0 * p);
    const double change = std::fabs(to - from) * 6.0 * p * (1.0 - p);  // degrees a second
    fastest = std::max(fastest, 360.0 / angle * change);
  }
  return static_cast<float>(std::max(2.0, fastest / kMorphTurnRate) * std::max(1.0, speed));
}

// Progress of the running morph at engine time `now`, capped at 1 and eased; *ended says
// whether the cap was reached.
float easedMorphProgress(double now, bool* ended) {
  float p = static_cast<float>(now - morphStart) / morphDuration;
  *ended = p >= 1.0f;
  if (*ended) {
    p = 1.0f;
  }
  return ease(p);
}

}  // namespace

void ScopeApp::SetupMirrorSystem(MirrorSystem* ms, float angle) {
  ms->fMirrorAngle = angle;
  ms->nbrReflections = static_cast<int>(std::ceil(360.0f / angle));

  SetVector3(&ms->mirror1, 0.0f, 0.0f, 0.0f);
  const double down = static_cast<double>(270.0f * kDegreesToRadians);
  SetVector3(&ms->mirror2, static_cast<float>(4.0 * std::cos(down)),
             static_cast<float>(4.0 * std::sin(down)), 0.0f);
  const double second = static_cast<double>((angle + 270.0f) * kDegreesToRadians);
  SetVector3(&ms->mirror3, static_cast<float>(4.0 * std::cos(second)),
             static_cast<float>(4.0 * std::sin(second)), 0.0f);

  K_VECTOR3 aperture;
  Vec3Subtract(&aperture, &ms->mirror2, &ms->mirror3);
  ms->apertureLength = Vec3Length(&aperture);

  // Normals point into the wedge: x >= 0 for the first mirror, the first mirror's side for
  // the second.
  ms->mirrorPlane1[0] = 1.0;
  ms->mirrorPlane1[1] = 0.0;
  ms->mirrorPlane1[2] = 0.0;
  ms->mirrorPlane1[3] = 0.0;
  const double normal = static_cast<double>(((angle + 270.0f) - 90.0f) * kDegreesToRadians);
  ms->mirrorPlane2[0] = std::cos(normal);
  ms->mirrorPlane2[1] = std::sin(normal);
  ms->mirrorPlane2[2] = 0.0;
  ms->mirrorPlane2[3] = 0.0;
  const double third = static_cast<double>(((180.0f - angle) / 2.0f) * kDegreesToRadians);
  ms->mirrorPlane3[0] = std::cos(third);
  ms->mirrorPlane3[1] = std::sin(third);
  ms->mirrorPlane3[2] = 0.0;
  ms->mirrorPlane3[3] = 4.0;
}

void ScopeApp::setMirrorSystem(int i, bool wantsMorph) {
  MirrorSystem* old = m_curMS;
  m_curMS = &gMirrorSystems[i % 7];
  if (!wantsMorph) {
    return;
  }
  if (isMorphing) {
    // Redirected: start again from the angle on screen now.
    bool ended = false;
    float p = easedMorphProgress(m_fTime, &ended);
    morphStartAngle = (morphEndAngle - morphStartAngle) * p + morphStartAngle;
  } else {
    morphStartAngle = old->fMirrorAngle;
    isMorphing = true;
  }
  morphStart = m_fTime;
  morphEndAngle = m_curMS->fMirrorAngle;
  morphDuration = MorphSeconds(morphStartAngle, morphEndAngle, speed);
}

void ScopeApp::randomizeMirrorSystem(bool wantsMorph) {
  // Drawn even while an arrangement is held, so that the rest of the scene makes the same
  // random choices as it would without the hold.
  const int preset = RandomI(7);
  if (heldMirrorSystem < 0) {
    setMirrorSystem(preset, wantsMorph);
  }
}

void ScopeApp::holdMirrorSystem(int i) {
  heldMirrorSystem = i % 7;
  isMorphing = false;
  setMirrorSystem(i, false);
}

MirrorSystem* ScopeApp::morphedMirrorSystem() {
  static MirrorSystem tempMS;
  if (!isMorphing) {
    return m_curMS;
  }
  bool ended = false;
  float p = easedMorphProgress(m_fTime, &ended);
  if (ended) {
    isMorphing = false;
  }
  float angle = (morphEndAngle - morphStartAngle) * p + morphStartAngle;
  SetupMirrorSystem(&tempMS, angle);
  return &tempMS;
}
