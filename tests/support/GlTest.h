// A fixture for tests that need a real OpenGL context: one headless context per test suite,
// made current before every test, and failing the test on any OpenGL error. And reading OpenGL
// state back.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/RgbImage.h"
#include "host/offscreen/OffscreenContext.h"
#include "support/FrameChecks.h"
#include "support/GlErrorWatch.h"

class GlTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 256;
  static constexpr int kHeight = 256;

  static void SetUpTestSuite() {
    context_ = new OffscreenContext();
    std::string error;
    ASSERT_TRUE(context_->create(kWidth, kHeight, &error)) << error;
    watchGlErrors();
  }
  static void TearDownTestSuite() { delete context_; }
  void SetUp() override { ASSERT_TRUE(context_->makeCurrent()) << "no OpenGL context"; }
  void TearDown() override { EXPECT_TRUE(noGlErrors()); }

  // Resizes the surface (the context and its objects stay).
  static void resizeSurface(int width, int height) {
    std::string error;
    ASSERT_TRUE(context_->resize(width, height, &error)) << error;
  }
  static Frame readFrame() {
    RgbImage picture;
    readDrawnImage(context_->width(), context_->height(), &picture);
    return Frame{picture.width, picture.height, std::move(picture.rgb)};
  }

  inline static OffscreenContext* context_ = nullptr;
};

// `Size` values of a state variable: a matrix, a viewport, one integer.
template <int Size = 16>
std::array<GLfloat, Size> floats(GLenum what) {
  std::array<GLfloat, Size> values;
  glGetFloatv(what, values.data());
  return values;
}

template <int Size = 1>
std::array<GLint, Size> integers(GLenum what) {
  std::array<GLint, Size> values;
  glGetIntegerv(what, values.data());
  return values;
}

inline GLint integer(GLenum what) { return integers(what)[0]; }

// The bound texture's level 0 in `format`, tightly packed, texel row 0 first.
inline std::vector<std::uint8_t> boundTexels(GLenum format, size_t bytes) {
  std::vector<std::uint8_t> texels(bytes);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, texels.data());
  return texels;
}
