// Vantor, the saver view: owns the OpenGL subview, builds the kaleidoscope engine on its first
// tick (and again after every size change) and has it draw one frame per tick. It never
// swaps or presents: the host shows the frame once animateOneFrame returns.
#pragma once

#include "host/framework/OpenGL.h"
#include "host/framework/ScreenSaverView.h"

class ScopeApp;
class PhotoFeed;

// The one engine of the process, shared by every Vantor view; null until the first tick
// builds it. The view that builds it owns it, and stopAnimation deletes it.
extern ScopeApp* gScopeApp;

// The identifier the view finds its own bundle (and so its resource folder) by.
extern const char* const kVantorBundleIdentifier;

// The user's choices beyond the scene's own, given to every engine the view builds.
struct SceneSettings {
  int mirrors = -1;   // copies of the arrangement to hold (10, 12, ..., 22), or -1: random
  bool glow = false;  // the radial glow over the kaleidoscope
  // How fast the clock runs (--speed); the clock itself is made faster, and the engine is told
  // so that it can hold what would flash to a safe pace.
  double speed = 1.0;
  PhotoFeed* photos = nullptr;  // the user's photos, or null; not owned, outlives the view
};

class Vantor : public ScreenSaverView {
 public:
  Vantor() = default;
  // Removes the OpenGL subview; the engine is left alone (stopAnimation releases it).
  ~Vantor() override;

  bool initWithFrame(Rect frameRect, bool isPreview) override;
  void setFrameSize(Size newSize) override;
  // Builds the engine when needed, then draws. If building throws (std::bad_alloc), the
  // exception leaves here with gScopeApp null.
  void animateOneFrame() override;
  // Everything animateOneFrame does (building the engine when needed, the timer's tick, the
  // scene's step) except drawing: the next drawn frame is the one it would have been.
  void skipOneFrame();
  void stopAnimation() override;
  bool hasConfigureSheet() override { return false; }
  // Takes effect with the next engine built (at once for a view that has none yet).
  void setSceneSettings(const SceneSettings& settings) { settings_ = settings; }
  // The seed of the scene on screen (whole seconds of the timer's clock), or -1 before one.
  long long seed() const;
  ConfigureSheet* configureSheet() override { return nullptr; }

 private:
  // Makes the context current, builds the engine when needed and ticks the timer; false
  // when there is no engine to step.
  bool prepareEngine();

  OpenGLView* _view = nullptr;  // owned by the view hierarchy
  bool _initedGL = false;       // the engine has been built for the current size
  SceneSettings settings_;
};
