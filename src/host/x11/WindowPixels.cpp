#include "host/x11/WindowPixels.h"

#include <X11/Xutil.h>

#include <cstdio>

namespace {

// The 8 bits of `pixel` under `mask`, however wide the mask is.
std::uint8_t channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) {
    return 0;
  }
  int shift = 0;
  while (((mask >> shift) & 1) == 0) {
    shift++;
  }
  const unsigned long top = mask >> shift;
  return static_cast<std::uint8_t>(((pixel & mask) >> shift) * 255 / top);
}

}  // namespace

bool readWindowPixels(Display* display, Window window, int width, int height,
                      std::vector<std::uint8_t>* rgb, std::string* error) {
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) {
    *error = "the X server gave no picture of the window";
    return false;
  }
  rgb->resize(static_cast<size_t>(width) * height * 3);
  std::uint8_t* out = rgb->data();
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      const unsigned long pixel = XGetPixel(image, x, y);
      *out++ = channel(pixel, image->red_mask);
      *out++ = channel(pixel, image->green_mask);
      *out++ = channel(pixel, image->blue_mask);
    }
  }
  XDestroyImage(image);
  return true;
}
