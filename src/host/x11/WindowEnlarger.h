// Enlarges a frame drawn small over an X window once per frame, or shows it on each monitor of a
// root window, scaled to cover each (the part coverCrop gives). The view draws into the back
// buffer of a hidden window of the drawn size, with the shown window's visual (so the same
// context draws on either, and the engine has the back buffer it asks for); present() reads it
// back into a pixmap of that size (a shared-memory pixmap when the display shares memory with
// us, so the read is the only copy) and the X server's RENDER extension stretches the pixmap over
// the window, each pixel repeated (nearest neighbour). Measured at 3840x2160 on llvmpipe, with
// the CPU of the X server counted: this costs less than stretching a textured quad over the
// window (which takes longer than drawing the frame), less than repeating pixels ourselves into
// an image the window's size, which the server must then copy, and less than drawing into a
// corner of the window's own back buffer. Sizes are in pixels. The enlarger owns its hidden
// window, pixmap, pictures and shared memory; the display, the window and the OpenGL context
// are the caller's.
#pragma once

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrender.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class WindowEnlarger {
 public:
  WindowEnlarger() = default;
  ~WindowEnlarger() { release(); }
  WindowEnlarger(const WindowEnlarger&) = delete;
  WindowEnlarger& operator=(const WindowEnlarger&) = delete;

  // Whether the window's visual takes our pixels as they are (32 bits, 8 each of red, green
  // and blue, in this machine's byte order) and the display can stretch them (RENDER).
  static bool supports(Display* display, const XVisualInfo& visual);

  // Makes the hidden window and the buffers for frames of drawn size shown at window size, or,
  // with `places` (rectangles of the window), on each of those.
  // `failedSinceSync` says (and forgets) whether an X request failed since the last XSync:
  // shared memory that the server cannot attach leaves plain XPutImage.
  bool resize(Display* display, Window window, const XVisualInfo& visual, int drawnWidth,
              int drawnHeight, int windowWidth, int windowHeight,
              const std::function<bool()>& failedSinceSync, std::string* error,
              const std::vector<XRectangle>& places = {});
  // Frees everything; the hidden window must not be current.
  void release();
  bool active() const { return source_ != 0; }
  // The hidden window the view draws into while active.
  Window drawable() const { return hidden_; }

  // Reads the frame just drawn (the current context's read buffer) and puts it, enlarged, over
  // the whole window or each place.
  void present();

 private:
  // Makes the pixmap of the drawn size that the frame is read into, and image_ when the
  // frame is put into it rather than read into it directly.
  bool makePixmap(const XVisualInfo& visual, const std::function<bool()>& failedSinceSync);

  Display* display_ = nullptr;
  Window window_ = 0;
  Window hidden_ = 0;      // never mapped
  Colormap colormap_ = 0;  // the hidden window's
  GC gc_ = nullptr;
  int drawnWidth_ = 0;
  int drawnHeight_ = 0;
  std::vector<XRectangle> places_;  // where the frame goes: the whole window, or each monitor
  Pixmap pixmap_ = 0;               // the drawn frame, bottom row first
  Picture source_ = 0;
  Picture target_ = 0;
  XShmSegmentInfo shm_ = {};
  bool shared_ = false;               // shm_ is attached by the server
  bool sharedPixmap_ = false;         // and pixmap_'s pixels are shm_'s: no put needed
  XImage* image_ = nullptr;           // the frame as put into pixmap_, when not a shared pixmap
  std::vector<std::uint32_t> small_;  // image_'s pixels when not shared
  std::uint32_t* pixels_ = nullptr;   // where the frame is read back to
};
