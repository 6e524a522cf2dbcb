// What tests see in a frame: whether its copies mirror each other, how two frames differ (and
// by how much, as PSNR), whether it was drawn small and enlarged, and the --fps overlay's colour.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Frame.h"

// Pixels of the --fps overlay's yellow in the width x height box of `frame` at (left, top).
inline long yellowIn(const Frame& frame, int left, int top, int width, int height) {
  long yellow = 0;
  for (int y = top; y < top + height; y++) {
    for (int x = left; x < left + width; x++) {
      const std::uint8_t* pixel = frame.at(x, y);
      yellow += pixel[0] > 160 && pixel[1] > 160 && pixel[2] < 96;
    }
  }
  return yellow;
}

// Whether two pixels differ by more than `tolerance` in some channel.
inline bool differs(const std::uint8_t* a, const std::uint8_t* b, int tolerance) {
  return std::abs(a[0] - b[0]) > tolerance || std::abs(a[1] - b[1]) > tolerance ||
         std::abs(a[2] - b[2]) > tolerance;
}

// The number of bytes in which two frames differ: all of the larger one's when the sizes differ.
inline long differingBytes(const Frame& a, const Frame& b) {
  if (a.rgb.size() != b.rgb.size()) {
    return static_cast<long>(std::max(a.rgb.size(), b.rgb.size()));
  }
  long differing = 0;
  for (std::size_t i = 0; i < a.rgb.size(); i++) {
    differing += a.rgb[i] != b.rgb[i];
  }
  return differing;
}

// Peak signal-to-noise ratio of `a` against `b` over all channels, in dB: 99 for equal
// frames, 0 for frames of different sizes.
inline double psnr(const Frame& a, const Frame& b) {
  if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) {
    return 0.0;
  }
  double squares = 0;
  for (std::size_t i = 0; i < a.rgb.size(); i++) {
    squares += (a.rgb[i] - b.rgb[i]) * (a.rgb[i] - b.rgb[i]);
  }
  return squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * a.rgb.size() / squares);
}

// Of the lit 2x2 blocks in the middle `side` x `side` square of `frame`, the share whose four
// pixels are the same: 1 when every drawn pixel is shown twice in each direction. Fewer than
// 100 lit blocks give -1.
inline double doubledShare(const Frame& frame, int side) {
  const int left = (frame.width - side) / 2 & ~1, top = (frame.height - side) / 2 & ~1;
  long lit = 0, doubled = 0;
  for (int y = top; y + 1 < top + side; y += 2) {
    for (int x = left; x + 1 < left + side; x += 2) {
      const std::uint8_t* a = frame.at(x, y);
      const bool alike = !differs(a, frame.at(x + 1, y), 0) && !differs(a, frame.at(x, y + 1), 0) &&
                         !differs(a, frame.at(x + 1, y + 1), 0);
      lit += !alike || frame.brightness(x, y) > 0;  // unlike pixels are not all black
      doubled += alike && frame.brightness(x, y) > 0;
    }
  }
  return lit < 100 ? -1.0 : static_cast<double>(doubled) / lit;
}

// Share (0..1) of pixels that differ by more than `tolerance` in some channel from their
// mirror image about the vertical line through the frame's centre.
inline double mirrorMismatch(const Frame& frame, int tolerance) {
  long differing = 0;
  for (int i = 0; i < frame.width * frame.height; i++) {
    const int x = i % frame.width, y = i / frame.width;
    differing += differs(frame.at(x, y), frame.at(frame.width - 1 - x, y), tolerance);
  }
  return static_cast<double>(differing) / (frame.width * frame.height);
}

// Share (0..1) of the pixels in the ring between `innerRadius` and `outerRadius` (pixels,
// around the frame's centre) that differ by more than `tolerance` in some channel from the
// pixel nearest to their position turned by `degrees` about the centre.
inline double rotationMismatch(const Frame& frame, double degrees, double innerRadius,
                               double outerRadius, int tolerance) {
  const double turn = degrees * M_PI / 180.0, cx = frame.width / 2.0, cy = frame.height / 2.0;
  long compared = 0, differing = 0;
  for (int i = 0; i < frame.width * frame.height; i++) {
    const int x = i % frame.width, y = i / frame.width;
    const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, r = std::hypot(dx, dy);
    const int tx = static_cast<int>(std::floor(cx + dx * std::cos(turn) - dy * std::sin(turn)));
    const int ty = static_cast<int>(std::floor(cy + dx * std::sin(turn) + dy * std::cos(turn)));
    if (r >= innerRadius && r <= outerRadius && tx >= 0 && ty >= 0 && tx < frame.width &&
        ty < frame.height) {
      compared++;
      differing += differs(frame.at(x, y), frame.at(tx, ty), tolerance);
    }
  }
  return compared == 0 ? 1.0 : static_cast<double>(differing) / compared;
}
