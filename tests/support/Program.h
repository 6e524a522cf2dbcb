// Running the built program in tests (tools/harness does the running), in a render or on a
// virtual X server, and the pictures it leaves: PNG files read back, screenshots, and the check
// that one shows a symmetric kaleidoscope.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Process.h"
#include "Stage.h"
#include "Xvfb.h"
#include "support/FrameChecks.h"
#include "support/TestFiles.h"

// Sends SIGTERM and waits up to `timeoutSeconds`: success when that signal ended the program.
::testing::AssertionResult endsOnSigterm(Process& process, double timeoutSeconds = 5.0);

// The number of lines in `text`.
long lineCount(const std::string& text);

// The live (not zombie) processes whose program is `program`, by pid.
std::vector<pid_t> runningCopies(const std::string& program);

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

// The PNG file at `path`; empty, with a failure, when it cannot be read.
Frame pngFrame(const std::string& path);

// Frame `index` (from 0) of `video`, decoded by ffmpeg as the video's tags say, through a PNG
// file in `folder`; empty, with a failure, when it cannot be had.
Frame decodedFrame(const std::string& video, int index, const std::string& folder);

// The names in `folder`, sorted.
std::vector<std::string> entriesOf(const std::string& folder);

// A 64x48 snapshot at `at` seconds into `file`, from seed 5 with the committed atlas.
Arguments snapshotCommand(const std::string& file, const std::string& at = "1");

// A picture of `window` (or the whole screen with "root"), taken with ImageMagick's import;
// false with *error when none could be taken.
bool screenshot(const Xvfb& server, const std::string& window, Frame* frame, std::string* error);

// Waits for a symmetric kaleidoscope picture of `window`, as wide as `width` when given. While
// the mirrors glide to another angle, now and then, frames are not symmetric.
::testing::AssertionResult showsKaleidoscope(const Xvfb& server, const std::string& window,
                                             int width = 0);

// Vantor with `arguments` and the committed atlas in `server`'s X session, outside any daemon's
// window and any Wayland session (where its own window would be a native Wayland one); then
// `inChild`, as Process runs it.
std::unique_ptr<Process> startOn(const Xvfb& server, Arguments arguments,
                                 const Arguments& environment = {},
                                 const std::function<void()>& inChild = {});
