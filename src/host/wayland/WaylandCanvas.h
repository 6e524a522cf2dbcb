// A wl_surface Vantor shows the picture on: the window's, or a layer surface's on one output.
// The compositor decides its logical size; its pixels are that size times the output's integer
// scale. The canvas the view draws on has an EGL window whose buffer has that many pixels, or
// fewer when the picture is drawn smaller: the compositor then enlarges it over the surface
// (wp_viewporter), each pixel repeated where it scales by repeating pixels. Every other canvas
// shows the picture shared from it (WaylandPicture), cropped and scaled by the compositor. Sizes
// are in pixels unless called logical. The surface that owns a canvas releases it with
// destroyCanvas.
#pragma once

#include <EGL/egl.h>

#include <cstdint>

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
  std::int64_t askedAt = 0;         // when it was asked for (monotonic microseconds)
  wp_viewport* viewport = nullptr;  // made the first time the compositor must scale the buffer
  PixelSize buffer;                 // the EGL window's size
  bool shared = false;              // it shows the shared picture, not an EGL window's
  bool covered = false;             // windows cover it whole: nobody sees it (SwayCoverage)
  int logicalWidth = 0;
  int logicalHeight = 0;
  int scale = 1;
  bool configured = false;  // the compositor has given it a size
  bool dirty = false;       // size or scale changed since the EGL window was last sized
  PixelSize pixels() const { return PixelSize{pixelWidth(), pixelHeight()}; }

  int pixelWidth() const { return logicalWidth * scale; }
  int pixelHeight() const { return logicalHeight * scale; }
  bool drawable() const { return eglSurface != EGL_NO_SURFACE; }
  // The compositor has given it a size to fill.
  bool sized() const {
    return surface != nullptr && configured && logicalWidth > 0 && logicalHeight > 0;
  }
  // Sized, drawn on or sharing, and its last frame's callback has come back: the compositor
  // wants another.
  bool ready() const { return (drawable() || shared) && frame == nullptr; }
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
// Makes a sized canvas one that shows the shared picture: without an EGL window, with a
// viewport (false when the compositor has no `viewporter`: then it shows nothing).
bool shareCanvas(WaylandCanvas* canvas, const WaylandEgl& egl, wp_viewporter* viewporter);
// Asks for the canvas's next frame callback, which pacing waits for.
void askForFrame(WaylandCanvas* canvas);
// Asks for the canvas's next frame callback and hands its back buffer to the compositor.
void swapCanvas(WaylandCanvas* canvas, const WaylandEgl& egl);
// Releases each of the canvas's objects, EGL's first; the record is empty after.
void destroyCanvas(WaylandCanvas* canvas, const WaylandEgl& egl);
