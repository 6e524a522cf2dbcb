// Pictures for pixel checks: reading PNG and XWD files into RGB frames (top row first), and
// the test a whole kaleidoscope picture passes.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "support/Frame.h"

// False with *error set when the file is missing or not a picture the reader knows (PNG: any
// 8-bit type, converted to RGB; XWD: 24- or 32-bit TrueColor ZPixmap, as xwd writes).
bool readPng(const std::string& path, Frame* frame, std::string* error);
bool readXwd(const std::string& path, Frame* frame, std::string* error);

// A frame is a symmetric kaleidoscope picture when it is not all black and at most 2% of its
// pixels differ by more than 48 in a channel from their mirror image about the vertical line
// through the centre (rasterisation along the wedge edges differs a little between a copy and
// its mirror image). `skipBottomRows` leaves out the --fps text.
::testing::AssertionResult IsSymmetricKaleidoscope(const Frame& frame, int skipBottomRows = 0);

// The share (0..1) of pixels brighter than near-black (a channel above 16) in a rectangle.
double litShareIn(const Frame& frame, int x, int y, int width, int height);
