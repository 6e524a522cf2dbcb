#include "GlTest.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <string>

namespace {

// LeakSanitizer looks for pointers in the globals of the libraries still loaded at exit. The
// OpenGL driver keeps caches reachable from its own globals (made, for example, when the
// first textured, blended quads are drawn), and it is unloaded when its display is
// terminated, so those caches would be reported as our leaks. Keeping the driver loaded
// keeps them reachable.
int KeepDriverLoaded(dl_phdr_info* info, size_t, void*) {
  const char* name = info->dlpi_name;
  if (name != nullptr &&
      (std::strstr(name, "_dri.so") != nullptr || std::strstr(name, "libgallium") != nullptr)) {
    dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  }
  return 0;
}

}  // namespace

OffscreenContext* GlTest::context_ = nullptr;

bool Frame::isBlack() const {
  for (std::uint8_t value : rgb) {
    if (value != 0) {
      return false;
    }
  }
  return true;
}

void GlTest::SetUpTestSuite() {
  context_ = new OffscreenContext();
  std::string error;
  ASSERT_TRUE(context_->create(kWidth, kHeight, &error)) << error;
  dl_iterate_phdr(KeepDriverLoaded, nullptr);
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
