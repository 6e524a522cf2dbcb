#include "host/framework/ScreenSaverView.h"

bool ScreenSaverView::initWithFrame(Rect frame, bool isPreview) {
  // A view with a negative or non-finite extent cannot be laid out.
  if (!(frame.size.width >= 0.0f) || !(frame.size.height >= 0.0f)) {
    return false;
  }
  View::setFrameSize(frame.size);
  preview_ = isPreview;
  animating_ = false;
  return true;
}
