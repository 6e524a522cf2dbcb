// Pictures for pixel checks: reading PNG files into RGB frames (top row first), and the test
// a whole kaleidoscope picture passes.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "support/Frame.h"

// False with *error set when the file is missing or not a PNG (any 8-bit type, read as RGB).
bool readPng(const std::string& path, Frame* frame, std::string* error);

// A frame is a symmetric kaleidoscope picture when it is not all black and at most 2% of its
// pixels differ by more than 48 in a channel from their mirror image about the vertical line
// through the centre (rasterisation along the wedge edges differs a little between a copy and
// its mirror image). `skipBottomRows` leaves out the --fps text.
::testing::AssertionResult IsSymmetricKaleidoscope(const Frame& frame, int skipBottomRows = 0);
