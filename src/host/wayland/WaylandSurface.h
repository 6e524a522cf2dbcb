// The Wayland surface: a native client on libwayland-client that draws with EGL (a desktop
// OpenGL compatibility context on wl_egl_window), in a window of its own (xdg-shell) or on a
// layer of every output or of the one named (wlr-layer-shell: the background or bottom layer for
// a live wallpaper, the overlay layer for screen saving). Sizes are in pixels unless called
// logical.
//
// Supports: its own window (-geometry's size, --fullscreen, f, s, q, Escape, Ctrl-C and the
// compositor's close); a layer surface on every output, or on --output's whenever it is there,
// as outputs come, change and go (the saver ends on any key, button or pointer move, and when a
// screen locker takes the pointer); hidden surfaces (no frame callbacks: no ticks) and, under
// sway, wallpapers under windows that cover them (SwayCoverage); a smaller drawable (--scale)
// where the compositor has wp_viewporter; --delay. Does not: place a window (a position cannot
// be asked for on Wayland); show the picture on more than the largest output without
// wp_viewporter.
//
// One state for the connection and its globals, and a record each for the seat, the window and
// every output (WaylandSeat, WaylandWindow, WaylandOutput), which their listeners fill in and
// this surface acts on. One engine serves every output: the process has one view and so one
// shown size, that of the largest canvas in pixels (logical size times integer scale), and the
// view draws into that canvas's EGL window, of the drawable's size: present() swaps it, and
// where it is smaller than the canvas the compositor enlarges it (wp_viewporter). Every other
// canvas shows the part of the picture that covers it, read back once for each shape of output
// and scaled by the compositor (WaylandPicture). A tick waits until every output that the
// compositor shows has asked for a frame (WaylandShowing.cpp), so that each frame drawn is shown
// on all, and comes never sooner than one --delay after the last.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <string>

#include "host/DrawnSize.h"
#include "host/Surface.h"
#include "host/TickPacer.h"
#include "host/wayland/SwayCoverage.h"
#include "host/wayland/WaylandCanvas.h"
#include "host/wayland/WaylandOutput.h"
#include "host/wayland/WaylandPicture.h"
#include "host/wayland/WaylandSeat.h"
#include "host/wayland/WaylandWindow.h"

struct wl_display;
struct wl_registry;
struct wl_compositor;
struct xdg_wm_base;
struct zwlr_layer_shell_v1;
struct wp_viewporter;
struct wl_shm;

// What to draw on.
struct WaylandTarget {
  enum Kind { Window, Background, Bottom, Overlay };
  Kind kind = Window;
  std::string output;  // a layer: only on the output of this name (and again when it comes back)
  int width = 1024;    // Window: the size asked for, in logical pixels
  int height = 768;
  bool fullscreen = false;  // Window: ask the compositor for the whole output
  // Called once the outputs' sizes are known and before OpenGL starts (to choose the renderer's
  // threads), with the largest; may be empty.
  std::function<void(PixelSize screen)> beforeOpenGL;
};

class WaylandSurface : public Surface {
 public:
  // `wakeFd` (may be -1) is polled with the compositor's connection; readable means
  // Interrupt. `tickMicroseconds` is the shortest time from the start of one tick to the
  // start of the next.
  WaylandSurface(WaylandTarget target, long tickMicroseconds, int wakeFd);
  ~WaylandSurface() override;
  WaylandSurface(const WaylandSurface&) = delete;
  WaylandSurface& operator=(const WaylandSurface&) = delete;

  // Connects (null: $WAYLAND_DISPLAY), binds the globals, creates the context and the
  // surfaces and waits for their first size. False with *error saying what went wrong and
  // what to do.
  bool create(const char* displayName, std::string* error);
  // Why create could not reach the compositor, or "" when it did (whatever failed after).
  const std::string& unreachable() const { return unreachable_; }

  bool makeCurrent() override;
  int shownWidth() const override { return shown_.width; }
  int shownHeight() const override { return shown_.height; }
  void setDrawableSize(int width, int height) override;
  int width() const override { return drawable_.width; }
  int height() const override { return drawable_.height; }
  std::string cannotEnlarge() const override;
  PixelArea shownEverywhere() const override;
  SurfaceEvent waitForTick() override;
  bool present(std::string* error) override;
  void toggleFullscreen() override;

 private:
  static void addGlobal(void* data, wl_registry* registry, std::uint32_t name,
                        const char* interface, std::uint32_t version);
  static void removeGlobal(void* data, wl_registry* registry, std::uint32_t name);
  bool createContext(std::string* error);
  // Whether an output has the name --output gives; false with *error naming those there are.
  bool outputNamed(std::string* error) const;
  // Acts on what the listeners recorded: layers closed or wanted, the window's scale; and on
  // what sway's IPC says of the outputs windows cover.
  void followOutputs();
  // The largest drawable canvas, which the view draws on, or null when there is none.
  WaylandCanvas* drawingCanvas();
  // Gives each canvas its buffer: the drawing canvas the drawable's size, the others their own.
  void sizeCanvases();
  // Follows the largest canvas; true when the shown size changed.
  bool followLargest();
  // Whether a tick may be drawn: some canvas is ready (*any), and none that is not is still
  // awaited (*awaited: microseconds the longest of them still is).
  bool canvasesReady(bool* any, std::int64_t* awaited);
  // Reads and dispatches what the compositor sent, waiting up to `timeoutMilliseconds`
  // (-1: until something arrives). False when the connection failed.
  bool dispatch(int timeoutMilliseconds);
  std::string connectionFailure();
  template <typename Visit>
  void forEachCanvas(Visit visit);

  WaylandTarget target_;
  long tickMicroseconds_;
  TickPacer pacer_;

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;  // absent: the view draws every pixel, on one output
  wl_shm* shm_ = nullptr;
  WaylandSeat seat_;
  std::list<WaylandOutput> outputs_;  // a list: listeners hold pointers to the records
  WaylandWindow window_;              // Window only

  WaylandEgl egl_;
  WaylandPicture picture_;  // the drawn picture, shared with the other canvases
  SwayCoverage coverage_;   // wallpapers under sway: the outputs windows cover
  PixelSize shown_;         // the largest canvas's pixels
  PixelSize drawable_;      // its buffer, which the view draws into
  std::string lost_;        // set when the run cannot go on; says what happened
  std::string unreachable_;
};

template <typename Visit>
void WaylandSurface::forEachCanvas(Visit visit) {
  if (window_.canvas.surface != nullptr) {
    visit(&window_.canvas);
  }
  for (WaylandOutput& output : outputs_) {
    if (output.canvas.surface != nullptr) {
      visit(&output.canvas);
    }
  }
}
