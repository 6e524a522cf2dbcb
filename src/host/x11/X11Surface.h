// The window surface: draws with GLX (through libglvnd) into a window of our own, the root
// window, or a window given by id (xscreensaver's full-screen window or its preview). The
// context is made from the window's own visual; double-buffered visuals are presented with
// glXSwapBuffers after each frame. A drawable smaller than the window is enlarged over it in
// present() by the X server (WindowEnlarger).
//
// Supports: its own window (-geometry's size and place, --fullscreen, f, s, q, Escape, Ctrl-C
// and the window manager's close), the root window and a window given by id (size changes,
// destruction); hidden windows (unmapped or wholly covered: no ticks); a smaller drawable where
// the visual is 24-bit true colour and the display has RENDER; --delay. Keys come only from its
// own window. On a root window of several monitors (X11Monitors) the picture is drawn once, for
// the largest, and shown on each, scaled to cover it, as monitors come, go and change; where the
// visual cannot be enlarged onto (as above), one picture covers the whole root window.
#pragma once

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <vector>

#include "host/DrawnSize.h"
#include "host/Surface.h"
#include "host/TickPacer.h"
#include "host/WindowPlacement.h"
#include "host/x11/WindowEnlarger.h"

// Which window to draw on.
struct X11Target {
  enum Kind { OwnWindow, RootWindow, GivenWindow };
  Kind kind = OwnWindow;
  unsigned long window = 0;   // GivenWindow: its id
  bool preview = false;       // GivenWindow: it is the settings dialog's preview
  WindowPlacement placement;  // OwnWindow: where it goes and how large it is
  // Called once the screen's size is known and before OpenGL starts (to choose the renderer's
  // threads); may be empty.
  std::function<void(PixelSize screen)> beforeOpenGL;
};

class X11Surface : public Surface {
 public:
  // `wakeFd` (may be -1) is polled with the X connection; readable means Interrupt.
  // `tickMicroseconds` is the time from the start of one tick to the start of the next.
  X11Surface(X11Target target, long tickMicroseconds, int wakeFd);
  ~X11Surface() override;
  X11Surface(const X11Surface&) = delete;
  X11Surface& operator=(const X11Surface&) = delete;

  // Opens the display (null: $DISPLAY), finds or makes the window, creates the context and
  // makes it current. False with *error saying what went wrong and what to do.
  bool create(const char* displayName, std::string* error);

  bool makeCurrent() override;
  void setDrawableSize(int width, int height) override;
  std::string cannotEnlarge() const override;
  int width() const override { return width_; }
  int height() const override { return height_; }
  bool isPreview() const override { return target_.preview; }
  int shownWidth() const override;
  int shownHeight() const override;
  PixelArea shownEverywhere() const override;
  void toggleFullscreen() override {
    if (ownWindow_) {
      setFullscreen(!fullscreen_);
    }
  }
  SurfaceEvent waitForTick() override;
  bool present(std::string* error) override;

 private:
  // Own window (X11OwnWindow.cpp): made where -geometry places it, or filling the screen.
  bool createOwnWindow(std::string* error);
  bool adoptWindow(Window window, std::string* error);
  // The first X error since it was last cleared, as the process-wide handler recorded it.
  int xError() const;
  // Handles one X event; true when it produced something to report in *event.
  bool handleEvent(const XEvent& xevent, SurfaceEvent* event);
  // Foreign windows may change size without telling us in time: ask each tick.
  bool checkForeignSize(SurfaceEvent* event);
  bool lostWindow(SurfaceEvent* event);
  // Records whether the window is mapped and fully covered; true with Hidden or Shown in
  // *event when that changes whether it can be seen.
  bool noteVisibility(bool mapped, bool obscured, SurfaceEvent* event);
  // Own window: fill the screen or go back to the window's place and size. A window manager
  // that knows the full-screen state is asked; without one the window is moved and sized.
  void setFullscreen(bool fullscreen);
  bool windowManagerKnowsFullscreen();
  // Turns a key press into a Key event.
  bool keyPressed(const XKeyEvent& key, SurfaceEvent* event);
  std::string windowName() const;
  // Records a new window size; true with Resized in *event when the drawn size changed.
  bool windowResized(int width, int height, SurfaceEvent* event);
  // The root window: finds its monitors again; true with Resized in *event when they changed.
  bool followMonitors(SurfaceEvent* event);
  // The largest monitor, when the picture goes on several.
  const XRectangle* largestMonitor() const;

  X11Target target_;
  TickPacer pacer_;
  int wakeFd_;
  std::string displayName_;
  Display* display_ = nullptr;
  XVisualInfo* visual_ = nullptr;
  Colormap colormap_ = 0;
  Window window_ = 0;
  bool ownWindow_ = false;
  GLXContext context_ = nullptr;
  bool doubleBuffered_ = false;
  Atom deleteWindow_ = 0;
  int glxErrorBase_ = 0;
  int windowWidth_ = 0;
  int windowHeight_ = 0;
  int width_ = 0;  // the drawable
  int height_ = 0;
  WindowEnlarger enlarger_;
  std::string enlargeProblem_;  // why enlarging failed here, once it did
  bool pendingResize_ = false;  // a Resized to report: the drawable cannot be enlarged after all
  bool mapped_ = false;         // as the window system last said; a new own window maps soon
  bool fullscreen_ = false;
  XRectangle windowed_ = {};          // the own window's place and size when not filling the screen
  std::vector<XRectangle> monitors_;  // the root window's, when more than one; else empty
  int randrEventBase_ = -1;
  bool obscured_ = false;  // fully covered by other windows
  XErrorHandler previousErrorHandler_ = nullptr;
  XIOErrorHandler previousIoErrorHandler_ = nullptr;
};
