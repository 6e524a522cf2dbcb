#include <gtest/gtest.h>

#include <string>

#include "support/GlTest.h"

namespace {

// Guards the guard: an OpenGL error fails the test that raised it, with the call at fault named
// where the context reports errors as they happen (KHR_debug).
using GlErrors = GlTest;

TEST_F(GlErrors, AnErrorFailsTheTestThatRaisedIt) {
  glEnable(0xffff);
  const ::testing::AssertionResult caught = noGlErrors();
  EXPECT_FALSE(caught);
  EXPECT_NE(std::string(caught.message()).find("GL_INVALID_ENUM (0x0500)"), std::string::npos)
      << caught.message();
  EXPECT_NE(std::string(caught.message()).find("glEnable"), std::string::npos) << caught.message();
}

}  // namespace
