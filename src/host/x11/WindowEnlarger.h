// Draws the view's frames small and enlarges them over an X window once per frame. The view
// draws into an OpenGL framebuffer object of the drawn size; present() reads it back and repeats
// each pixel (nearest neighbour) into an XImage the size of the window, which it puts with
// MIT-SHM when the display shares memory with us and with a plain XPutImage otherwise. On a
// software renderer this costs far less than stretching a textured quad over the window.
// Sizes are in pixels. The enlarger owns its GL objects (made and freed on the current
// context), its XImage and its shared memory; the display and window are the caller's.
#pragma once

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

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

  // Whether the window's visual takes our pixels as they are: 32 bits, 8 each of red, green
  // and blue, in this machine's byte order.
  static bool supports(Display* display, const XVisualInfo& visual);

  // Makes the buffers for frames of drawn size shown at window size, and leaves the
  // framebuffer object bound for the view to draw into. Needs the context current.
  // `failedSinceSync` says (and forgets) whether an X request failed since the last XSync:
  // shared memory that the server cannot attach leaves the plain XPutImage.
  bool resize(Display* display, Window window, const XVisualInfo& visual, int drawnWidth,
              int drawnHeight, int windowWidth, int windowHeight,
              const std::function<bool()>& failedSinceSync, std::string* error);
  // Frees everything; draws go to the window's own buffers again. Needs the context current
  // when GL objects were made.
  void release();
  bool active() const { return framebuffer_ != 0; }

  // Reads the frame just drawn and puts it, enlarged, over the whole window.
  void present();

 private:
  bool makeImage(const XVisualInfo& visual, const std::function<bool()>& failedSinceSync);

  Display* display_ = nullptr;
  Window window_ = 0;
  GC gc_ = nullptr;
  GLuint framebuffer_ = 0;
  GLuint color_ = 0;
  GLuint depth_ = 0;
  int drawnWidth_ = 0;
  int drawnHeight_ = 0;
  int windowWidth_ = 0;
  int windowHeight_ = 0;
  XImage* image_ = nullptr;
  XShmSegmentInfo shm_ = {};
  bool shared_ = false;               // image_ lives in shared memory attached by the server
  std::vector<std::uint32_t> plain_;  // image_'s pixels when not shared
  std::vector<std::uint32_t> small_;  // the frame read back, bottom row first
  std::vector<int> columns_;          // for each window column, the drawn column it shows
};
