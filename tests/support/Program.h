// Running the built program in tests (tools/harness does the running) and the pictures it
// leaves: PNG files read back, screenshots, and the check that one shows a symmetric
// kaleidoscope.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Process.h"
#include "Stage.h"
#include "support/FrameChecks.h"
#include "support/TestFiles.h"

class Xvfb;

// Sends SIGTERM and waits up to `timeoutSeconds`: success when that signal ended the program.
::testing::AssertionResult EndsOnSigterm(Process& process, double timeoutSeconds = 5.0);

// The number of lines in `text`.
long Lines(const std::string& text);

// The live (not zombie) processes whose program is `program`, by pid.
std::vector<pid_t> RunningCopies(const std::string& program);

// The program under test with `arguments`, then `more`.
Arguments Vantor(Arguments arguments, const Arguments& more = {});

// The installed program's stage (its usr folder): see Stage.h.
inline const std::string& Installed() { return installedUsr(VANTOR_BUILD_DIR); }

// False with *error set when the file is missing or not a PNG (any 8-bit type, read as RGB).
bool readPng(const std::string& path, Frame* frame, std::string* error);

// A frame is a symmetric kaleidoscope picture when at least 1% of it is brighter than
// near-black and at most 2% of its pixels differ by more than 48 in a channel from their mirror
// image about the vertical line through the centre (rasterisation along the wedge edges differs
// a little between a copy and its mirror image).
::testing::AssertionResult IsSymmetricKaleidoscope(const Frame& frame);

// A picture of `window` (or the whole screen with "root"), taken with ImageMagick's import;
// false with *error when none could be taken.
bool Screenshot(const Xvfb& server, const std::string& window, Frame* frame, std::string* error);

// Waits for a symmetric kaleidoscope picture of `window`, as wide as `width` when given. While
// the mirrors glide to another angle, now and then, frames are not symmetric.
::testing::AssertionResult ShowsKaleidoscope(const Xvfb& server, const std::string& window,
                                             int width = 0);
