// An OpenGL framebuffer object with a colour buffer: where a surface keeps a copy of
// the picture the view drew, to show it again enlarged or on other outputs. Sizes are in pixels;
// the context it was made on must be current.
//
// The view itself never draws into one: the engine asks for the back buffer at every frame, and
// a framebuffer object has none (the request would raise GL_INVALID_OPERATION each time). It
// draws into a default framebuffer's back buffer, and the picture is copied from there.
#pragma once

#include <GL/gl.h>

class Framebuffer {
 public:
  Framebuffer() = default;
  ~Framebuffer() { release(); }
  Framebuffer(const Framebuffer&) = delete;
  Framebuffer& operator=(const Framebuffer&) = delete;

  // Makes the buffers width x height (anew only when the size changed) and binds the
  // framebuffer for drawing and reading. False when the driver cannot draw into it.
  bool resize(int width, int height);
  // Deletes the buffers and binds the default framebuffer again.
  void release();
  bool exists() const { return framebuffer_ != 0; }
  GLuint name() const { return framebuffer_; }

 private:
  GLuint framebuffer_ = 0;
  GLuint colour_ = 0;
  int width_ = 0;
  int height_ = 0;
};
