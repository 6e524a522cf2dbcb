#include "host/wayland/WaylandCanvas.h"

#include <wayland-egl.h>

#include "host/wayland/Protocols.h"
#include "util/Clock.h"

namespace {

void frameDone(void* data, wl_callback* callback, uint32_t /*time*/) {
  wl_callback_destroy(callback);
  static_cast<WaylandCanvas*>(data)->frame = nullptr;
}
const wl_callback_listener kFrameListener = {frameDone};

// Lets go of the canvas's EGL window and surface, which must not stay current.
void dropEglWindow(WaylandCanvas* canvas, const WaylandEgl& egl) {
  if (canvas->eglSurface != EGL_NO_SURFACE) {
    if (eglGetCurrentSurface(EGL_DRAW) == canvas->eglSurface) {
      eglMakeCurrent(egl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, egl.context);
    }
    eglDestroySurface(egl.display, canvas->eglSurface);
    canvas->eglSurface = EGL_NO_SURFACE;
  }
  if (canvas->eglWindow != nullptr) {
    wl_egl_window_destroy(canvas->eglWindow);
    canvas->eglWindow = nullptr;
  }
  canvas->buffer = PixelSize{};
}

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
  if (!canvas->sized() || (!canvas->dirty && !canvas->shared && wanted == canvas->buffer)) {
    return;
  }
  if (canvas->shared) {  // drawn on again: as the EGL window's buffers come, upright and whole
    canvas->shared = false;
    wl_surface_set_buffer_transform(canvas->surface, WL_OUTPUT_TRANSFORM_NORMAL);
    wp_viewport_set_source(canvas->viewport, wl_fixed_from_int(-1), wl_fixed_from_int(-1),
                           wl_fixed_from_int(-1), wl_fixed_from_int(-1));
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

bool shareCanvas(WaylandCanvas* canvas, const WaylandEgl& egl, wp_viewporter* viewporter) {
  if (!canvas->sized() || (canvas->viewport == nullptr && viewporter == nullptr)) {
    return false;
  }
  dropEglWindow(canvas, egl);
  if (canvas->viewport == nullptr) {
    canvas->viewport = wp_viewporter_get_viewport(viewporter, canvas->surface);
  }
  if (!canvas->shared) {
    // The shared picture is read back bottom row first: the compositor turns it upright.
    wl_surface_set_buffer_scale(canvas->surface, 1);
    wl_surface_set_buffer_transform(canvas->surface, WL_OUTPUT_TRANSFORM_FLIPPED_180);
    canvas->shared = true;
  }
  canvas->dirty = false;
  return true;
}

void askForFrame(WaylandCanvas* canvas) {
  canvas->frame = wl_surface_frame(canvas->surface);
  wl_callback_add_listener(canvas->frame, &kFrameListener, canvas);
  canvas->askedAt = monotonicMicroseconds();
}

void swapCanvas(WaylandCanvas* canvas, const WaylandEgl& egl) {
  askForFrame(canvas);
  eglSwapBuffers(egl.display, canvas->eglSurface);
}

void destroyCanvas(WaylandCanvas* canvas, const WaylandEgl& egl) {
  // A surface that is current would outlive its window: it draws nowhere first.
  dropEglWindow(canvas, egl);
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
