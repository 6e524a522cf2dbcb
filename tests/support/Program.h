// Running the built program in tests (tools/harness does the running) and the pictures it
// leaves: PNG files read back, and the check that one shows a symmetric kaleidoscope.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "Process.h"
#include "Stage.h"
#include "support/FrameChecks.h"
#include "support/TestFiles.h"

// Sends SIGTERM and waits up to `timeoutSeconds`: success when that signal ended the program.
::testing::AssertionResult endsOnSigterm(Process& process, double timeoutSeconds = 5.0);

// The number of lines in `text`.
long lineCount(const std::string& text);

// The program under test with `arguments`, then `more`.
Arguments vantorCommand(Arguments arguments, const Arguments& more = {});

// The installed program's stage (its usr folder): see Stage.h.
inline const std::string& installed() { return installedUsr(VANTOR_BUILD_DIR); }

// False with *error set when the file is missing or not a PNG (any 8-bit type, read as RGB).
bool readPng(const std::string& path, Frame* frame, std::string* error);

// A frame is a symmetric kaleidoscope picture when at least 1% of it is brighter than
// near-black and at most 2% of its pixels differ by more than 48 in a channel from their mirror
// image about the vertical line through the centre (rasterisation along the wedge edges differs
// a little between a copy and its mirror image).
::testing::AssertionResult isSymmetricKaleidoscope(const Frame& frame);
