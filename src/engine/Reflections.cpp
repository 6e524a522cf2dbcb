#include "engine/Scope.h"
#include "objects/ObjectFactory.h"

// Placeholder passes until the mirrored replay lands: one plain copy of the wedge.
void ScopeApp::RecordSystem(MirrorSystem* /*ms*/) {
  glNewList(static_cast<GLuint>(biglistID), GL_COMPILE);
  itsObjects->draw();
  glEndList();
}

void ScopeApp::RenderSystem(MirrorSystem* /*ms*/) {
  glPushMatrix();
  itsObjects->preRender();
  glCallList(static_cast<GLuint>(biglistID));
  glPopMatrix();
  itsObjects->postRender();
}
