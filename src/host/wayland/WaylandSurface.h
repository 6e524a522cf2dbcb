// The Wayland surface: a native client on libwayland-client that draws with EGL (a desktop
// OpenGL compatibility context on wl_egl_window), in a window of its own (xdg-shell) or on a
// layer of every output (wlr-layer-shell: the background layer for a live wallpaper, the
// overlay layer for screen saving). Sizes are in pixels unless called logical.
//
// One engine serves every output. The process has one view and so one frame size, that of
// the largest surface in pixels (logical size times integer scale). A single surface (the
// window, or the layer on a single output) is drawn on directly. With several, each tick draws
// once into a framebuffer object of that size, and each surface shows the picture scaled to
// cover its own pixel size, the excess cropped evenly from the longer side, and is swapped on
// its own. A tick is drawn only when some surface's frame callback has come back (a hidden
// surface asks for nothing and costs nothing), and never sooner than one --delay after the
// last.
#pragma once

#include <EGL/egl.h>
#include <GL/gl.h>

#include <cstdint>
#include <deque>
#include <list>
#include <string>

#include "host/Framebuffer.h"
#include "host/Surface.h"
#include "host/TickPacer.h"

struct wl_display;
struct wl_registry;
struct wl_compositor;
struct wl_seat;
struct wl_keyboard;
struct wl_pointer;
struct wl_output;
struct wl_surface;
struct wl_callback;
struct wl_egl_window;
struct xdg_wm_base;
struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;
struct xkb_context;
struct xkb_state;

// What to draw on.
struct WaylandTarget {
  enum Kind { Window, Background, Overlay };
  Kind kind = Window;
  int width = 1024;  // Window: the size asked for, in logical pixels
  int height = 768;
  bool fullscreen = false;  // Window: ask the compositor for the whole output
};

class WaylandSurface;

// A wl_surface we draw on, with its EGL window. The compositor decides its logical size; its
// buffer is that size times the integer scale. The WaylandSurface owns every object in it and
// releases them in destroyCanvas.
struct WaylandCanvas {
  wl_surface* surface = nullptr;
  wl_egl_window* eglWindow = nullptr;
  EGLSurface eglSurface = EGL_NO_SURFACE;
  wl_callback* frame = nullptr;  // the frame callback we wait for; null: ready to draw
  int logicalWidth = 0;
  int logicalHeight = 0;
  int scale = 1;
  std::uint32_t configureSerial = 0;
  bool configured = false;  // the compositor has given it a size
  bool dirty = false;       // size or scale changed since the EGL window was last sized

  int pixelWidth() const { return logicalWidth * scale; }
  int pixelHeight() const { return logicalHeight * scale; }
};

// One output of the compositor and, in a layer mode, the layer surface on it. Owned by the
// WaylandSurface's list; destroyOutput releases its objects and the record.
struct WaylandOutput {
  WaylandSurface* owner = nullptr;
  std::uint32_t name = 0;  // the registry's name for the global
  wl_output* output = nullptr;
  int scale = 1;  // as announced; applied when the output says it is done
  zwlr_layer_surface_v1* layer = nullptr;
  WaylandCanvas canvas;
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

  bool makeCurrent() override;
  void setDrawableSize(int /*width*/, int /*height*/) override {}  // the compositor decides
  int width() const override { return width_; }
  int height() const override { return height_; }
  SurfaceEvent waitForTick() override;
  bool present(std::string* error) override;
  void toggleFullscreen() override;

  // The protocol listeners reach the state through these; they are not for other callers.
  void addGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                 std::uint32_t version);
  void removeGlobal(std::uint32_t name);
  void outputDone(WaylandOutput* output);
  void configureCanvas(WaylandCanvas* canvas, std::uint32_t serial, int logicalWidth,
                       int logicalHeight);
  void layerClosed(WaylandOutput* output);
  void canvasEntered(wl_output* output);
  void seatCapabilities(std::uint32_t capabilities);
  void keymap(std::uint32_t format, int fd, std::uint32_t size);  // takes the descriptor
  void modifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked,
                 std::uint32_t group);
  void keyPressed(std::uint32_t key);
  void pointerAt(wl_surface* surface, double x, double y);
  void pointerButton();
  void requestClose() { closeRequested_ = true; }
  void pong(std::uint32_t serial);

 private:
  bool createContext(std::string* error);
  void createLayerSurface(WaylandOutput* output);
  bool createWindow(std::string* error);
  // Releases each object of the output in turn; the record goes with it.
  void destroyOutput(WaylandOutput* output);
  void destroyCanvas(WaylandCanvas* canvas);
  void releaseEglWindow(WaylandCanvas* canvas);
  // Gives a configured canvas whose size or scale changed an EGL window of its pixel size.
  void sizeCanvas(WaylandCanvas* canvas);
  // The one canvas with an EGL surface, or null when there are none or several.
  WaylandCanvas* soleCanvas();
  // Shows the framebuffer object's picture on the canvas, then swaps it.
  void showOn(WaylandCanvas* canvas);
  // Asks for the canvas's next frame callback and hands its back buffer to the compositor.
  void swap(WaylandCanvas* canvas);
  // Follows the largest canvas; true when the frame size changed.
  bool followLargest();
  bool anyCanvasReady() const;
  // Reads and dispatches what the compositor sent, waiting up to `timeoutMilliseconds`
  // (-1: until something arrives). False when the connection failed.
  bool dispatch(int timeoutMilliseconds);
  std::string connectionFailure();
  template <typename Visit>
  void forEachCanvas(Visit visit);

  WaylandTarget target_;
  TickPacer pacer_;

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  wl_seat* seat_ = nullptr;
  std::uint32_t seatName_ = 0;
  wl_keyboard* keyboard_ = nullptr;
  xkb_context* keyContext_ = nullptr;
  xkb_state* keyState_ = nullptr;  // the keyboard's map and modifiers; null until it sends one
  wl_pointer* pointer_ = nullptr;
  std::list<WaylandOutput> outputs_;  // a list: listeners hold pointers to the records

  // Window only.
  WaylandCanvas window_;
  xdg_surface* xdgSurface_ = nullptr;
  xdg_toplevel* toplevel_ = nullptr;

  EGLDisplay eglDisplay_ = EGL_NO_DISPLAY;
  EGLConfig eglConfig_ = nullptr;
  EGLContext context_ = EGL_NO_CONTEXT;
  Framebuffer framebuffer_;  // the frame several outputs share; made only for them
  int width_ = 0;
  int height_ = 0;

  // Where the pointer was first seen (surface-local, logical pixels), for the overlay.
  wl_surface* pointerSurface_ = nullptr;
  double pointerX_ = 0.0;
  double pointerY_ = 0.0;

  bool closeRequested_ = false;
  std::deque<SurfaceEvent> keys_;  // pressed and not yet reported
  bool fullscreen_ = false;        // Window: asked to fill the output
  std::string lost_;               // set when the run cannot go on; says what happened
};
