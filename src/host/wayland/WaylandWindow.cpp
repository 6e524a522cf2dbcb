#include "host/wayland/WaylandWindow.h"

#include "host/ScopeView.h"
#include "host/wayland/Protocols.h"

namespace {

WaylandWindow* record(void* data) { return static_cast<WaylandWindow*>(data); }

void wmBasePing(void* /*data*/, xdg_wm_base* base, uint32_t serial) {
  xdg_wm_base_pong(base, serial);
}
const xdg_wm_base_listener kWmBaseListener = {wmBasePing};

void surfaceEnter(void* data, wl_surface* /*surface*/, wl_output* output) {
  record(data)->entered = output;
}
void surfaceLeave(void*, wl_surface*, wl_output*) {}
const wl_surface_listener kSurfaceListener = {surfaceEnter, surfaceLeave};

// The toplevel's size comes first (0x0: ours to choose); the surface's configure makes it count.
void xdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
  xdg_surface_ack_configure(surface, serial);
  WaylandCanvas& canvas = record(data)->canvas;
  configureCanvas(&canvas, canvas.logicalWidth, canvas.logicalHeight);
}
const xdg_surface_listener kXdgSurfaceListener = {xdgSurfaceConfigure};

void toplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
  WaylandCanvas& canvas = record(data)->canvas;
  if (width > 0 && height > 0 && (width != canvas.logicalWidth || height != canvas.logicalHeight)) {
    canvas.logicalWidth = width;
    canvas.logicalHeight = height;
    canvas.dirty = true;
  }
}
void toplevelClose(void* data, xdg_toplevel*) { record(data)->closeRequested = true; }
// Bound at version 2 or below: the later events do not come.
const xdg_toplevel_listener kToplevelListener = {toplevelConfigure, toplevelClose, nullptr,
                                                 nullptr};

}  // namespace

void answerPings(xdg_wm_base* wmBase) {
  xdg_wm_base_add_listener(wmBase, &kWmBaseListener, nullptr);
}

void createWindow(WaylandWindow* window, wl_compositor* compositor, xdg_wm_base* wmBase,
                  int logicalWidth, int logicalHeight) {
  WaylandCanvas& canvas = window->canvas;
  canvas.surface = wl_compositor_create_surface(compositor);
  wl_surface_add_listener(canvas.surface, &kSurfaceListener, window);
  window->xdgSurface = xdg_wm_base_get_xdg_surface(wmBase, canvas.surface);
  xdg_surface_add_listener(window->xdgSurface, &kXdgSurfaceListener, window);
  window->toplevel = xdg_surface_get_toplevel(window->xdgSurface);
  xdg_toplevel_add_listener(window->toplevel, &kToplevelListener, window);
  xdg_toplevel_set_title(window->toplevel, "Vantor");
  // The desktop entry's id, by which the compositor finds the window's name and icon.
  xdg_toplevel_set_app_id(window->toplevel, kVantorBundleIdentifier);
  if (window->fullscreen) {
    xdg_toplevel_set_fullscreen(window->toplevel, nullptr);
  }
  canvas.logicalWidth = logicalWidth;
  canvas.logicalHeight = logicalHeight;
  wl_surface_commit(canvas.surface);
}

void setWindowFullscreen(WaylandWindow* window, bool fullscreen) {
  window->fullscreen = fullscreen;
  if (window->toplevel == nullptr) {
    return;
  }
  if (fullscreen) {
    xdg_toplevel_set_fullscreen(window->toplevel, nullptr);
  } else {
    xdg_toplevel_unset_fullscreen(window->toplevel);
  }
}

void destroyWindow(WaylandWindow* window, const WaylandEgl& egl) {
  if (window->toplevel != nullptr) {
    xdg_toplevel_destroy(window->toplevel);
  }
  if (window->xdgSurface != nullptr) {
    xdg_surface_destroy(window->xdgSurface);
  }
  destroyCanvas(&window->canvas, egl);
  *window = WaylandWindow();
}
