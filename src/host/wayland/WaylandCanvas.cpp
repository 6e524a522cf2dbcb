#include "host/wayland/WaylandCanvas.h"

#include <wayland-egl.h>

#include "host/wayland/Protocols.h"

namespace {

void frameDone(void* data, wl_callback* callback, uint32_t /*time*/) {
  wl_callback_destroy(callback);
  static_cast<WaylandCanvas*>(data)->frame = nullptr;
}
const wl_callback_listener kFrameListener = {frameDone};

}  // namespace

void configureCanvas(WaylandCanvas* canvas, int logicalWidth, int logicalHeight) {
  if (!canvas->configured || logicalWidth != canvas->logicalWidth ||
      logicalHeight != canvas->logicalHeight) {
    canvas->dirty = true;
  }
  canvas->configured = true;
  canvas->logicalWidth = logicalWidth;
  canvas->logicalHeight = logicalHeight;
}

void scaleCanvas(WaylandCanvas* canvas, int scale) {
  if (canvas->scale != scale) {
    canvas->scale = scale;
    canvas->dirty = true;
  }
}

void sizeCanvas(WaylandCanvas* canvas, const WaylandEgl& egl, wp_viewporter* viewporter,
                PixelSize buffer) {
  const PixelSize wanted = buffer.width > 0 ? buffer : canvas->pixels();
  if (canvas->surface == nullptr || !canvas->configured || canvas->logicalWidth <= 0 ||
      canvas->logicalHeight <= 0 || (!canvas->dirty && wanted == canvas->buffer)) {
    return;
  }
  canvas->dirty = false;
  canvas->buffer = wanted;
  const bool enlarged = wanted != canvas->pixels();
  wl_surface_set_buffer_scale(canvas->surface, enlarged ? 1 : canvas->scale);
  if (canvas->viewport == nullptr && enlarged && viewporter != nullptr) {
    canvas->viewport = wp_viewporter_get_viewport(viewporter, canvas->surface);
  }
  if (canvas->viewport != nullptr) {
    wp_viewport_set_destination(canvas->viewport, enlarged ? canvas->logicalWidth : -1,
                                enlarged ? canvas->logicalHeight : -1);
  }
  if (canvas->eglWindow != nullptr) {
    wl_egl_window_resize(canvas->eglWindow, wanted.width, wanted.height, 0, 0);
    return;
  }
  canvas->eglWindow = wl_egl_window_create(canvas->surface, wanted.width, wanted.height);
  canvas->eglSurface = eglCreateWindowSurface(
      egl.display, egl.config, reinterpret_cast<EGLNativeWindowType>(canvas->eglWindow), nullptr);
  if (canvas->eglSurface != EGL_NO_SURFACE &&
      eglMakeCurrent(egl.display, canvas->eglSurface, canvas->eglSurface, egl.context)) {
    // Swapping must not wait for the compositor: the frame callbacks pace the drawing, one
    // surface at a time.
    eglSwapInterval(egl.display, 0);
  }
}

void swapCanvas(WaylandCanvas* canvas, const WaylandEgl& egl) {
  canvas->frame = wl_surface_frame(canvas->surface);
  wl_callback_add_listener(canvas->frame, &kFrameListener, canvas);
  eglSwapBuffers(egl.display, canvas->eglSurface);
}

void destroyCanvas(WaylandCanvas* canvas, const WaylandEgl& egl) {
  if (canvas->eglSurface != EGL_NO_SURFACE) {
    // A surface that is current would outlive its window: draw nowhere first.
    if (eglGetCurrentSurface(EGL_DRAW) == canvas->eglSurface) {
      eglMakeCurrent(egl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, egl.context);
    }
    eglDestroySurface(egl.display, canvas->eglSurface);
  }
  if (canvas->eglWindow != nullptr) {
    wl_egl_window_destroy(canvas->eglWindow);
  }
  if (canvas->frame != nullptr) {
    wl_callback_destroy(canvas->frame);
  }
  if (canvas->viewport != nullptr) {
    wp_viewport_destroy(canvas->viewport);
  }
  if (canvas->surface != nullptr) {
    wl_surface_destroy(canvas->surface);
  }
  *canvas = WaylandCanvas();
}
