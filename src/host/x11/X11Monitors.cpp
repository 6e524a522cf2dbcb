#include "host/x11/X11Monitors.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

namespace {

// Whether `monitors` reach the screen's far edges: then they describe all of it.
bool spanScreen(const std::vector<XRectangle>& monitors, int width, int height) {
  int right = 0, bottom = 0;
  for (const XRectangle& monitor : monitors) {
    right = std::max(right, monitor.x + monitor.width);
    bottom = std::max(bottom, monitor.y + monitor.height);
  }
  return !monitors.empty() && right == width && bottom == height;
}

std::vector<XRectangle> randrMonitors(Display* display) {
  std::vector<XRectangle> monitors;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XRRQueryExtension(display, &eventBase, &errorBase) ||
      !XRRQueryVersion(display, &major, &minor) || major * 100 + minor < 105) {
    return monitors;
  }
  int count = 0;
  XRRMonitorInfo* info = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
  for (int i = 0; i < count; i++) {
    monitors.push_back(XRectangle{static_cast<short>(info[i].x), static_cast<short>(info[i].y),
                                  static_cast<unsigned short>(info[i].width),
                                  static_cast<unsigned short>(info[i].height)});
  }
  if (info != nullptr) {
    XRRFreeMonitors(info);
  }
  return monitors;
}

std::vector<XRectangle> xineramaHeads(Display* display) {
  std::vector<XRectangle> heads;
  int eventBase = 0, errorBase = 0, count = 0;
  if (!XineramaQueryExtension(display, &eventBase, &errorBase) || !XineramaIsActive(display)) {
    return heads;
  }
  XineramaScreenInfo* info = XineramaQueryScreens(display, &count);
  for (int i = 0; i < count; i++) {
    heads.push_back(XRectangle{info[i].x_org, info[i].y_org,
                               static_cast<unsigned short>(info[i].width),
                               static_cast<unsigned short>(info[i].height)});
  }
  if (info != nullptr) {
    XFree(info);
  }
  return heads;
}

}  // namespace

std::vector<XRectangle> screenMonitors(Display* display, int screenWidth, int screenHeight) {
  for (const std::vector<XRectangle>& monitors : {randrMonitors(display), xineramaHeads(display)}) {
    if (spanScreen(monitors, screenWidth, screenHeight)) {
      return monitors;
    }
  }
  return {XRectangle{0, 0, static_cast<unsigned short>(screenWidth),
                     static_cast<unsigned short>(screenHeight)}};
}

void watchMonitors(Display* display, Window root, int* eventBase) {
  int errorBase = 0;
  if (!XRRQueryExtension(display, eventBase, &errorBase)) {
    *eventBase = -1;
    return;
  }
  XRRSelectInput(display, root,
                 RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
}
