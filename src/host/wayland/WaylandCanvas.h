// A wl_surface Vantor draws on, with its EGL window: the window's, or a layer surface's on one
// output. The compositor decides its logical size; its pixels are that size times the output's
// integer scale. Its buffer has that many pixels, or fewer when the picture is drawn smaller:
// the compositor then enlarges it over the surface (wp_viewporter), each pixel repeated where
// it scales by repeating pixels. Sizes are in pixels unless called logical. The surface that
// owns a canvas releases it with destroyCanvas.
#pragma once

#include <EGL/egl.h>

#include "host/DrawnSize.h"

struct wl_surface;
struct wp_viewport;
struct wp_viewporter;
struct wl_egl_window;
struct wl_callback;

// The EGL display, configuration and context every canvas is drawn with.
struct WaylandEgl {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLConfig config = nullptr;
  EGLContext context = EGL_NO_CONTEXT;
};

struct WaylandCanvas {
  wl_surface* surface = nullptr;
  wl_egl_window* eglWindow = nullptr;
  EGLSurface eglSurface = EGL_NO_SURFACE;
  wl_callback* frame = nullptr;     // the frame callback waited for; null: ready to draw
  wp_viewport* viewport = nullptr;  // made the first time the buffer is smaller than the surface
  PixelSize buffer;                 // the EGL window's size
  int logicalWidth = 0;
  int logicalHeight = 0;
  int scale = 1;
  bool configured = false;  // the compositor has given it a size
  bool dirty = false;       // size or scale changed since the EGL window was last sized
  PixelSize pixels() const { return PixelSize{pixelWidth(), pixelHeight()}; }

  int pixelWidth() const { return logicalWidth * scale; }
  int pixelHeight() const { return logicalHeight * scale; }
  bool drawable() const { return eglSurface != EGL_NO_SURFACE; }
  // Drawable, and its last frame's callback has come back: the compositor wants another.
  bool ready() const { return drawable() && frame == nullptr; }
};

// Records the compositor's logical size for the canvas (a configure event).
void configureCanvas(WaylandCanvas* canvas, int logicalWidth, int logicalHeight);
// Records the scale of the output the canvas is shown on.
void scaleCanvas(WaylandCanvas* canvas, int scale);
// Gives a configured canvas an EGL window of `buffer`'s size (none given: its pixel size) when
// that, its size or its scale changed; a smaller buffer is enlarged by the compositor through
// `viewporter`.
void sizeCanvas(WaylandCanvas* canvas, const WaylandEgl& egl, wp_viewporter* viewporter,
                PixelSize buffer = PixelSize{});
// Asks for the canvas's next frame callback and hands its back buffer to the compositor.
void swapCanvas(WaylandCanvas* canvas, const WaylandEgl& egl);
// Releases each of the canvas's objects, EGL's first; the record is empty after.
void destroyCanvas(WaylandCanvas* canvas, const WaylandEgl& egl);
