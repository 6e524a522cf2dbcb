#include "engine/Scope.h"

// Placeholder arrangement until the mirror geometry lands: the angle and the copy count only.
void ScopeApp::SetupMirrorSystem(MirrorSystem* ms, float angle) {
  *ms = MirrorSystem{};
  ms->fMirrorAngle = angle;
  ms->nbrReflections = 1;
}

void ScopeApp::setMirrorSystem(int i, bool /*wantsMorph*/) { m_curMS = &gMirrorSystems[i % 7]; }

void ScopeApp::randomizeMirrorSystem(bool wantsMorph) { setMirrorSystem(RandomI(7), wantsMorph); }
