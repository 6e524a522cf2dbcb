#define GL_GLEXT_PROTOTYPES 1
#include "host/wayland/WaylandSurface.h"

#include <EGL/eglext.h>
#include <GL/glext.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

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
    : target_(target), pacer_(tickMicroseconds, wakeFd) {
  window_.fullscreen = target.fullscreen;
}

WaylandSurface::~WaylandSurface() {
  if (display_ == nullptr) {
    return;
  }
  if (egl_.context != EGL_NO_CONTEXT) {
    eglMakeCurrent(egl_.display, EGL_NO_SURFACE, EGL_NO_SURFACE, egl_.context);
    picture_.release();
  }
  for (WaylandOutput& output : outputs_) {
    releaseOutput(&output, egl_);
  }
  outputs_.clear();
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
    if (window_.entered == output.output && window_.canvas.surface != nullptr) {
      scaleCanvas(&window_.canvas, output.scale);
    }
  }
}

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

WaylandCanvas* WaylandSurface::drawingCanvas() {
  WaylandCanvas* largest = nullptr;
  forEachCanvas([&](WaylandCanvas* canvas) {
    if (canvas->drawable() &&
        (largest == nullptr ||
         static_cast<long>(canvas->pixelWidth()) * canvas->pixelHeight() >
             static_cast<long>(largest->pixelWidth()) * largest->pixelHeight())) {
      largest = canvas;
    }
  });
  return largest;
}

void WaylandSurface::sizeCanvases() {
  const WaylandCanvas* drawing = drawingCanvas();
  forEachCanvas([&](WaylandCanvas* canvas) {
    // Until the view's drawable follows a new largest canvas, that canvas keeps its own size.
    const bool drawn = canvas == drawing && canvas->pixels() == shown_;
    sizeCanvas(canvas, egl_, viewporter_, drawn ? drawable_ : PixelSize{});
  });
}

void WaylandSurface::setDrawableSize(int width, int height) {
  drawable_ = PixelSize{width, height};
  sizeCanvases();
}

std::string WaylandSurface::cannotEnlarge() const {
  return viewporter_ != nullptr ? ""
                                : "the Wayland compositor offers no wp_viewporter, which showing "
                                  "a picture drawn smaller needs";
}

bool WaylandSurface::followLargest() {
  const WaylandCanvas* largest = drawingCanvas();
  // With no canvas left, the last size stays until one comes.
  if (largest == nullptr || PixelSize{largest->pixelWidth(), largest->pixelHeight()} == shown_) {
    return false;
  }
  shown_ = PixelSize{largest->pixelWidth(), largest->pixelHeight()};
  return true;
}

bool WaylandSurface::anyCanvasReady() {
  bool ready = false;
  forEachCanvas([&](WaylandCanvas* canvas) { ready = ready || canvas->ready(); });
  return ready;
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

void WaylandSurface::showPicture(WaylandCanvas* canvas) {
  if (!eglMakeCurrent(egl_.display, canvas->eglSurface, canvas->eglSurface, egl_.context)) {
    return;
  }
  // Cover the canvas: scale the picture by the larger ratio and crop the rest evenly.
  const int width = canvas->buffer.width;
  const int height = canvas->buffer.height;
  const double scale = std::max(static_cast<double>(width) / drawable_.width,
                                static_cast<double>(height) / drawable_.height);
  const int shownWidth = std::min(drawable_.width, static_cast<int>(std::lround(width / scale)));
  const int shownHeight = std::min(drawable_.height, static_cast<int>(std::lround(height / scale)));
  const int left = (drawable_.width - shownWidth) / 2;
  const int bottom = (drawable_.height - shownHeight) / 2;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, picture_.name());
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glBlitFramebuffer(left, bottom, left + shownWidth, bottom + shownHeight, 0, 0, width, height,
                    GL_COLOR_BUFFER_BIT, GL_LINEAR);
  swapCanvas(canvas, egl_);
}

bool WaylandSurface::present(std::string* error) {
  auto ready = [](const WaylandCanvas* canvas) { return canvas->ready() && !canvas->dirty; };
  WaylandCanvas* drawing = drawingCanvas();
  bool others = false;
  forEachCanvas([&](WaylandCanvas* canvas) { others = others || canvas != drawing; });
  if (drawing != nullptr && others) {
    // Kept before the swap, which leaves the back buffer undefined.
    if (!picture_.resize(drawable_.width, drawable_.height)) {
      *error = "cannot keep a " + std::to_string(drawable_.width) + "x" +
               std::to_string(drawable_.height) +
               " picture in a framebuffer object; try a smaller --scale or output";
      return false;
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);  // it would clip the copies
    glBlitFramebuffer(0, 0, drawable_.width, drawable_.height, 0, 0, drawable_.width,
                      drawable_.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    forEachCanvas([&](WaylandCanvas* canvas) {
      if (canvas != drawing && ready(canvas)) {
        showPicture(canvas);
      }
    });
    if (scissor) {
      glEnable(GL_SCISSOR_TEST);
    }
    makeCurrent();
  }
  if (drawing != nullptr && ready(drawing)) {
    swapCanvas(drawing, egl_);
  }
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
    *error = connectionFailure();
    return false;
  }
  return makeCurrent();
}

void WaylandSurface::toggleFullscreen() {
  if (target_.kind == WaylandTarget::Window) {  // a layer surface covers its output already
    setWindowFullscreen(&window_, !window_.fullscreen);
    wl_display_flush(display_);
  }
}
