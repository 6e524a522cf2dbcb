#include "GlTest.h"

#include <string>

OffscreenContext* GlTest::context_ = nullptr;

void GlTest::SetUpTestSuite() {
  context_ = new OffscreenContext();
  std::string error;
  ASSERT_TRUE(context_->create(kWidth, kHeight, &error)) << error;
}

void GlTest::TearDownTestSuite() {
  delete context_;
  context_ = nullptr;
}

void GlTest::SetUp() {
  ASSERT_NE(context_, nullptr) << "the suite's OpenGL context could not be created";
  ASSERT_TRUE(context_->makeCurrent());
}

void GlTest::resizeSurface(int width, int height) {
  std::string error;
  ASSERT_TRUE(context_->resize(width, height, &error)) << error;
}

Frame GlTest::readFrame() {
  Frame frame;
  frame.width = context_->width();
  frame.height = context_->height();
  context_->readRgb(&frame.rgb);
  return frame;
}
