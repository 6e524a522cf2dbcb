#include "host/RgbImage.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

void readDrawnImage(int width, int height, RgbImage* picture) {
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  picture->width = width;
  picture->height = height;
  picture->rgb.resize(rowBytes * static_cast<size_t>(height));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, picture->rgb.data());
  // OpenGL gives the bottom row first; swap rows in place.
  std::uint8_t* rgb = picture->rgb.data();
  for (int top = 0, bottom = height - 1; top < bottom; top++, bottom--) {
    std::swap_ranges(rgb + rowBytes * top, rgb + rowBytes * (top + 1), rgb + rowBytes * bottom);
  }
}

void enlargeImage(const RgbImage& from, int width, int height, RgbImage* to) {
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  to->width = width;
  to->height = height;
  to->rgb.resize(rowBytes * static_cast<size_t>(height));
  int lastSource = -1;
  for (int y = 0; y < height; y++) {
    std::uint8_t* row = to->rgb.data() + rowBytes * static_cast<size_t>(y);
    const int source = static_cast<int>(static_cast<long>(y) * from.height / height);
    if (source == lastSource) {
      std::memcpy(row, row - rowBytes, rowBytes);
      continue;
    }
    lastSource = source;
    const std::uint8_t* in = from.rgb.data() + static_cast<size_t>(source) * from.width * 3;
    for (int x = 0; x < width; x++) {
      std::memcpy(row + 3 * x, in + 3 * (static_cast<long>(x) * from.width / width), 3);
    }
  }
}
