#include "host/offscreen/VideoStream.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>

namespace {

constexpr char kFrameMarker[] = "FRAME\n";
constexpr std::size_t kFrameMarkerLength = sizeof kFrameMarker - 1;

// BT.601 full range in 16-bit fixed point: Y = 0.299 R + 0.587 G + 0.114 B, and the colour
// differences Cb and Cr around 128; each row of weights sums to 65536 or 0.
constexpr int kYr = 19595, kYg = 38470, kYb = 7471;
constexpr int kCbR = -11059, kCbG = -21709, kCbB = 32768;
constexpr int kCrR = 32768, kCrG = -27439, kCrB = -5329;

std::uint8_t Clamp(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

VideoStream::VideoStream(int width, int height, double rate) : width_(width), height_(height) {
  long long numerator = std::llround(rate * 1000.0);
  long long denominator = 1000;
  const long long common = std::gcd(numerator, denominator);
  numerator /= common;
  denominator /= common;
  char text[128];
  std::snprintf(text, sizeof text,
                "YUV4MPEG2 W%d H%d F%lld:%lld Ip A1:1 C420jpeg XCOLORRANGE=FULL\n", width, height,
                numerator, denominator);
  header_ = text;
  const std::size_t luma = static_cast<std::size_t>(width) * height;
  const std::size_t chroma = static_cast<std::size_t>((width + 1) / 2) * ((height + 1) / 2);
  bytes_.resize(kFrameMarkerLength + luma + 2 * chroma);
  std::memcpy(bytes_.data(), kFrameMarker, kFrameMarkerLength);
}

const std::vector<std::uint8_t>& VideoStream::frame(const std::uint8_t* rgb) {
  std::uint8_t* y = bytes_.data() + kFrameMarkerLength;
  const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;
  for (int row = 0; row < height_; row++) {
    const std::uint8_t* pixel = rgb + rowBytes * row;
    for (int x = 0; x < width_; x++, pixel += 3) {
      *y++ = static_cast<std::uint8_t>((kYr * pixel[0] + kYg * pixel[1] + kYb * pixel[2] + 32768) >>
                                       16);
    }
  }
  // Each chroma sample from the mean of its 2x2 block; an odd last row or column repeats itself.
  const int chromaWidth = (width_ + 1) / 2, chromaHeight = (height_ + 1) / 2;
  std::uint8_t* cb = y;
  std::uint8_t* cr = cb + static_cast<std::size_t>(chromaWidth) * chromaHeight;
  for (int row = 0; row < chromaHeight; row++) {
    const std::uint8_t* top = rgb + rowBytes * (2 * row);
    const std::uint8_t* bottom = rgb + rowBytes * std::min(2 * row + 1, height_ - 1);
    for (int x = 0; x < chromaWidth; x++) {
      const std::size_t left = 6 * static_cast<std::size_t>(x);
      const std::size_t right = 3 * static_cast<std::size_t>(std::min(2 * x + 1, width_ - 1));
      int sum[3];
      for (int c = 0; c < 3; c++) {
        sum[c] = top[left + c] + top[right + c] + bottom[left + c] + bottom[right + c];
      }
      // Four samples: the sums carry two more bits, taken off with the fixed point's 16.
      const int half = 1 << 17, centre = 128 << 18;
      *cb++ = Clamp((kCbR * sum[0] + kCbG * sum[1] + kCbB * sum[2] + centre + half) >> 18);
      *cr++ = Clamp((kCrR * sum[0] + kCrG * sum[1] + kCrB * sum[2] + centre + half) >> 18);
    }
  }
  return bytes_;
}
