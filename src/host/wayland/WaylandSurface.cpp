#define GL_GLEXT_PROTOTYPES 1
#include "host/wayland/WaylandSurface.h"

#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "host/Egl.h"
#include "host/GlDriver.h"
#include "host/wayland/Protocols.h"

namespace {

// A surface whose frame callback has not come back this long (microseconds) past a due tick is
// one the compositor does not show.
constexpr std::int64_t kUnseenAfter = 1000000;

std::uint32_t layerOf(WaylandTarget::Kind kind) {
  return kind == WaylandTarget::Overlay  ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY
         : kind == WaylandTarget::Bottom ? ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM
                                         : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND;
}

}  // namespace

WaylandSurface::WaylandSurface(WaylandTarget target, long tickMicroseconds, int wakeFd)
    : target_(target), tickMicroseconds_(tickMicroseconds), pacer_(tickMicroseconds, wakeFd) {
  window_.fullscreen = target.fullscreen;
}

WaylandSurface::~WaylandSurface() {
  if (display_ == nullptr) {
    return;
  }
  for (WaylandOutput& output : outputs_) {
    releaseOutput(&output, egl_);
  }
  outputs_.clear();
  picture_.release();
  if (shm_ != nullptr) {
    wl_shm_destroy(shm_);
  }
  destroyWindow(&window_, egl_);
  releaseSeat(&seat_);
  if (layerShell_ != nullptr) {
    zwlr_layer_shell_v1_destroy(layerShell_);
  }
  if (wmBase_ != nullptr) {
    xdg_wm_base_destroy(wmBase_);
  }
  if (viewporter_ != nullptr) {
    wp_viewporter_destroy(viewporter_);
  }
  if (compositor_ != nullptr) {
    wl_compositor_destroy(compositor_);
  }
  if (egl_.display != EGL_NO_DISPLAY) {
    eglMakeCurrent(egl_.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (egl_.context != EGL_NO_CONTEXT) {
      eglDestroyContext(egl_.display, egl_.context);
    }
    // EGL keeps objects on our connection: it lets go of them before the connection closes.
    eglTerminate(egl_.display);
  }
  if (registry_ != nullptr) {
    wl_registry_destroy(registry_);
  }
  wl_display_flush(display_);
  wl_display_disconnect(display_);
}

bool WaylandSurface::create(const char* displayName, std::string* error) {
  const char* given = displayName != nullptr ? displayName : std::getenv("WAYLAND_DISPLAY");
  const std::string name = given != nullptr && given[0] != '\0' ? given : "wayland-0";
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  // libwayland would print a line of its own about a socket name it cannot place.
  const bool placed = name[0] == '/' || (runtime != nullptr && runtime[0] == '/');
  display_ = placed ? wl_display_connect(displayName) : nullptr;
  if (display_ == nullptr) {
    unreachable_ = "cannot connect to the Wayland compositor '" + name +
                   (placed ? "': " + std::string(std::strerror(errno)) : "': no XDG_RUNTIME_DIR");
    *error = unreachable_ + "; check WAYLAND_DISPLAY and XDG_RUNTIME_DIR" +
             (target_.kind == WaylandTarget::Window ? ", or use --x11" : "");
    return false;
  }
  registry_ = wl_display_get_registry(display_);
  static const wl_registry_listener kRegistryListener = {addGlobal, removeGlobal};
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
  if (!target_.output.empty() && !outputNamed(error)) {
    return false;
  }
  if (target_.beforeOpenGL) {
    PixelSize largest;
    for (const WaylandOutput& output : outputs_) {
      if (static_cast<long>(output.mode.width) * output.mode.height >
          static_cast<long>(largest.width) * largest.height) {
        largest = output.mode;
      }
    }
    target_.beforeOpenGL(largest);
  }
  if (!createContext(error)) {
    return false;
  }
  if (target_.kind == WaylandTarget::Window) {
    createWindow(&window_, compositor_, wmBase_, target_.width, target_.height);
  }
  followOutputs();
  // The surfaces' first configures answer their first commits.
  if (wl_display_roundtrip(display_) < 0) {
    *error = connectionFailure();
    return false;
  }
  followOutputs();
  sizeCanvases();
  followLargest();
  drawable_ = shown_;
  // A wallpaper under windows is drawn for nobody; where sway can say so, it is not drawn.
  if (target_.kind == WaylandTarget::Background || target_.kind == WaylandTarget::Bottom) {
    coverage_.connect();
  }
  return makeCurrent();
}

bool WaylandSurface::outputNamed(std::string* error) const {
  std::string names;
  for (const WaylandOutput& output : outputs_) {
    if (output.outputName == target_.output) {
      return true;
    }
    names += (names.empty() ? "" : ", ") + output.outputName;
  }
  // A compositor names its outputs from wl_output version 4 on.
  *error = names.empty()
               ? "the Wayland compositor does not name its outputs (wl_output 4), "
                 "which --output needs; leave --output out to draw on every output"
               : "there is no output named '" + target_.output + "'; the outputs are " + names;
  return false;
}

bool WaylandSurface::createContext(std::string* error) {
  egl_.display =
      openEglDisplay(EGL_PLATFORM_WAYLAND_KHR, display_, "EGL on the Wayland connection", error);
  if (egl_.display == EGL_NO_DISPLAY) {
    *error += "; install Mesa's EGL (libegl-mesa0) or use --x11";
    return false;
  }
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
                                     EGL_DEPTH_SIZE,
                                     1,
                                     EGL_NONE};
  egl_.context = createEglContext(egl_.display, configAttributes, &egl_.config, error);
  if (egl_.context == EGL_NO_CONTEXT ||
      !eglMakeCurrent(egl_.display, EGL_NO_SURFACE, EGL_NO_SURFACE, egl_.context)) {
    if (egl_.context != EGL_NO_CONTEXT) {
      *error = eglFailure("making the OpenGL context current");
    }
    *error += "; install Mesa's OpenGL drivers (libgl1-mesa-dri) or use --x11";
    return false;
  }
  keepGlDriverMapped();
  return true;
}

void WaylandSurface::addGlobal(void* data, wl_registry* registry, uint32_t name,
                               const char* interface, uint32_t version) {
  auto* self = static_cast<WaylandSurface*>(data);
  auto bind = [&](const wl_interface* type, uint32_t highest) {
    return wl_registry_bind(registry, name, type, std::min(version, highest));
  };
  if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
    self->compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
  } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
    self->wmBase_ = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 2));
    answerPings(self->wmBase_);
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    self->shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    self->picture_.setShm(self->shm_);
  } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
    self->viewporter_ = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
    self->layerShell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 3));
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat_.seat == nullptr &&
             (self->target_.kind == WaylandTarget::Window ||
              self->target_.kind == WaylandTarget::Overlay)) {
    bindSeat(&self->seat_, registry, name, self->target_.kind == WaylandTarget::Overlay);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    self->outputs_.emplace_back();
    bindOutput(&self->outputs_.back(), registry, name, version);
  }
}

void WaylandSurface::removeGlobal(void* data, wl_registry* /*registry*/, uint32_t name) {
  auto* self = static_cast<WaylandSurface*>(data);
  for (auto output = self->outputs_.begin(); output != self->outputs_.end(); ++output) {
    if (output->name == name) {
      releaseOutput(&*output, self->egl_);
      self->outputs_.erase(output);
      return;
    }
  }
  if (self->seat_.seat != nullptr && name == self->seat_.name) {
    releaseSeat(&self->seat_);
  }
}

void WaylandSurface::followOutputs() {
  for (WaylandOutput& output : outputs_) {
    if (output.layerClosed) {
      removeLayerSurface(&output, egl_);
    }
    const bool wanted = target_.output.empty() || output.outputName == target_.output;
    if (target_.kind != WaylandTarget::Window && output.described && output.layer == nullptr &&
        wanted) {
      addLayerSurface(&output, compositor_, layerShell_, layerOf(target_.kind));
    }
    output.canvas.covered = coverage_.covered(output.outputName);
    if (window_.entered == output.output && window_.canvas.surface != nullptr) {
      scaleCanvas(&window_.canvas, output.scale);
    }
  }
}

bool WaylandSurface::makeCurrent() {
  WaylandCanvas* drawing = drawingCanvas();
  if (egl_.context == EGL_NO_CONTEXT ||
      (drawing == nullptr
           ? !eglMakeCurrent(egl_.display, EGL_NO_SURFACE, EGL_NO_SURFACE, egl_.context)
           : !eglMakeCurrent(egl_.display, drawing->eglSurface, drawing->eglSurface,
                             egl_.context))) {
    return false;
  }
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
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
  if (pacer_.wait(wl_display_get_fd(display_), timeoutMilliseconds, coverage_.fd())) {
    if (wl_display_read_events(display_) < 0) {
      return false;
    }
  } else {
    wl_display_cancel_read(display_);
  }
  coverage_.read();  // followOutputs marks what it says
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
    if (window_.closeRequested || seat_.saverDone) {
      event.kind = SurfaceEvent::Close;
      return event;
    }
    if (!seat_.keys.empty()) {
      event = seat_.keys.front();
      seat_.keys.pop_front();
      return event;
    }
    if (pacer_.woken()) {
      event.kind = SurfaceEvent::Interrupt;
      return event;
    }
    followOutputs();
    sizeCanvases();
    if (followLargest()) {
      event.kind = SurfaceEvent::Resized;
      event.width = shown_.width;
      event.height = shown_.height;
      return event;
    }
    // The compositor shows none of our surfaces (another workspace, a screen turned off) when
    // no frame callback has come back for a second past a due tick; one coming back shows us.
    bool ready = false;
    std::int64_t awaited = 0;
    const bool allReady = canvasesReady(&ready, &awaited);
    if (pacer_.see(ready || (pacer_.seen() && pacer_.overdue() < kUnseenAfter), &event)) {
      return event;
    }
    if (allReady && pacer_.tickDue()) {
      pacer_.takeTick();
      event.kind = SurfaceEvent::Tick;
      return event;
    }
    // With nothing ready to draw on, only the compositor or a signal can wake us (and, once,
    // the second after which we count as unseen); with some, the tick or the slowest output.
    int timeout = pacer_.millisecondsUntilOverdue(ready ? 0 : kUnseenAfter);
    if (ready && timeout == 0) {
      timeout = static_cast<int>(awaited / 1000 + 1);
    }
    if (!dispatch(timeout)) {
      lost_ = connectionFailure();
    }
  }
}

void WaylandSurface::toggleFullscreen() {
  if (target_.kind == WaylandTarget::Window) {  // a layer surface covers its output already
    setWindowFullscreen(&window_, !window_.fullscreen);
    wl_display_flush(display_);
  }
}
