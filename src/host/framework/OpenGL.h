// The OpenGL view, its context and its pixel format. The view is a subview whose drawable
// always has the size last set; its context is the context of the surface the hierarchy is
// attached to.
#pragma once

#include <memory>

#include "host/framework/View.h"

// Pixel-format attribute codes, as the framework numbers them. A list ends with 0; a code
// marked "with value" is followed by its value.
enum OpenGLPixelFormatAttribute : unsigned {
  OpenGLPFADoubleBuffer = 5,
  OpenGLPFADepthSize = 12,  // with value: bits of depth buffer, at least
  OpenGLPFAMinimumPolicy = 51,
  OpenGLPFAAccelerated = 73,
  OpenGLPFAClosestPolicy = 74,
};

class OpenGLPixelFormat {
 public:
  // Reads an attribute list ending with 0. Returns false for a code it does not know, as the
  // framework gives nil for a list it cannot match.
  bool initWithAttributes(const OpenGLPixelFormatAttribute* attributes);

  bool accelerated() const { return accelerated_; }
  int depthSize() const { return depthSize_; }  // bits, at least
  bool doubleBuffer() const { return doubleBuffer_; }
  bool minimumPolicy() const { return minimumPolicy_; }
  bool closestPolicy() const { return closestPolicy_; }

 private:
  bool accelerated_ = false;
  int depthSize_ = 0;
  bool doubleBuffer_ = false;
  bool minimumPolicy_ = false;
  bool closestPolicy_ = false;
};

class OpenGLView;

class OpenGLContext {
 public:
  explicit OpenGLContext(const OpenGLView* view) : view_(view) {}
  // Makes the context of the view's surface current. Does nothing while the view is not in
  // a hierarchy attached to a surface, as a message to nil does nothing.
  void makeCurrentContext();

 private:
  const OpenGLView* view_;  // not owned; the view owns this context
};

class OpenGLView : public View {
 public:
  OpenGLView(Rect frame, std::unique_ptr<OpenGLPixelFormat> pixelFormat);

  // Sets the frame and makes the surface's drawable follow it, truncated to whole pixels.
  void setFrameSize(Size newSize) override;
  OpenGLContext* openGLContext() { return &context_; }
  const OpenGLPixelFormat& pixelFormat() const { return *pixelFormat_; }

 private:
  std::unique_ptr<OpenGLPixelFormat> pixelFormat_;
  OpenGLContext context_;
};
