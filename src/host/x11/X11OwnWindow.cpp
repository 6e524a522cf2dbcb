// The X11 surface's own window: where it goes and how large it is, the hints a window manager
// reads, and switching it to full screen and back.
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>

#include "host/x11/X11Surface.h"

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
  if (xError() != 0) {
    *error = "cannot create a " + std::to_string(target_.placement.width) + "x" +
             std::to_string(target_.placement.height) + " window on display '" + displayName_ +
             "'; try a smaller -geometry";
    return false;
  }
  return true;
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
