// OpenGL errors are faults in every test: the OpenGL fixtures call watchGlErrors() once their
// context is current, and check noGlErrors() as each test ends. Where the context offers
// KHR_debug, its callback records each error as it is raised, in the driver's words; glGetError
// is asked besides.
#pragma once

#include <gtest/gtest.h>

// Starts recording the current context's errors.
void watchGlErrors();

// Success when the current context raised no error since the last call; else the errors.
// Forgets them either way.
::testing::AssertionResult noGlErrors();
