// One RGB frame (top row first), read back from OpenGL or from a PNG file, and the comparisons
// that tell whether its copies mirror each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

struct Frame {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;

  const std::uint8_t* at(int x, int y) const {
    return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
  }
  // Sum of the three channels, 0 for black.
  int brightness(int x, int y) const { return at(x, y)[0] + at(x, y)[1] + at(x, y)[2]; }
  // Share (0..1) of pixels that are not black.
  double litShare() const {
    long lit = 0;
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
      lit += rgb[i] + rgb[i + 1] + rgb[i + 2] > 0;
    }
    return rgb.empty() ? 0.0 : 3.0 * lit / rgb.size();
  }
};

// Whether two pixels differ by more than `tolerance` in some channel.
inline bool Differs(const std::uint8_t* a, const std::uint8_t* b, int tolerance) {
  return std::abs(a[0] - b[0]) > tolerance || std::abs(a[1] - b[1]) > tolerance ||
         std::abs(a[2] - b[2]) > tolerance;
}

// Share (0..1) of pixels that differ by more than `tolerance` in some channel from their
// mirror image about the vertical line through the frame's centre.
inline double MirrorMismatch(const Frame& frame, int tolerance) {
  long differing = 0;
  for (int i = 0; i < frame.width * frame.height; i++) {
    const int x = i % frame.width, y = i / frame.width;
    differing += Differs(frame.at(x, y), frame.at(frame.width - 1 - x, y), tolerance);
  }
  return static_cast<double>(differing) / (frame.width * frame.height);
}
