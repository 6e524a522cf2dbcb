#define GL_GLEXT_PROTOTYPES 1
#include "host/Framebuffer.h"

#include <GL/glext.h>

bool Framebuffer::resize(int width, int height) {
  if (framebuffer_ != 0 && width == width_ && height == height_) {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    return true;
  }
  if (framebuffer_ == 0) {
    glGenFramebuffers(1, &framebuffer_);
    glGenRenderbuffers(1, &colour_);
  }
  width_ = width;
  height_ = height;
  glBindRenderbuffer(GL_RENDERBUFFER, colour_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
  return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void Framebuffer::release() {
  if (framebuffer_ == 0) {
    return;
  }
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &framebuffer_);
  glDeleteRenderbuffers(1, &colour_);
  framebuffer_ = colour_ = 0;
  width_ = height_ = 0;
}
