// Vantor's own window on Wayland: an xdg-shell toplevel and the canvas it shows. A record its
// listeners fill in (the size the compositor gives, a close request, the output it entered)
// and the Wayland surface acts on.
#pragma once

#include "host/wayland/WaylandCanvas.h"

struct wl_compositor;
struct wl_output;
struct xdg_surface;
struct xdg_toplevel;
struct xdg_wm_base;

struct WaylandWindow {
  WaylandCanvas canvas;
  xdg_surface* xdgSurface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  wl_output* entered = nullptr;  // the output it was last shown on: its scale is the canvas's
  bool closeRequested = false;   // the compositor's close (a title bar's button, sway's kill)
  bool fullscreen = false;       // asked to fill its output
};

// Answers the compositor's pings, by which it tells a live client from a hung one.
void answerPings(xdg_wm_base* wmBase);
// Makes the window, `logicalWidth` x `logicalHeight` unless the compositor decides otherwise,
// and commits it so that the compositor configures it.
void createWindow(WaylandWindow* window, wl_compositor* compositor, xdg_wm_base* wmBase,
                  int logicalWidth, int logicalHeight);
// Asks the compositor to let the window fill its output, or to give it its own size again.
void setWindowFullscreen(WaylandWindow* window, bool fullscreen);
// Releases each of the window's objects in turn.
void destroyWindow(WaylandWindow* window, const WaylandEgl& egl);
