// A fixture for tests that need a real OpenGL context: one headless context per test suite,
// made current before every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "host/offscreen/OffscreenContext.h"

// One read-back frame, RGB, top row first.
struct Frame {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;

  const std::uint8_t* at(int x, int y) const {
    return &rgb[(static_cast<size_t>(y) * width + x) * 3];
  }
  // Sum of the three channels, 0 for black.
  int brightness(int x, int y) const { return at(x, y)[0] + at(x, y)[1] + at(x, y)[2]; }
  bool isBlack() const;
};

class GlTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 256;
  static constexpr int kHeight = 256;

  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;

  // Resizes the surface (the context and its objects stay).
  static void resizeSurface(int width, int height);
  static Frame readFrame();

  static OffscreenContext* context_;
};
