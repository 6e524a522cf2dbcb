// OpenGL errors as faults: reading them and naming them. A run with VANTOR_GL_CHECK=1 in its
// environment (every test sets it) checks after each frame and ends with one line on the first
// error; without it they are not read, as glGetError can stall a driver.
#pragma once

#include <string>

// Whether this run checks for OpenGL errors after each frame: VANTOR_GL_CHECK=1.
bool checkingGlErrors();

// The first error the current context has recorded since the last call, as a line's words
// ("GL_INVALID_OPERATION (0x0502)"), or "" when there is none. Clears them all.
std::string takeGlError();
