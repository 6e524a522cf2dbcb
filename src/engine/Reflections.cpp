// The wedge recorded once per frame and replayed around the centre, every second copy
// mirrored.
#include "engine/Scope.h"
#include "objects/ObjectFactory.h"

void ScopeApp::RecordSystem(MirrorSystem* ms) {
  glNewList(static_cast<GLuint>(biglistID), GL_COMPILE);
  // Inside the list, the planes are re-specified under each copy's own modelview matrix, so
  // every copy is cut by its own rotated (and mirrored) pair without computing any plane.
  glClipPlane(GL_CLIP_PLANE0, ms->mirrorPlane1);
  glClipPlane(GL_CLIP_PLANE1, ms->mirrorPlane2);
  recordingSystem = b_UseMirrors ? ms : nullptr;
  itsObjects->draw();
  recordingSystem = nullptr;
  glEndList();
}

void ScopeApp::RenderSystem(MirrorSystem* ms) {
  glPushMatrix();
  itsObjects->preRender();
  bool clipping = itsObjects->wantsClipping();
  if (clipping && b_UseMirrors) {
    glEnable(GL_CLIP_PLANE0);
    glEnable(GL_CLIP_PLANE1);
  }
  // Pairs of copies two mirror angles apart: an odd count draws one extra copy, which
  // overlaps the first rather than leaving a gap.
  bool lastOne = false;
  for (int i = 0; i < ms->nbrReflections && !lastOne; i += 2) {
    glPushMatrix();
    glRotatef(static_cast<float>(i) * ms->fMirrorAngle, 0.0f, 0.0f, 1.0f);
    glFrontFace(GL_CCW);
    glCallList(static_cast<GLuint>(biglistID));
    if (b_UseMirrors) {
      // The reflection reverses every polygon's winding.
      glScalef(-1.0f, 1.0f, 1.0f);
      glFrontFace(GL_CW);
      glCallList(static_cast<GLuint>(biglistID));
    } else {
      lastOne = true;
    }
    glPopMatrix();
  }
  glDisable(GL_CLIP_PLANE0);
  glDisable(GL_CLIP_PLANE1);
  glDisable(GL_CLIP_PLANE2);
  glFrontFace(GL_CCW);
  glPopMatrix();
  itsObjects->postRender();
}
