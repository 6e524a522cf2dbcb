#include "support/Pictures.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::uint32_t BigEndian(const std::vector<unsigned char>& bytes, size_t at) {
  return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
         (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
}

// The 0..255 value of the bits under `mask`.
std::uint8_t Channel(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) {
    return 0;
  }
  int shift = 0;
  while (((mask >> shift) & 1) == 0) {
    shift++;
  }
  std::uint32_t maximum = mask >> shift;
  return static_cast<std::uint8_t>(((pixel & mask) >> shift) * 255 / maximum);
}

}  // namespace

bool readPng(const std::string& path, Frame* frame, std::string* error) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    *error = path + ": " + image.message;
    return false;
  }
  image.format = PNG_FORMAT_RGB;
  frame->width = static_cast<int>(image.width);
  frame->height = static_cast<int>(image.height);
  frame->rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, frame->rgb.data(), 0, nullptr)) {
    *error = path + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  return true;
}

bool readXwd(const std::string& path, Frame* frame, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  if (bytes.size() < 100) {
    *error = path + ": too short for an XWD header";
    return false;
  }
  auto field = [&](int index) { return BigEndian(bytes, static_cast<size_t>(index) * 4); };
  const std::uint32_t headerSize = field(0);
  const std::uint32_t version = field(1);
  const std::uint32_t format = field(2);
  const std::uint32_t width = field(4);
  const std::uint32_t height = field(5);
  const std::uint32_t byteOrder = field(7);
  const std::uint32_t bitsPerPixel = field(11);
  const std::uint32_t bytesPerLine = field(12);
  const std::uint32_t visualClass = field(13);
  const std::uint32_t masks[3] = {field(14), field(15), field(16)};
  const std::uint32_t colours = field(19);
  // TrueColor, or DirectColor as xwd reports some servers' 24-bit screens; pixels 3 or 4
  // bytes wide. xwd may say 24 bits a pixel for rows that hold 4 bytes a pixel, so the row
  // length decides.
  if (version != 7 || format != 2 || (visualClass != 4 && visualClass != 5) ||
      (bitsPerPixel != 32 && bitsPerPixel != 24) || width == 0) {
    *error = path + ": not a 24- or 32-bit TrueColor XWD picture";
    return false;
  }
  const size_t pixelBytes = bytesPerLine >= width * 4 ? 4 : 3;
  const size_t pixelsAt = headerSize + static_cast<size_t>(colours) * 12;
  if (bytesPerLine < width * pixelBytes ||
      bytes.size() < pixelsAt + static_cast<size_t>(bytesPerLine) * height) {
    *error = path + ": truncated";
    return false;
  }
  frame->width = static_cast<int>(width);
  frame->height = static_cast<int>(height);
  frame->rgb.resize(static_cast<size_t>(width) * height * 3);
  for (std::uint32_t y = 0; y < height; y++) {
    for (std::uint32_t x = 0; x < width; x++) {
      const unsigned char* p = &bytes[pixelsAt + y * bytesPerLine + x * pixelBytes];
      std::uint32_t pixel = 0;
      for (size_t b = 0; b < pixelBytes; b++) {
        size_t from = byteOrder == 0 ? pixelBytes - 1 - b : b;  // 0: least significant first
        pixel = (pixel << 8) | p[from];
      }
      std::uint8_t* out = &frame->rgb[(static_cast<size_t>(y) * width + x) * 3];
      for (int c = 0; c < 3; c++) {
        out[c] = Channel(pixel, masks[c]);
      }
    }
  }
  return true;
}

::testing::AssertionResult IsSymmetricKaleidoscope(const Frame& frame, int skipBottomRows) {
  if (frame.width <= 0 || frame.height <= 0) {
    return ::testing::AssertionFailure() << "the frame is empty";
  }
  Frame top = frame;
  top.height = std::max(0, frame.height - skipBottomRows);
  top.rgb.resize(static_cast<size_t>(top.width) * top.height * 3);
  double lit = litShareIn(top, 0, 0, top.width, top.height);
  if (lit < 0.01) {
    return ::testing::AssertionFailure() << "the frame is black (" << lit * 100 << "% lit)";
  }
  double mismatch = MirrorMismatch(top, 48);
  if (mismatch > 0.02) {
    return ::testing::AssertionFailure()
           << mismatch * 100 << "% of the pixels differ from their mirror image";
  }
  return ::testing::AssertionSuccess();
}

double litShareIn(const Frame& frame, int x, int y, int width, int height) {
  long lit = 0;
  long total = 0;
  for (int row = std::max(0, y); row < std::min(frame.height, y + height); row++) {
    for (int column = std::max(0, x); column < std::min(frame.width, x + width); column++) {
      const std::uint8_t* p = frame.at(column, row);
      lit += (p[0] > 16 || p[1] > 16 || p[2] > 16) ? 1 : 0;
      total++;
    }
  }
  return total == 0 ? 0.0 : double(lit) / total;
}
