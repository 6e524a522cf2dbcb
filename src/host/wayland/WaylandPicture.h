// The picture shown on the outputs the view does not draw on: the part of the frame just drawn
// that covers an output (coverCrop's), read back once into a shared-memory buffer (wl_shm) that
// every output of that shape shows, scaled by the compositor (wp_viewporter). A further output
// then costs Vantor at most one read of its part, not a scaled copy and a swap of its own:
// measured under sway on llvmpipe, scaling the picture into each output's own EGL window with
// OpenGL cost more than drawing it. The part is read rather than cropped by the viewport's
// source, which wlroots' software renderer places wrongly. Sizes are in pixels.
//
// A buffer the compositor still shows (a hidden output keeps the last one it was given) is not
// written; up to kBuffers are kept, enough for outputs of four shapes, and made anew only when
// a part's size changes. The picture owns its buffers and their memory; the wl_shm global is
// the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/DrawnSize.h"

struct wl_buffer;
struct wl_shm;
struct WaylandCanvas;

class WaylandPicture {
 public:
  WaylandPicture() = default;
  ~WaylandPicture() { release(); }
  WaylandPicture(const WaylandPicture&) = delete;
  WaylandPicture& operator=(const WaylandPicture&) = delete;

  void setShm(wl_shm* shm) { shm_ = shm; }
  bool available() const { return shm_ != nullptr; }

  // Reads `part` of the current context's read buffer (the frame just drawn, bottom row first)
  // into a buffer the compositor does not hold. Null when all are held (the frame is not
  // shared), or, with *error set, when no buffer can be made.
  wl_buffer* capture(const PixelArea& part, std::string* error);
  // Gives the compositor `buffer`, `size` pixels, to show on `canvas` (one that shares), scaled
  // over it, and asks for the canvas's next frame.
  static void show(WaylandCanvas* canvas, wl_buffer* buffer, PixelSize size);
  // Destroys every buffer.
  void release();

 private:
  static constexpr int kBuffers = 8;
  struct Buffer {
    wl_buffer* buffer = nullptr;
    void* pixels = nullptr;
    std::size_t bytes = 0;
    PixelSize size;
    bool held = false;  // given to the compositor and not released yet
  };
  static void released(void* data, wl_buffer* buffer);
  bool make(Buffer* buffer, PixelSize size, std::string* error);
  static void destroy(Buffer* buffer);

  wl_shm* shm_ = nullptr;
  Buffer buffers_[kBuffers];
};
