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

// What the view asks of its drawable. Every surface of this host gives at least an accelerated
// (or software) RGB drawable with a depth buffer, so the list is only checked, not kept.
class OpenGLPixelFormat {
 public:
  // Reads an attribute list ending with 0. Returns false for a code it does not know or a
  // value missing at the end, as the framework gives nil for a list it cannot match.
  bool initWithAttributes(const OpenGLPixelFormatAttribute* attributes);
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

 private:
  std::unique_ptr<OpenGLPixelFormat> pixelFormat_;
  OpenGLContext context_;
};
