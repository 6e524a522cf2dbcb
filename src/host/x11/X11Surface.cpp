#include "host/x11/X11Surface.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "host/GlDriver.h"
#include "host/Say.h"

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
  enlarger_.release();  // while the display is open and the context current
  glXMakeCurrent(display_, None, nullptr);
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

void X11Surface::setDrawableSize(int width, int height) {
  width_ = width;
  height_ = height;
  if ((width >= windowWidth_ && height >= windowHeight_) || !cannotEnlarge().empty()) {
    enlarger_.release();
    glDisable(GL_SCISSOR_TEST);
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
                        shmRefused, &enlargeProblem_)) {
    pendingResize_ = true;  // the size is decided again, without enlarging
    return;
  }
  // Nothing outside the drawable is shown: clearing it would only cost time.
  glScissor(0, 0, width, height);
  glEnable(GL_SCISSOR_TEST);
}

bool X11Surface::windowResized(int width, int height, SurfaceEvent* event) {
  if (width == windowWidth_ && height == windowHeight_) {
    return false;
  }
  windowWidth_ = width;
  windowHeight_ = height;
  event->kind = SurfaceEvent::Resized;
  event->width = width;
  event->height = height;
  return true;
}

bool X11Surface::createOwnWindow(std::string* error) {
  const int screen = DefaultScreen(display_);
  // The view asks for a depth buffer; double buffering lets the host show only whole frames.
  int doubleBuffered[] = {GLX_RGBA, GLX_RED_SIZE,   1, GLX_GREEN_SIZE,   1,   GLX_BLUE_SIZE,
                          1,        GLX_DEPTH_SIZE, 1, GLX_DOUBLEBUFFER, None};
  int singleBuffered[] = {
      GLX_RGBA, GLX_RED_SIZE, 1, GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE, 1, GLX_DEPTH_SIZE, 1, None};
  visual_ = glXChooseVisual(display_, screen, doubleBuffered);
  if (visual_ == nullptr) {
    visual_ = glXChooseVisual(display_, screen, singleBuffered);
  }
  if (visual_ == nullptr) {
    *error = "the display '" + displayName_ +
             "' offers no OpenGL visual with a depth buffer; use --render DIR";
    return false;
  }
  Window root = RootWindow(display_, screen);
  const int screenWidth = DisplayWidth(display_, screen);
  const int screenHeight = DisplayHeight(display_, screen);
  if (target_.placement.sizeFromScreen &&
      (1024 > screenWidth * 2 / 3 || 768 > screenHeight * 2 / 3)) {
    const int width = std::min(screenWidth * 2 / 3, screenHeight * 2 / 3 * 4 / 3) / 4 * 4;
    target_.placement.width = std::max(width, 4);
    target_.placement.height = target_.placement.width * 3 / 4;
  }
  // Offsets from the far edges count from the screen's size (the window has no border).
  const int x = target_.placement.xFromRight
                    ? DisplayWidth(display_, screen) - target_.placement.width - target_.placement.x
                    : target_.placement.x;
  const int y = target_.placement.yFromBottom ? DisplayHeight(display_, screen) -
                                                    target_.placement.height - target_.placement.y
                                              : target_.placement.y;
  colormap_ = XCreateColormap(display_, root, visual_->visual, AllocNone);
  XSetWindowAttributes attributes = {};
  attributes.colormap = colormap_;
  attributes.background_pixel = BlackPixel(display_, screen);
  attributes.border_pixel = 0;
  attributes.event_mask = StructureNotifyMask | VisibilityChangeMask | KeyPressMask | ExposureMask;
  window_ = XCreateWindow(display_, root, x, y, static_cast<unsigned>(target_.placement.width),
                          static_cast<unsigned>(target_.placement.height), 0, visual_->depth,
                          InputOutput, visual_->visual,
                          CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
  ownWindow_ = true;
  windowWidth_ = width_ = target_.placement.width;
  windowHeight_ = height_ = target_.placement.height;

  XStoreName(display_, window_, "Vantor");
  XClassHint classHint;
  char name[] = "vantor";
  char className[] = "Vantor";
  classHint.res_name = name;
  classHint.res_class = className;
  XSetClassHint(display_, window_, &classHint);
  if (target_.placement.hasPosition) {
    XSizeHints hints = {};
    // The gravity tells a window manager which corner the user placed, so that its frame
    // grows away from that screen edge rather than pushing the window off it.
    hints.flags = USPosition | USSize | PWinGravity;
    hints.x = x;
    hints.y = y;
    hints.win_gravity = target_.placement.xFromRight
                            ? (target_.placement.yFromBottom ? SouthEastGravity : NorthEastGravity)
                            : (target_.placement.yFromBottom ? SouthWestGravity : NorthWestGravity);
    hints.width = target_.placement.width;
    hints.height = target_.placement.height;
    XSetWMNormalHints(display_, window_, &hints);
  }
  deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display_, window_, &deleteWindow_, 1);
  windowed_ = {static_cast<short>(x), static_cast<short>(y),
               static_cast<unsigned short>(target_.placement.width),
               static_cast<unsigned short>(target_.placement.height)};
  if (target_.placement.fullscreen) {
    setFullscreen(true);
  }
  XMapWindow(display_, window_);
  XSync(display_, False);
  if (xErrorCode != 0) {
    *error = "cannot create a " + std::to_string(target_.placement.width) + "x" +
             std::to_string(target_.placement.height) + " window on display '" + displayName_ +
             "'; try a smaller -geometry";
    return false;
  }
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

bool X11Surface::makeCurrent() {
  return display_ != nullptr && context_ != nullptr &&
         glXMakeCurrent(display_, window_, context_) == True;
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
      event.width = windowWidth_;
      event.height = windowHeight_;
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

bool X11Surface::windowManagerKnowsFullscreen() {
  const Atom check = XInternAtom(display_, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) {
    return false;
  }
  Atom type = None;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  const bool running =
      XGetWindowProperty(display_, DefaultRootWindow(display_), check, 0, 1, False, XA_WINDOW,
                         &type, &format, &count, &left, &data) == Success &&
      count == 1;
  XFree(data);
  return running;
}

void X11Surface::setFullscreen(bool fullscreen) {
  fullscreen_ = fullscreen;
  const Atom state = XInternAtom(display_, "_NET_WM_STATE", False);
  const Atom full = XInternAtom(display_, "_NET_WM_STATE_FULLSCREEN", False);
  if (windowManagerKnowsFullscreen()) {
    if (!mapped_) {
      // Before the first map the state is a property the window manager reads.
      XChangeProperty(display_, window_, state, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&full), fullscreen ? 1 : 0);
      return;
    }
    XEvent message = {};
    message.xclient.type = ClientMessage;
    message.xclient.window = window_;
    message.xclient.message_type = state;
    message.xclient.format = 32;
    message.xclient.data.l[0] = fullscreen ? 1 : 0;  // add or remove
    message.xclient.data.l[1] = static_cast<long>(full);
    message.xclient.data.l[3] = 1;  // from a normal application
    XSendEvent(display_, DefaultRootWindow(display_), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &message);
  } else if (fullscreen) {
    const int screen = DefaultScreen(display_);
    XMoveResizeWindow(display_, window_, 0, 0,
                      static_cast<unsigned>(DisplayWidth(display_, screen)),
                      static_cast<unsigned>(DisplayHeight(display_, screen)));
    XRaiseWindow(display_, window_);
  } else {
    XMoveResizeWindow(display_, window_, windowed_.x, windowed_.y, windowed_.width,
                      windowed_.height);
  }
  XFlush(display_);
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
