#define GL_GLEXT_PROTOTYPES 1
#include "host/wayland/WaylandSurface.h"

#include <EGL/eglext.h>
#include <GL/glext.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>
#include <wayland-egl.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "host/Egl.h"
#include "host/GlDriver.h"
#include "xdg-shell-client.h"
// The protocol names a parameter `namespace`, a C++ keyword.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client.h"
#undef namespace

namespace {

// A surface whose frame callback has not come back this long (microseconds) past a due tick is
// one the compositor does not show.
constexpr std::int64_t kUnseenAfter = 1000000;

WaylandSurface* owner(void* data) { return static_cast<WaylandSurface*>(data); }

// The protocols' listeners: each hands its event to the surface (or the output record) it
// was registered with. Events the surface does not need are taken and dropped.

void registryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                    uint32_t version) {
  owner(data)->addGlobal(registry, name, interface, version);
}
void registryGlobalRemove(void* data, wl_registry* /*registry*/, uint32_t name) {
  owner(data)->removeGlobal(name);
}
const wl_registry_listener kRegistryListener = {registryGlobal, registryGlobalRemove};

void outputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                    const char*, int32_t) {}
void outputMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void outputDoneEvent(void* data, wl_output* /*output*/) {
  auto* output = static_cast<WaylandOutput*>(data);
  output->owner->outputDone(output);
}
void outputScale(void* data, wl_output* /*output*/, int32_t factor) {
  static_cast<WaylandOutput*>(data)->scale = std::max(1, factor);
}
void outputName(void*, wl_output*, const char*) {}
void outputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {outputGeometry, outputMode, outputDoneEvent,
                                            outputScale,    outputName, outputDescription};

void wmBasePing(void* data, xdg_wm_base* /*base*/, uint32_t serial) { owner(data)->pong(serial); }
const xdg_wm_base_listener kWmBaseListener = {wmBasePing};

void layerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                    uint32_t height) {
  auto* output = static_cast<WaylandOutput*>(data);
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  output->owner->configureCanvas(&output->canvas, serial, static_cast<int>(width),
                                 static_cast<int>(height));
}
void layerClosedEvent(void* data, zwlr_layer_surface_v1* /*layer*/) {
  auto* output = static_cast<WaylandOutput*>(data);
  output->owner->layerClosed(output);
}
const zwlr_layer_surface_v1_listener kLayerListener = {layerConfigure, layerClosedEvent};

void surfaceEnter(void* data, wl_surface* /*surface*/, wl_output* output) {
  owner(data)->canvasEntered(output);
}
void surfaceLeave(void*, wl_surface*, wl_output*) {}
const wl_surface_listener kSurfaceListener = {surfaceEnter, surfaceLeave};

void frameDone(void* data, wl_callback* callback, uint32_t /*time*/) {
  auto* canvas = static_cast<WaylandCanvas*>(data);
  wl_callback_destroy(callback);
  canvas->frame = nullptr;
}
const wl_callback_listener kFrameListener = {frameDone};

void seatCapabilitiesEvent(void* data, wl_seat* /*seat*/, uint32_t capabilities) {
  owner(data)->seatCapabilities(capabilities);
}
void seatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {seatCapabilitiesEvent, seatName};

}  // namespace

WaylandSurface::WaylandSurface(WaylandTarget target, long tickMicroseconds, int wakeFd)
    : target_(target), pacer_(tickMicroseconds, wakeFd) {}

WaylandSurface::~WaylandSurface() {
  if (display_ == nullptr) {
    return;
  }
  if (context_ != EGL_NO_CONTEXT) {
    eglMakeCurrent(eglDisplay_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
    framebuffer_.release();
  }
  while (!outputs_.empty()) {
    destroyOutput(&outputs_.front());
  }
  if (toplevel_ != nullptr) {
    xdg_toplevel_destroy(toplevel_);
  }
  if (xdgSurface_ != nullptr) {
    xdg_surface_destroy(xdgSurface_);
  }
  destroyCanvas(&window_);
  if (keyboard_ != nullptr) {
    wl_keyboard_destroy(keyboard_);
  }
  xkb_state_unref(keyState_);
  xkb_context_unref(keyContext_);
  if (pointer_ != nullptr) {
    wl_pointer_destroy(pointer_);
  }
  if (seat_ != nullptr) {
    wl_seat_destroy(seat_);
  }
  if (layerShell_ != nullptr) {
    zwlr_layer_shell_v1_destroy(layerShell_);
  }
  if (wmBase_ != nullptr) {
    xdg_wm_base_destroy(wmBase_);
  }
  if (compositor_ != nullptr) {
    wl_compositor_destroy(compositor_);
  }
  if (eglDisplay_ != EGL_NO_DISPLAY) {
    eglMakeCurrent(eglDisplay_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != EGL_NO_CONTEXT) {
      eglDestroyContext(eglDisplay_, context_);
    }
    // EGL keeps objects on our connection: it lets go of them before the connection closes.
    eglTerminate(eglDisplay_);
  }
  if (registry_ != nullptr) {
    wl_registry_destroy(registry_);
  }
  wl_display_flush(display_);
  wl_display_disconnect(display_);
}

bool WaylandSurface::create(const char* displayName, std::string* error) {
  display_ = wl_display_connect(displayName);
  if (display_ == nullptr) {
    const char* name = displayName != nullptr ? displayName : std::getenv("WAYLAND_DISPLAY");
    *error = std::string("cannot connect to the Wayland compositor '") +
             (name != nullptr ? name : "wayland-0") + "': " + std::strerror(errno) +
             "; check WAYLAND_DISPLAY and XDG_RUNTIME_DIR" +
             (target_.kind == WaylandTarget::Window ? ", or use --x11" : "");
    return false;
  }
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // The first round binds the globals, the second brings each output's description.
  if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) {
    *error = connectionFailure();
    return false;
  }
  if (compositor_ == nullptr) {
    *error = "the Wayland compositor offers no wl_compositor; use --x11 or --render DIR";
    return false;
  }
  if (target_.kind == WaylandTarget::Window && wmBase_ == nullptr) {
    *error =
        "the Wayland compositor offers no xdg_wm_base (xdg-shell), so it cannot show a window; "
        "use --x11 or --render DIR";
    return false;
  }
  if (target_.kind != WaylandTarget::Window && layerShell_ == nullptr) {
    *error =
        "the Wayland compositor offers no zwlr_layer_shell_v1 (wlr-layer-shell), which --layer "
        "needs; use a compositor that has it (sway, Hyprland, river, Wayfire, KDE Plasma)";
    return false;
  }
  if (!createContext(error)) {
    return false;
  }
  if (target_.kind == WaylandTarget::Window && !createWindow(error)) {
    return false;
  }
  // The surfaces' first configures answer their first commits.
  if (wl_display_roundtrip(display_) < 0) {
    *error = connectionFailure();
    return false;
  }
  forEachCanvas([&](WaylandCanvas* canvas) { sizeCanvas(canvas); });
  followLargest();
  if (!framebuffer_.resize(std::max(width_, 1), std::max(height_, 1))) {
    *error = "cannot make a " + std::to_string(width_) + "x" + std::to_string(height_) +
             " framebuffer to draw in; try a smaller window or output";
    return false;
  }
  return makeCurrent();
}

bool WaylandSurface::createContext(std::string* error) {
  eglDisplay_ =
      openEglDisplay(EGL_PLATFORM_WAYLAND_KHR, display_, "EGL on the Wayland connection", error);
  if (eglDisplay_ == EGL_NO_DISPLAY) {
    *error += "; install Mesa's EGL (libegl-mesa0) or use --x11";
    return false;
  }
  // The engine draws into a framebuffer object with its own depth buffer; the windows only
  // show its colours.
  const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                     EGL_WINDOW_BIT,
                                     EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT,
                                     EGL_RED_SIZE,
                                     8,
                                     EGL_GREEN_SIZE,
                                     8,
                                     EGL_BLUE_SIZE,
                                     8,
                                     EGL_NONE};
  context_ = createEglContext(eglDisplay_, configAttributes, &eglConfig_, error);
  if (context_ == EGL_NO_CONTEXT ||
      !eglMakeCurrent(eglDisplay_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) {
    if (context_ != EGL_NO_CONTEXT) {
      *error = eglFailure("making the OpenGL context current");
    }
    *error += "; install Mesa's OpenGL drivers (libgl1-mesa-dri) or use --x11";
    return false;
  }
  keepGlDriverMapped();
  return true;
}

bool WaylandSurface::createWindow(std::string* error) {
  window_.surface = wl_compositor_create_surface(compositor_);
  wl_surface_add_listener(window_.surface, &kSurfaceListener, this);
  xdgSurface_ = xdg_wm_base_get_xdg_surface(wmBase_, window_.surface);
  // The toplevel's size comes first (0x0: ours to choose); the surface's configure makes it
  // count.
  static const xdg_surface_listener kXdgSurfaceListener = {
      [](void* data, xdg_surface* surface, uint32_t serial) {
        xdg_surface_ack_configure(surface, serial);
        WaylandCanvas* window = &owner(data)->window_;
        owner(data)->configureCanvas(window, serial, window->logicalWidth, window->logicalHeight);
      }};
  xdg_surface_add_listener(xdgSurface_, &kXdgSurfaceListener, this);
  toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
  static const xdg_toplevel_listener kToplevelListener = {
      [](void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
        WaylandCanvas* window = &owner(data)->window_;
        if (width > 0 && height > 0 &&
            (width != window->logicalWidth || height != window->logicalHeight)) {
          window->logicalWidth = width;
          window->logicalHeight = height;
          window->dirty = true;
        }
      },
      [](void* data, xdg_toplevel*) { owner(data)->requestClose(); },
      // Bound at version 2 or below: later events do not come.
      nullptr, nullptr};
  xdg_toplevel_add_listener(toplevel_, &kToplevelListener, this);
  xdg_toplevel_set_title(toplevel_, "Vantor");
  xdg_toplevel_set_app_id(toplevel_, "vantor");
  if (target_.fullscreen) {
    toggleFullscreen();
  }
  window_.logicalWidth = target_.width;
  window_.logicalHeight = target_.height;
  wl_surface_commit(window_.surface);
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
    *error = connectionFailure();
    return false;
  }
  return true;
}

void WaylandSurface::addGlobal(wl_registry* registry, uint32_t name, const char* interface,
                               uint32_t version) {
  auto bind = [&](const wl_interface* type, uint32_t highest) {
    return wl_registry_bind(registry, name, type, std::min(version, highest));
  };
  if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
    compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
  } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
    wmBase_ = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 2));
    xdg_wm_base_add_listener(wmBase_, &kWmBaseListener, this);
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
    layerShell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 3));
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && seat_ == nullptr &&
             target_.kind != WaylandTarget::Background) {
    seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, 1));
    seatName_ = name;
    wl_seat_add_listener(seat_, &kSeatListener, this);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    outputs_.emplace_back();
    WaylandOutput& output = outputs_.back();
    output.owner = this;
    output.name = name;
    output.output = static_cast<wl_output*>(bind(&wl_output_interface, 4));
    wl_output_add_listener(output.output, &kOutputListener, &output);
  }
}

void WaylandSurface::removeGlobal(uint32_t name) {
  for (WaylandOutput& output : outputs_) {
    if (output.name == name) {
      destroyOutput(&output);
      return;
    }
  }
  if (seat_ != nullptr && name == seatName_) {
    seatCapabilities(0);
    wl_seat_destroy(seat_);
    seat_ = nullptr;
  }
}

void WaylandSurface::outputDone(WaylandOutput* output) {
  if (target_.kind != WaylandTarget::Window && output->layer == nullptr &&
      output->canvas.surface == nullptr && layerShell_ != nullptr) {
    createLayerSurface(output);
  }
  if (output->canvas.surface != nullptr && output->canvas.scale != output->scale) {
    output->canvas.scale = output->scale;
    output->canvas.dirty = true;
  }
}

void WaylandSurface::createLayerSurface(WaylandOutput* output) {
  WaylandCanvas& canvas = output->canvas;
  canvas.surface = wl_compositor_create_surface(compositor_);
  canvas.scale = output->scale;
  const bool overlay = target_.kind == WaylandTarget::Overlay;
  output->layer = zwlr_layer_shell_v1_get_layer_surface(
      layerShell_, canvas.surface, output->output,
      overlay ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND,
      overlay ? "vantor-saver" : "vantor-wallpaper");
  zwlr_layer_surface_v1_add_listener(output->layer, &kLayerListener, output);
  // Size 0x0 anchored to all four edges: the whole output, whatever its size; an exclusive
  // zone of -1 covers panels too.
  zwlr_layer_surface_v1_set_size(output->layer, 0, 0);
  zwlr_layer_surface_v1_set_anchor(
      output->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(output->layer, -1);
  if (overlay) {
    zwlr_layer_surface_v1_set_keyboard_interactivity(output->layer, 1);  // exclusive
  }
  wl_surface_commit(canvas.surface);
}

void WaylandSurface::configureCanvas(WaylandCanvas* canvas, uint32_t serial, int logicalWidth,
                                     int logicalHeight) {
  canvas->configureSerial = serial;
  if (!canvas->configured || logicalWidth != canvas->logicalWidth ||
      logicalHeight != canvas->logicalHeight) {
    canvas->dirty = true;
  }
  canvas->configured = true;
  canvas->logicalWidth = logicalWidth;
  canvas->logicalHeight = logicalHeight;
}

// The compositor took the layer away (its output is going, as a rule); the output's record
// stays until the output's global goes, and gets a new surface if the output comes back.
void WaylandSurface::layerClosed(WaylandOutput* output) {
  zwlr_layer_surface_v1_destroy(output->layer);  // the role goes before its surface
  output->layer = nullptr;
  destroyCanvas(&output->canvas);
}

void WaylandSurface::releaseEglWindow(WaylandCanvas* canvas) {
  if (canvas->eglSurface != EGL_NO_SURFACE) {
    // A surface that is current would outlive its window: draw nowhere first.
    if (eglGetCurrentSurface(EGL_DRAW) == canvas->eglSurface) {
      eglMakeCurrent(eglDisplay_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
    }
    eglDestroySurface(eglDisplay_, canvas->eglSurface);
    canvas->eglSurface = EGL_NO_SURFACE;
  }
  if (canvas->eglWindow != nullptr) {
    wl_egl_window_destroy(canvas->eglWindow);
    canvas->eglWindow = nullptr;
  }
}

void WaylandSurface::destroyCanvas(WaylandCanvas* canvas) {
  releaseEglWindow(canvas);
  if (canvas->frame != nullptr) {
    wl_callback_destroy(canvas->frame);
  }
  if (canvas->surface != nullptr) {
    wl_surface_destroy(canvas->surface);
  }
  *canvas = WaylandCanvas();
}

void WaylandSurface::destroyOutput(WaylandOutput* output) {
  if (output->layer != nullptr) {
    zwlr_layer_surface_v1_destroy(output->layer);
    output->layer = nullptr;
  }
  destroyCanvas(&output->canvas);
  if (output->output != nullptr) {
    if (wl_output_get_version(output->output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
      wl_output_release(output->output);
    } else {
      wl_output_destroy(output->output);
    }
  }
  outputs_.remove_if([&](const WaylandOutput& each) { return &each == output; });
}

void WaylandSurface::canvasEntered(wl_output* entered) {
  for (const WaylandOutput& output : outputs_) {
    if (output.output == entered && output.scale != window_.scale) {
      window_.scale = output.scale;
      window_.dirty = true;
    }
  }
}

void WaylandSurface::toggleFullscreen() {
  if (toplevel_ == nullptr) {
    return;  // a layer surface covers its output already
  }
  fullscreen_ = !fullscreen_;
  if (fullscreen_) {
    xdg_toplevel_set_fullscreen(toplevel_, nullptr);
  } else {
    xdg_toplevel_unset_fullscreen(toplevel_);
  }
  wl_display_flush(display_);
}

void WaylandSurface::pong(uint32_t serial) { xdg_wm_base_pong(wmBase_, serial); }

template <typename Visit>
void WaylandSurface::forEachCanvas(Visit visit) {
  if (window_.surface != nullptr) {
    visit(&window_);
  }
  for (WaylandOutput& output : outputs_) {
    if (output.canvas.surface != nullptr) {
      visit(&output.canvas);
    }
  }
}

void WaylandSurface::sizeCanvas(WaylandCanvas* canvas) {
  if (!canvas->configured || !canvas->dirty || canvas->logicalWidth <= 0 ||
      canvas->logicalHeight <= 0) {
    return;
  }
  canvas->dirty = false;
  wl_surface_set_buffer_scale(canvas->surface, canvas->scale);
  if (canvas->eglWindow != nullptr) {
    wl_egl_window_resize(canvas->eglWindow, canvas->pixelWidth(), canvas->pixelHeight(), 0, 0);
    return;
  }
  canvas->eglWindow =
      wl_egl_window_create(canvas->surface, canvas->pixelWidth(), canvas->pixelHeight());
  canvas->eglSurface = eglCreateWindowSurface(
      eglDisplay_, eglConfig_, reinterpret_cast<EGLNativeWindowType>(canvas->eglWindow), nullptr);
  if (canvas->eglSurface != EGL_NO_SURFACE &&
      eglMakeCurrent(eglDisplay_, canvas->eglSurface, canvas->eglSurface, context_)) {
    // Swapping must not wait for the compositor: the frame callbacks pace the drawing, one
    // surface at a time.
    eglSwapInterval(eglDisplay_, 0);
  }
}

bool WaylandSurface::followLargest() {
  int width = 0;
  int height = 0;
  forEachCanvas([&](WaylandCanvas* canvas) {
    if (canvas->eglSurface != EGL_NO_SURFACE &&
        static_cast<long>(canvas->pixelWidth()) * canvas->pixelHeight() >
            static_cast<long>(width) * height) {
      width = canvas->pixelWidth();
      height = canvas->pixelHeight();
    }
  });
  if (width == 0 || (width == width_ && height == height_)) {
    return false;  // with no surface left, the last size stays until one comes
  }
  width_ = width;
  height_ = height;
  if (framebuffer_.exists()) {
    eglMakeCurrent(eglDisplay_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
    framebuffer_.resize(width_, height_);
  }
  return true;
}

bool WaylandSurface::anyCanvasReady() const {
  auto ready = [](const WaylandCanvas& canvas) {
    return canvas.eglSurface != EGL_NO_SURFACE && canvas.frame == nullptr;
  };
  return ready(window_) || std::any_of(outputs_.begin(), outputs_.end(),
                                       [&](const WaylandOutput& out) { return ready(out.canvas); });
}

WaylandCanvas* WaylandSurface::soleCanvas() {
  WaylandCanvas* sole = nullptr;
  int count = 0;
  forEachCanvas([&](WaylandCanvas* canvas) {
    if (canvas->eglSurface != EGL_NO_SURFACE) {
      sole = canvas;
      count++;
    }
  });
  return count == 1 ? sole : nullptr;
}

bool WaylandSurface::makeCurrent() {
  if (context_ == EGL_NO_CONTEXT) {
    return false;
  }
  // One surface is drawn on directly: copying a picture costs about as much as drawing it.
  WaylandCanvas* sole = soleCanvas();
  if (sole != nullptr) {
    if (!eglMakeCurrent(eglDisplay_, sole->eglSurface, sole->eglSurface, context_)) {
      return false;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return true;
  }
  if (eglGetCurrentContext() != context_ &&
      !eglMakeCurrent(eglDisplay_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) {
    return false;
  }
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_.name());
  return true;
}

std::string WaylandSurface::connectionFailure() {
  const int code = wl_display_get_error(display_);
  if (code == EPROTO) {
    const wl_interface* interface = nullptr;
    uint32_t id = 0;
    const uint32_t error = wl_display_get_protocol_error(display_, &interface, &id);
    return "the Wayland compositor ended the connection over a protocol error (" +
           std::string(interface != nullptr ? interface->name : "unknown interface") + " error " +
           std::to_string(error) + "): " + std::strerror(code) + "; report it with the compositor";
  }
  return std::string("lost the connection to the Wayland compositor: ") +
         std::strerror(code != 0 ? code : EPIPE) + "; it stopped or restarted";
}

bool WaylandSurface::dispatch(int timeoutMilliseconds) {
  if (wl_display_prepare_read(display_) != 0) {
    return wl_display_dispatch_pending(display_) >= 0;  // events were queued already
  }
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(display_);
    return false;
  }
  if (pacer_.wait(wl_display_get_fd(display_), timeoutMilliseconds)) {
    if (wl_display_read_events(display_) < 0) {
      return false;
    }
  } else {
    wl_display_cancel_read(display_);
  }
  return wl_display_dispatch_pending(display_) >= 0;
}

SurfaceEvent WaylandSurface::waitForTick() {
  SurfaceEvent event;
  for (;;) {
    if (!lost_.empty()) {
      event.kind = SurfaceEvent::Lost;
      event.message = lost_;
      return event;
    }
    if (closeRequested_) {
      event.kind = SurfaceEvent::Close;
      return event;
    }
    if (!keys_.empty()) {
      event = keys_.front();
      keys_.pop_front();
      return event;
    }
    if (pacer_.woken()) {
      event.kind = SurfaceEvent::Interrupt;
      return event;
    }
    forEachCanvas([&](WaylandCanvas* canvas) { sizeCanvas(canvas); });
    if (followLargest()) {
      event.kind = SurfaceEvent::Resized;
      event.width = width_;
      event.height = height_;
      return event;
    }
    // The compositor shows none of our surfaces (another workspace, a screen turned off) when
    // no frame callback has come back for a second past a due tick; one coming back shows us.
    const bool ready = anyCanvasReady();
    if (pacer_.see(ready || (pacer_.seen() && pacer_.overdue() < kUnseenAfter), &event)) {
      return event;
    }
    if (ready && pacer_.tickDue()) {
      pacer_.takeTick();
      event.kind = SurfaceEvent::Tick;
      return event;
    }
    // With nothing ready to draw on, only the compositor or a signal can wake us (and, once,
    // the second after which we count as unseen).
    if (!dispatch(pacer_.millisecondsUntilOverdue(ready ? 0 : kUnseenAfter))) {
      lost_ = connectionFailure();
    }
  }
}

void WaylandSurface::swap(WaylandCanvas* canvas) {
  canvas->frame = wl_surface_frame(canvas->surface);
  wl_callback_add_listener(canvas->frame, &kFrameListener, canvas);
  eglSwapBuffers(eglDisplay_, canvas->eglSurface);
}

void WaylandSurface::showOn(WaylandCanvas* canvas) {
  if (!eglMakeCurrent(eglDisplay_, canvas->eglSurface, canvas->eglSurface, context_)) {
    return;
  }
  // Cover the canvas: scale the picture by the larger ratio and crop the rest evenly.
  const int width = canvas->pixelWidth();
  const int height = canvas->pixelHeight();
  const double scale =
      std::max(static_cast<double>(width) / width_, static_cast<double>(height) / height_);
  const int shownWidth = std::min(width_, static_cast<int>(std::lround(width / scale)));
  const int shownHeight = std::min(height_, static_cast<int>(std::lround(height / scale)));
  const int left = (width_ - shownWidth) / 2;
  const int bottom = (height_ - shownHeight) / 2;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_.name());
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glBlitFramebuffer(left, bottom, left + shownWidth, bottom + shownHeight, 0, 0, width, height,
                    GL_COLOR_BUFFER_BIT, GL_LINEAR);
  swap(canvas);
}

bool WaylandSurface::present(std::string* error) {
  auto ready = [](const WaylandCanvas* canvas) {
    return canvas->eglSurface != EGL_NO_SURFACE && canvas->frame == nullptr && !canvas->dirty;
  };
  WaylandCanvas* sole = soleCanvas();
  if (sole != nullptr) {
    if (ready(sole)) {
      swap(sole);
    }
  } else {
    // The engine asks for the back buffer, which a framebuffer object does not have; the
    // request is ignored and its error flag is cleared here, so nobody reads it later.
    for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; i++) {
    }
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);  // it would clip the copies
    forEachCanvas([&](WaylandCanvas* canvas) {
      if (ready(canvas)) {
        showOn(canvas);
      }
    });
    if (scissor) {
      glEnable(GL_SCISSOR_TEST);
    }
  }
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
    *error = connectionFailure();
    return false;
  }
  return makeCurrent();
}
