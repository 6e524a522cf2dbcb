// One read-back RGB frame (top row first) and the checks a kaleidoscope frame must pass.
#pragma once

#include <cstddef>
#include <cstdint>
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
  bool isBlack() const;
  // Share (0..1) of pixels that are not black.
  double litShare() const;
};

// Share (0..1) of pixels that differ by more than `tolerance` in some channel from their
// mirror image about the vertical line through the frame's centre.
double MirrorMismatch(const Frame& frame, int tolerance);

// Share (0..1) of the pixels in the ring between `innerRadius` and `outerRadius` (pixels,
// around the frame's centre) that differ by more than `tolerance` in some channel from the
// pixel nearest to their position turned by `degrees` about the centre.
double RotationMismatch(const Frame& frame, double degrees, double innerRadius, double outerRadius,
                        int tolerance);
