#include "GlTest.h"

OffscreenContext* GlTest::context_ = nullptr;

void GlTest::SetUpTestSuite() {
  context_ = new OffscreenContext();
  std::string error;
  ASSERT_TRUE(context_->create(kWidth, kHeight, &error)) << error;
}

void GlTest::TearDownTestSuite() { delete context_; }

void GlTest::SetUp() { ASSERT_TRUE(context_->makeCurrent()) << "no OpenGL context"; }

void GlTest::resizeSurface(int width, int height) {
  std::string error;
  ASSERT_TRUE(context_->resize(width, height, &error)) << error;
}

Frame GlTest::readFrame() {
  Frame frame{context_->width(), context_->height(), {}};
  context_->readRgb(&frame.rgb);
  return frame;
}
