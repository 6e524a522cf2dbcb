#include "host/framework/OpenGL.h"

#include <cassert>

#include "host/Surface.h"

bool OpenGLPixelFormat::initWithAttributes(const OpenGLPixelFormatAttribute* attributes) {
  for (const OpenGLPixelFormatAttribute* entry = attributes; *entry != 0; entry++) {
    switch (*entry) {
      case OpenGLPFADepthSize:
        if (*++entry == 0) {
          return false;  // the value is missing: the list ends early
        }
        break;
      case OpenGLPFAAccelerated:
      case OpenGLPFAMinimumPolicy:
      case OpenGLPFAClosestPolicy:
      case OpenGLPFADoubleBuffer:
        break;
      default:
        return false;
    }
  }
  return true;
}

void OpenGLContext::makeCurrentContext() {
  Surface* surface = view_->surface();
  if (surface != nullptr) {
    surface->makeCurrent();
  }
}

OpenGLView::OpenGLView(Rect frame, std::unique_ptr<OpenGLPixelFormat> pixelFormat)
    : View(frame), pixelFormat_(std::move(pixelFormat)), context_(this) {
  assert(pixelFormat_ != nullptr && "an OpenGL view needs a pixel format");
}

void OpenGLView::setFrameSize(Size newSize) {
  View::setFrameSize(newSize);
  Surface* surface = this->surface();
  // An empty or absurd drawable cannot exist; the surface keeps its last one until a real
  // size comes. The test is written so that NaN fails it too.
  const float kLargest = 32768.0f;
  if (surface == nullptr || !(newSize.width >= 1.0f && newSize.width <= kLargest) ||
      !(newSize.height >= 1.0f && newSize.height <= kLargest)) {
    return;
  }
  surface->setDrawableSize(static_cast<int>(newSize.width), static_cast<int>(newSize.height));
}
