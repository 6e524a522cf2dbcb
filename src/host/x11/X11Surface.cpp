#include "host/x11/X11Surface.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "host/GlDriver.h"
#include "host/Say.h"
#include "host/x11/X11Monitors.h"

namespace {

// Xlib's error handlers are process-wide functions, so what they catch is kept here. An error
// on a window that went away must not print Xlib's dump: it is recorded and reported once.
int xErrorCode = 0;

// GLXBadDrawable, an offset from the GLX extension's error base (GLX protocol).
constexpr int kGlxBadDrawable = 2;

int recordXError(Display* /*display*/, XErrorEvent* error) {
  if (xErrorCode == 0) {
    xErrorCode = error->error_code;
  }
  return 0;
}

[[noreturn]] int loseConnection(Display* /*display*/) {
  say("lost the connection to the X display; it was closed or its server stopped");
  _exit(1);
}

std::string hex(unsigned long value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%lx", value);
  return text;
}

}  // namespace

X11Surface::X11Surface(X11Target target, long tickMicroseconds, int wakeFd)
    : target_(target), pacer_(tickMicroseconds, wakeFd), wakeFd_(wakeFd) {}

X11Surface::~X11Surface() {
  if (display_ == nullptr) {
    return;
  }
  glXMakeCurrent(display_, None, nullptr);
  enlarger_.release();
  if (context_ != nullptr) {
    glXDestroyContext(display_, context_);
  }
  if (ownWindow_) {
    XDestroyWindow(display_, window_);
  } else if (window_ != 0 && xErrorCode == 0) {
    XSelectInput(display_, window_, NoEventMask);  // hand the window back as we found it
  }
  if (colormap_ != 0) {
    XFreeColormap(display_, colormap_);
  }
  if (visual_ != nullptr) {
    XFree(visual_);
  }
  XSync(display_, False);  // errors about a vanished window arrive while ours is installed
  XCloseDisplay(display_);
  XSetErrorHandler(previousErrorHandler_);
  XSetIOErrorHandler(previousIoErrorHandler_);
}

bool X11Surface::create(const char* displayName, std::string* error) {
  displayName_ = XDisplayName(displayName);
  display_ = XOpenDisplay(displayName);
  if (display_ == nullptr) {
    *error =
        displayName_.empty()
            ? "no display: DISPLAY is not set; use --render DIR to draw without one"
            : "cannot open display '" + displayName_ + "'; use --render DIR to draw without one";
    return false;
  }
  if (target_.beforeOpenGL) {
    const Screen* screen = DefaultScreenOfDisplay(display_);
    target_.beforeOpenGL(PixelSize{WidthOfScreen(screen), HeightOfScreen(screen)});
  }
  xErrorCode = 0;
  previousErrorHandler_ = XSetErrorHandler(recordXError);
  previousIoErrorHandler_ = XSetIOErrorHandler(loseConnection);
  int eventBase = 0;
  if (!glXQueryExtension(display_, &glxErrorBase_, &eventBase)) {
    *error = "the display '" + displayName_ +
             "' has no OpenGL (GLX); use another display or --render DIR";
    return false;
  }
  switch (target_.kind) {
    case X11Target::OwnWindow:
      if (!createOwnWindow(error)) {
        return false;
      }
      break;
    case X11Target::RootWindow:
      if (!adoptWindow(DefaultRootWindow(display_), error)) {
        return false;
      }
      watchMonitors(display_, window_, &randrEventBase_);
      followMonitors(nullptr);
      pendingResize_ = false;  // the view starts at the largest monitor's size
      break;
    case X11Target::GivenWindow:
      if (!adoptWindow(static_cast<Window>(target_.window), error)) {
        return false;
      }
      break;
  }
  context_ = glXCreateContext(display_, visual_, nullptr, True);
  if (context_ == nullptr) {
    *error = "cannot create an OpenGL context for " + windowName() +
             "; check the display's GLX driver (glxinfo)";
    return false;
  }
  keepGlDriverMapped();
  int doubleBuffer = 0;
  glXGetConfig(display_, visual_, GLX_DOUBLEBUFFER, &doubleBuffer);
  doubleBuffered_ = doubleBuffer != 0;
  if (!makeCurrent()) {
    *error = "cannot make the OpenGL context current on " + windowName() +
             "; check the display's GLX driver (glxinfo)";
    return false;
  }
  noteVisibility(mapped_, obscured_, nullptr);  // a new own window is seen once it is mapped
  return true;
}

std::string X11Surface::cannotEnlarge() const {
  if (!WindowEnlarger::supports(display_, *visual_)) {
    return "cannot enlarge frames over " + windowName() +
           ": its visual is not 24-bit true colour or the display has no RENDER extension";
  }
  return enlargeProblem_;
}

int X11Surface::shownWidth() const {
  const XRectangle* largest = largestMonitor();
  return largest != nullptr ? largest->width : windowWidth_;
}

int X11Surface::shownHeight() const {
  const XRectangle* largest = largestMonitor();
  return largest != nullptr ? largest->height : windowHeight_;
}

const XRectangle* X11Surface::largestMonitor() const {
  const XRectangle* largest = nullptr;
  for (const XRectangle& monitor : monitors_) {
    if (largest == nullptr || monitor.width * monitor.height > largest->width * largest->height) {
      largest = &monitor;
    }
  }
  return largest;
}

PixelArea X11Surface::shownEverywhere() const {
  PixelArea common{0, 0, width_, height_};
  for (const XRectangle& monitor : monitors_) {
    common =
        alsoShownOn(common, PixelSize{width_, height_}, PixelSize{monitor.width, monitor.height});
  }
  return common;
}

bool X11Surface::followMonitors(SurfaceEvent* event) {
  std::vector<XRectangle> monitors = screenMonitors(display_, windowWidth_, windowHeight_);
  // One monitor is the window itself; a visual that cannot be enlarged onto gets one picture.
  if (monitors.size() < 2 || !WindowEnlarger::supports(display_, *visual_)) {
    monitors.clear();
  }
  const bool same =
      std::equal(monitors.begin(), monitors.end(), monitors_.begin(), monitors_.end(),
                 [](const XRectangle& a, const XRectangle& b) {
                   return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
                 });
  if (same) {
    return false;
  }
  monitors_ = std::move(monitors);
  pendingResize_ = true;  // the view's frame follows the largest, and the places change
  if (event != nullptr) {
    event->kind = SurfaceEvent::Resized;
    event->width = shownWidth();
    event->height = shownHeight();
    pendingResize_ = false;
  }
  return true;
}

void X11Surface::setDrawableSize(int width, int height) {
  width_ = width;
  height_ = height;
  glXMakeCurrent(display_, window_, context_);  // not on a hidden window about to go
  enlarger_.release();
  if ((width >= windowWidth_ && height >= windowHeight_ && monitors_.empty()) ||
      !cannotEnlarge().empty()) {
    return;
  }
  auto shmRefused = [] {
    if (xErrorCode != BadAccess) {
      return false;
    }
    xErrorCode = 0;
    return true;
  };
  if (!enlarger_.resize(display_, window_, *visual_, width, height, windowWidth_, windowHeight_,
                        shmRefused, &enlargeProblem_, monitors_)) {
    pendingResize_ = true;  // the size is decided again, without enlarging
    return;
  }
  makeCurrent();
}

bool X11Surface::windowResized(int width, int height, SurfaceEvent* event) {
  if (width == windowWidth_ && height == windowHeight_) {
    return false;
  }
  windowWidth_ = width;
  windowHeight_ = height;
  if (target_.kind == X11Target::RootWindow) {
    followMonitors(nullptr);
  }
  event->kind = SurfaceEvent::Resized;
  event->width = shownWidth();
  event->height = shownHeight();
  pendingResize_ = false;
  return true;
}

bool X11Surface::adoptWindow(Window window, std::string* error) {
  window_ = window;
  XWindowAttributes attributes;
  xErrorCode = 0;
  if (!XGetWindowAttributes(display_, window_, &attributes) || xErrorCode != 0) {
    *error = "there is no " + windowName() + " on display '" + displayName_ +
             "'; check the id given to --window-id or XSCREENSAVER_WINDOW";
    window_ = 0;
    xErrorCode = 0;
    return false;
  }
  // Only our own interest in the window changes: we hear when it is resized, destroyed,
  // unmapped or covered.
  XSelectInput(display_, window_, StructureNotifyMask | VisibilityChangeMask);
  mapped_ = attributes.map_state == IsViewable;
  windowWidth_ = width_ = attributes.width;
  windowHeight_ = height_ = attributes.height;
  XVisualInfo wanted = {};
  wanted.visualid = XVisualIDFromVisual(attributes.visual);
  int count = 0;
  visual_ = XGetVisualInfo(display_, VisualIDMask, &wanted, &count);
  int usesGl = 0;
  int depthBits = 0;
  if (visual_ != nullptr) {
    glXGetConfig(display_, visual_, GLX_USE_GL, &usesGl);
    glXGetConfig(display_, visual_, GLX_DEPTH_SIZE, &depthBits);
  }
  if (!usesGl || depthBits < 1) {
    *error = "the visual " + hex(wanted.visualid) + " of " + windowName() +
             " has no OpenGL depth buffer; give the window a GL visual (xscreensaver: list "
             "the hack as 'GL:')";
    return false;
  }
  XSync(display_, False);
  return true;
}

int X11Surface::xError() const { return xErrorCode; }

bool X11Surface::makeCurrent() {
  const Window drawable = enlarger_.active() ? enlarger_.drawable() : window_;
  return display_ != nullptr && context_ != nullptr &&
         glXMakeCurrent(display_, drawable, context_) == True;
}

std::string X11Surface::windowName() const {
  if (target_.kind == X11Target::RootWindow) {
    return "the root window";
  }
  return "window " + hex(target_.kind == X11Target::GivenWindow ? target_.window : window_);
}

bool X11Surface::lostWindow(SurfaceEvent* event) {
  if (xErrorCode == 0) {
    return false;
  }
  event->kind = SurfaceEvent::Lost;
  // A window destroyed under us shows as a bad window or drawable, whichever request of
  // ours or of the GL driver meets it first.
  if (xErrorCode == BadWindow || xErrorCode == BadDrawable ||
      xErrorCode == glxErrorBase_ + kGlxBadDrawable) {
    event->message = windowName() + " was destroyed; nothing left to draw on";
  } else {
    event->message = "drawing on " + windowName() + " failed (X error " +
                     std::to_string(xErrorCode) + "); check the display's GLX driver (glxinfo)";
  }
  return true;
}

bool X11Surface::handleEvent(const XEvent& xevent, SurfaceEvent* event) {
  if (randrEventBase_ >= 0 && (xevent.type == randrEventBase_ + RRScreenChangeNotify ||
                               xevent.type == randrEventBase_ + RRNotify)) {
    XEvent copy = xevent;
    XRRUpdateConfiguration(&copy);
    return followMonitors(event);
  }
  switch (xevent.type) {
    case ConfigureNotify:
      return xevent.xconfigure.window == window_ &&
             windowResized(xevent.xconfigure.width, xevent.xconfigure.height, event);
    case MapNotify:
    case UnmapNotify:
      if (xevent.xany.window != window_) {
        return false;
      }
      return noteVisibility(xevent.type == MapNotify, obscured_, event);
    case VisibilityNotify:
      return xevent.xvisibility.window == window_ &&
             noteVisibility(mapped_, xevent.xvisibility.state == VisibilityFullyObscured, event);
    case DestroyNotify:
      if (xevent.xdestroywindow.window != window_) {
        return false;
      }
      event->kind = SurfaceEvent::Lost;
      event->message = windowName() + " was destroyed; nothing left to draw on";
      return true;
    case ClientMessage:
      if (ownWindow_ && static_cast<Atom>(xevent.xclient.data.l[0]) == deleteWindow_) {
        event->kind = SurfaceEvent::Close;
        return true;
      }
      return false;
    case KeyPress:
      if (!ownWindow_) {
        return false;
      }
      return keyPressed(xevent.xkey, event);
    default:
      return false;
  }
}

bool X11Surface::checkForeignSize(SurfaceEvent* event) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display_, window_, &attributes) || xErrorCode != 0) {
    if (xErrorCode == 0) {
      xErrorCode = BadWindow;
    }
    return lostWindow(event);
  }
  return windowResized(attributes.width, attributes.height, event);
}

SurfaceEvent X11Surface::waitForTick() {
  SurfaceEvent event;
  for (;;) {
    if (lostWindow(&event)) {
      return event;
    }
    if (pendingResize_) {
      pendingResize_ = false;
      event.kind = SurfaceEvent::Resized;
      event.width = shownWidth();
      event.height = shownHeight();
      return event;
    }
    while (XPending(display_) > 0) {
      XEvent xevent;
      XNextEvent(display_, &xevent);
      if (handleEvent(xevent, &event)) {
        return event;
      }
    }
    if (pacer_.woken()) {
      event.kind = SurfaceEvent::Interrupt;
      return event;
    }
    if (pacer_.tickDue()) {
      if (!ownWindow_ && checkForeignSize(&event)) {
        return event;
      }
      pacer_.takeTick();
      event.kind = SurfaceEvent::Tick;
      return event;
    }
    pacer_.wait(ConnectionNumber(display_), pacer_.millisecondsUntilOverdue());
  }
}

bool X11Surface::keyPressed(const XKeyEvent& key, SurfaceEvent* event) {
  XKeyEvent copy = key;
  char text[8] = {};
  KeySym symbol = NoSymbol;
  XLookupString(&copy, text, sizeof text, &symbol, nullptr);
  event->kind = SurfaceEvent::Key;
  event->keysym = symbol;
  event->control = (key.state & ControlMask) != 0;
  return true;
}

bool X11Surface::noteVisibility(bool mapped, bool obscured, SurfaceEvent* event) {
  mapped_ = mapped;
  obscured_ = obscured;
  return pacer_.see(mapped_ && !obscured_, event);
}

bool X11Surface::present(std::string* error) {
  if (enlarger_.active()) {
    enlarger_.present();
  } else if (doubleBuffered_) {
    glXSwapBuffers(display_, window_);
  }
  XFlush(display_);
  SurfaceEvent event;
  if (lostWindow(&event)) {
    *error = event.message;
    return false;
  }
  return true;
}
