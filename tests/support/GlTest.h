// A fixture for tests that need a real OpenGL context: one headless context per test suite,
// made current before every test.
#pragma once

#include <gtest/gtest.h>

#include "host/offscreen/OffscreenContext.h"
#include "support/Frame.h"

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
