#include "host/GlErrors.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool checkingGlErrors() {
  const char* check = std::getenv("VANTOR_GL_CHECK");
  return check != nullptr && std::strcmp(check, "1") == 0;
}

std::string takeGlError() {
  GLenum first = GL_NO_ERROR;
  // A context records each kind of error once; a few reads take them all.
  for (int i = 0; i < 16; i++) {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) {
      break;
    }
    first = first == GL_NO_ERROR ? error : first;
  }
  if (first == GL_NO_ERROR) {
    return "";
  }
  const char* name = "an OpenGL error";
  switch (first) {
    case GL_INVALID_ENUM:
      name = "GL_INVALID_ENUM";
      break;
    case GL_INVALID_VALUE:
      name = "GL_INVALID_VALUE";
      break;
    case GL_INVALID_OPERATION:
      name = "GL_INVALID_OPERATION";
      break;
    case GL_STACK_OVERFLOW:
      name = "GL_STACK_OVERFLOW";
      break;
    case GL_STACK_UNDERFLOW:
      name = "GL_STACK_UNDERFLOW";
      break;
    case GL_OUT_OF_MEMORY:
      name = "GL_OUT_OF_MEMORY";
      break;
    case 0x0506:
      name = "GL_INVALID_FRAMEBUFFER_OPERATION";
      break;
  }
  char code[16];
  std::snprintf(code, sizeof code, " (0x%04x)", first);
  return name + std::string(code);
}
