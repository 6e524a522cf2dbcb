// One RGB frame (top row first), read back from OpenGL or from a PNG file, and the checks a
// kaleidoscope frame must pass.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
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
  double litShare() const;
};

// False with *error set when the file is missing or not a PNG (any 8-bit type, read as RGB).
bool readPng(const std::string& path, Frame* frame, std::string* error);

// Share (0..1) of pixels that differ by more than `tolerance` in some channel from their
// mirror image about the vertical line through the frame's centre.
double MirrorMismatch(const Frame& frame, int tolerance);

// Share (0..1) of the pixels in the ring between `innerRadius` and `outerRadius` (pixels,
// around the frame's centre) that differ by more than `tolerance` in some channel from the
// pixel nearest to their position turned by `degrees` about the centre.
double RotationMismatch(const Frame& frame, double degrees, double innerRadius, double outerRadius,
                        int tolerance);

// A frame is a symmetric kaleidoscope picture when at least 1% of it is brighter than
// near-black and at most 2% of its pixels differ by more than 48 in a channel from their mirror
// image about the vertical line through the centre (rasterisation along the wedge edges differs
// a little between a copy and its mirror image).
::testing::AssertionResult IsSymmetricKaleidoscope(const Frame& frame);
