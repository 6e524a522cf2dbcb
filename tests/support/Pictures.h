// Pictures for pixel checks: reading PNG and XWD files into RGB frames (top row first), and
// the mirror-symmetry test a kaleidoscope frame passes.
#pragma once

#include <string>

#include "support/GlTest.h"

// False with *error set when the file is missing or not a picture the reader knows (PNG: any
// 8-bit type, converted to RGB; XWD: 24- or 32-bit TrueColor ZPixmap, as xwd writes).
bool readPng(const std::string& path, Frame* frame, std::string* error);
bool readXwd(const std::string& path, Frame* frame, std::string* error);

// How far a frame is from mirror symmetry about the vertical line through its centre: the
// share of compared pixels whose mirror partner differs by more than `threshold` in any
// channel. Rasterisation along the wedge edges differs a little between a copy and its
// mirror image, hence the threshold and a small allowed share.
struct Symmetry {
  double mismatched = 1.0;  // 0..1
  int compared = 0;
};
Symmetry mirrorSymmetry(const Frame& frame, int threshold = 48, int skipBottomRows = 0);

// A frame is a symmetric kaleidoscope picture when at most 2% of its pixels miss their mirror
// partner and it is not all black.
::testing::AssertionResult IsSymmetricKaleidoscope(const Frame& frame, int skipBottomRows = 0);

// The share of pixels brighter than black (any channel above 16) in a rectangle.
double litShare(const Frame& frame, int x, int y, int width, int height);
