#define GL_GLEXT_PROTOTYPES 1
#include "support/GlErrorWatch.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <string>

#include "host/GlErrors.h"

namespace {

std::string& raised() {
  static std::string errors;
  return errors;
}

void GLAPIENTRY record(GLenum /*source*/, GLenum type, GLuint /*id*/, GLenum /*severity*/,
                       GLsizei /*length*/, const GLchar* message, const void* /*user*/) {
  if (type == GL_DEBUG_TYPE_ERROR) {
    raised() += std::string(message) + "\n";
  }
}

}  // namespace

void watchGlErrors() {
  takeGlError();  // what came before is not this test's
  GLint major = 0, minor = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  if (major * 10 + minor >= 43) {  // KHR_debug is core from OpenGL 4.3
    glEnable(GL_DEBUG_OUTPUT);
    glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);  // so that the callback runs inside the call at fault
    glDebugMessageCallback(record, nullptr);
  }
}

::testing::AssertionResult noGlErrors() {
  const std::string polled = takeGlError();
  std::string errors;
  errors.swap(raised());
  if (polled.empty() && errors.empty()) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "OpenGL raised " << (polled.empty() ? "" : polled + "; ") << errors;
}
