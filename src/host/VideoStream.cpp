#include "host/VideoStream.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "host/SafeFile.h"
#include "host/Say.h"

namespace {

constexpr char kFrameMarker[] = "FRAME\n";
constexpr std::size_t kFrameMarkerLength = sizeof kFrameMarker - 1;

// BT.601 full range in 16-bit fixed point: Y = 0.299 R + 0.587 G + 0.114 B, and the colour
// differences Cb and Cr around 128; each row of weights sums to 65536 or 0.
constexpr int kYr = 19595, kYg = 38470, kYb = 7471;
constexpr int kCbR = -11059, kCbG = -21709, kCbB = 32768;
constexpr int kCrR = 32768, kCrG = -27439, kCrB = -5329;

std::uint8_t clampToByte(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

std::string VideoStream::header(int width, int height) const {
  long long numerator = std::llround(rate_ * 1000.0);
  long long denominator = 1000;
  const long long common = std::gcd(numerator, denominator);
  numerator /= common;
  denominator /= common;
  char text[128];
  std::snprintf(text, sizeof text, "YUV4MPEG2 W%d H%d F%lld:%lld Ip A1:1 C444 XCOLORRANGE=FULL\n",
                width, height, numerator, denominator);
  return text;
}

const std::vector<std::uint8_t>& VideoStream::convert(const RgbImage& picture) {
  const std::size_t pixels = static_cast<std::size_t>(picture.width) * picture.height;
  bytes_.resize(kFrameMarkerLength + 3 * pixels);
  std::memcpy(bytes_.data(), kFrameMarker, kFrameMarkerLength);
  std::uint8_t* y = bytes_.data() + kFrameMarkerLength;
  std::uint8_t* cb = y + pixels;
  std::uint8_t* cr = cb + pixels;
  const std::uint8_t* rgb = picture.rgb.data();
  constexpr int half = 1 << 15, centre = 128 << 16;
  for (std::size_t i = 0; i < pixels; i++, rgb += 3) {
    const int r = rgb[0], g = rgb[1], b = rgb[2];
    y[i] = static_cast<std::uint8_t>((kYr * r + kYg * g + kYb * b + half) >> 16);
    cb[i] = clampToByte((kCbR * r + kCbG * g + kCbB * b + centre + half) >> 16);
    cr[i] = clampToByte((kCrR * r + kCrG * g + kCrB * b + centre + half) >> 16);
  }
  return bytes_;
}

bool VideoStream::write(long /*number*/, const RgbImage& picture, int /*abortFd*/,
                        std::string* error) {
  auto send = [&](const void* data, std::size_t size) {
    int reason = 0;
    if (writeInPlace(fd_, data, size, &reason)) {
      return true;
    }
    readerGone_ = reason == EPIPE;
    *error = std::string("cannot write the video to standard output: ") + std::strerror(reason);
    return false;
  };
  const std::string start = written_ == 0 ? header(picture.width, picture.height) : "";
  const std::vector<std::uint8_t>& frame = convert(picture);
  if (!send(start.data(), start.size()) || !send(frame.data(), frame.size())) {
    return false;
  }
  written_++;
  width_ = picture.width;
  height_ = picture.height;
  return true;
}

std::string VideoStream::finished() const {
  return "wrote " + counted(written_, "frame") + " of " + std::to_string(width_) + "x" +
         std::to_string(height_) + " to standard output";
}

std::string VideoStream::kept() const {
  return "after " + std::to_string(written_) + " of " + counted(frames_, "frame") +
         "; the stream holds " + counted(written_, "whole frame");
}
