// The screen-saver view base: a view with a preview flag and the life-cycle calls a host
// makes. Subclasses override animateOneFrame and the calls they need; the host creates the
// view, calls initWithFrame, reports every size through setFrameSize, calls startAnimation,
// animateOneFrame once per tick, stopAnimation, and finally destroys the view.
#pragma once

#include "host/framework/View.h"

class ConfigureSheet;  // a settings window; this host has none to show

class ScreenSaverView : public View {
 public:
  ScreenSaverView() = default;
  ~ScreenSaverView() override = default;

  // Returns false where the framework's initialiser would give nil.
  virtual bool initWithFrame(Rect frame, bool isPreview);

  bool isPreview() const { return preview_; }
  bool isAnimating() const { return animating_; }

  virtual void startAnimation() { animating_ = true; }
  virtual void stopAnimation() { animating_ = false; }
  virtual void animateOneFrame() {}

  virtual bool hasConfigureSheet() { return false; }
  virtual ConfigureSheet* configureSheet() { return nullptr; }

 private:
  bool preview_ = false;
  bool animating_ = false;
};
