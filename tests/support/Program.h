// Running the built program in tests: processes with a changed environment and captured
// output, commands run as an unprivileged user, and the pictures they leave (PNG files read
// back, and the check that one shows a symmetric kaleidoscope).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "Process.h"
#include "support/Frame.h"
#include "support/TestFiles.h"

// Sends SIGTERM and waits up to `timeoutSeconds`: success when that signal ended the program.
::testing::AssertionResult EndsOnSigterm(Process& process, double timeoutSeconds = 5.0);

// As root, a command runs as nobody (uid and gid 65534): root reads and writes whatever the
// modes say, and neither the xscreensaver daemon nor sway runs as root.
Arguments AsUser(Arguments command);

// The number of lines in `text`.
long Lines(const std::string& text);

// The program under test with `arguments`, then `more`.
Arguments Vantor(Arguments arguments, const Arguments& more = {});

// The program installed with its files under /usr in a stage of its own, where any user can
// reach them: out of the build tree, so that it finds only what was installed. Made once, on
// first use; the stage's usr folder.
const std::string& Installed();

// False with *error set when the file is missing or not a PNG (any 8-bit type, read as RGB).
bool readPng(const std::string& path, Frame* frame, std::string* error);

// A frame is a symmetric kaleidoscope picture when at least 1% of it is brighter than
// near-black and at most 2% of its pixels differ by more than 48 in a channel from their mirror
// image about the vertical line through the centre (rasterisation along the wedge edges differs
// a little between a copy and its mirror image).
::testing::AssertionResult IsSymmetricKaleidoscope(const Frame& frame);
