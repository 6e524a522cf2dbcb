// An OpenGL framebuffer object with a colour and a depth buffer: where a surface has the view
// draw a frame that is then shown some other way (enlarged over an X window, or copied onto
// several Wayland outputs). Sizes are in pixels; the context it was made on must be current.
#pragma once

#include <GL/gl.h>

class Framebuffer {
 public:
  Framebuffer() = default;
  ~Framebuffer() { release(); }
  Framebuffer(const Framebuffer&) = delete;
  Framebuffer& operator=(const Framebuffer&) = delete;

  // Makes (or remakes) the buffers width x height and binds the framebuffer for drawing and
  // reading. False when the driver cannot draw into it.
  bool resize(int width, int height);
  // Deletes the buffers and binds the window's own again.
  void release();
  bool exists() const { return framebuffer_ != 0; }
  GLuint name() const { return framebuffer_; }

 private:
  GLuint framebuffer_ = 0;
  GLuint colour_ = 0;
  GLuint depth_ = 0;
};
