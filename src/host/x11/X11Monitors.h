// The monitors of an X screen, as rectangles of its root window in pixels: where `--root` centres
// a kaleidoscope each.
#pragma once

#include <X11/Xlib.h>

#include <vector>

// RandR's monitors (version 1.5), or Xinerama's heads where RandR's do not span the screen (a
// server that joins several screens into one through Xinerama, as Xephyr and Xorg's own
// Xinerama do, offers RandR for the first alone), or the whole screen as one.
std::vector<XRectangle> screenMonitors(Display* display, int screenWidth, int screenHeight);

// Asks for the events that say the monitors changed (RandR's screen, CRTC and output changes);
// the first event number of RandR in *eventBase, or -1 without RandR.
void watchMonitors(Display* display, Window root, int* eventBase);
