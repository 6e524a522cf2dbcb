#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

#include "Xvfb.h"
#include "objects/Glimmets.h"
#include "support/FrameChecks.h"
#include "support/Program.h"
#include "support/TestFiles.h"

// After GoogleTest: Xlib defines None, a name GoogleTest uses.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// A picture of `window` (or the whole screen with "root"), taken with ImageMagick's import;
// false with *error when none could be taken.
bool screenshot(const Xvfb& server, const std::string& window, Frame* frame, std::string* error) {
  TemporaryFolder folder;
  const std::string file = folder.path() + "/shot.png";
  Exit done =
      run({"/usr/bin/import", "-silent", "-window", window, file}, {"DISPLAY=" + server.display()});
  *error = done.err;
  return done.status == 0 && readPng(file, frame, error);
}

// Waits for a symmetric kaleidoscope picture of `window`, as wide as `width` when given. While
// the mirrors glide to another angle, now and then, frames are not symmetric.
::testing::AssertionResult showsKaleidoscope(const Xvfb& server, const std::string& window,
                                             int width = 0) {
  Frame frame;
  std::string error;
  const bool shown = eventually(
      [&] {
        return screenshot(server, window, &frame, &error) && (width == 0 || frame.width == width) &&
               isSymmetricKaleidoscope(frame);
      },
      10.0);
  return shown ? ::testing::AssertionSuccess()
               : ::testing::AssertionFailure() << error << isSymmetricKaleidoscope(frame).message();
}

// Vantor with `arguments` and the committed atlas in `server`'s X session, outside any daemon's
// window and any Wayland session (where its own window would be a native Wayland one); then
// `inChild`, as Process runs it.
std::unique_ptr<Process> startOn(const Xvfb& server, Arguments arguments,
                                 const Arguments& environment = {},
                                 const std::function<void()>& inChild = {}) {
  arguments.insert(arguments.end(), {"--resources", resourcesPath()});
  Arguments settings = {"DISPLAY=" + server.display(), "XSCREENSAVER_WINDOW", "WAYLAND_DISPLAY"};
  settings.insert(settings.end(), environment.begin(), environment.end());
  return std::make_unique<Process>(vantorCommand(arguments), settings, inChild);
}

// The PNG file at `path`; empty, with a failure, when it cannot be read.
Frame pngFrame(const std::string& path) {
  Frame frame;
  std::string error;
  EXPECT_TRUE(readPng(path, &frame, &error)) << error;
  return frame;
}

// The names in `folder`, sorted.
std::vector<std::string> entriesOf(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Guards the command line as a user meets it, by running the built program: help without a
// display, one-line usage errors with status 2, failures with status 1 and the system's reason
// (--help into a full device too), the installed layout.
TEST(CommandLine, HelpNeedsNoDisplayAndBadOptionsOrAFullDeviceExitWithOneLine) {
  Exit help = run(vantorCommand({"--help"}), {"DISPLAY"});
  EXPECT_EQ(std::pair(help.status, help.err), std::pair(0, std::string()));
  for (const char* option : {"--root", "--window-id", "-geometry", "--render", "--seed"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  for (const Arguments& arguments : {Arguments{"--bogus"}, {"--delay", "-5"}, {"--size", "0x10"}}) {
    Exit done = run(vantorCommand(arguments), {"DISPLAY"});
    EXPECT_EQ(std::pair(done.status, lineCount(done.err)), std::pair(2, 1L)) << done.err;
    EXPECT_NE(done.err.find(arguments.back()), std::string::npos) << done.err;
  }
  for (const char* option : {" --help", " --version"}) {
    Exit done = run({"/bin/sh", "-c", "exec " + programPath() + option + " >/dev/full"});
    EXPECT_EQ(std::pair(done.status, lineCount(done.err)), std::pair(1, 1L)) << done.err;
    EXPECT_NE(done.err.find("No space left on device"), std::string::npos) << done.err;
  }
}

// Out of the build tree, the installed program finds the installed atlas, quietly.
TEST(CommandLine, InstallLaysOutTheProgramAndItsFilesUnderThePrefix) {
  for (const char* file :
       {"/bin/vantor", "/share/man/man6/vantor.6x", "/share/xscreensaver/config/vantor.xml"}) {
    EXPECT_TRUE(std::filesystem::exists(installed() + file)) << file;
  }
  TemporaryFolder out;
  Exit render = run({installed() + "/libexec/xscreensaver/vantor", "--render", out.path(),
                     "--frames", "1", "--size", "32x32"},
                    {"VANTOR_RESOURCES"});
  EXPECT_EQ(render.status, 0);
  EXPECT_EQ(render.err, "");
}

// Run by nobody, from the installed copy, so that the folder is unwritable wherever the build
// tree is.
TEST(CommandLine, AnUnwritableFolderExitsOneWithOneLine) {
  TemporaryFolder folder;
  const std::string locked = folder.path() + "/locked";
  ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
  chmod(folder.path().c_str(), 0755);
  Exit done = run(asUser({installed() + "/bin/vantor", "--render", locked, "--size", "16x16"}));
  EXPECT_EQ(std::pair(done.status, lineCount(done.err)), std::pair(1, 1L)) << done.err;
  EXPECT_NE(done.err.find(locked), std::string::npos) << done.err;
}

// Out of memory while the engine is built (its pieces cannot be had): one line, status 1, no
// frame written and no crash.
TEST(CommandLine, OutOfMemoryWhileBuildingExitsOneWithOneLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator must be the first library loaded";
#endif
  TemporaryFolder folder;
  const std::string frames = folder.path() + "/frames";
  // A render builds the engine for a frame it draws, a snapshot for one it steps through.
  for (const Arguments& output :
       {Arguments{"--render", frames, "--frames", "2"}, {"--snapshot", frames + ".png"}}) {
    Exit done = run(vantorCommand(output, {"--size", "32x32"}),
                    {"LD_PRELOAD=" VANTOR_FAIL_MALLOC,
                     "VANTOR_FAIL_MALLOC_SIZE=" + std::to_string(100 * sizeof(PhotoPiece))});
    EXPECT_EQ(done.status, 1) << output[0];
    EXPECT_EQ(done.err,
              "vantor: out of memory while building the kaleidoscope; close other programs and "
              "try again\n");
    EXPECT_EQ(entriesOf(folder.path()), Arguments{"frames"}) << output[0];
  }
}

// Guards what a render or snapshot leaves on disk, through the program: a file already there
// stays whole until a whole new one replaces it, nothing half-written or temporary is left
// behind, and a device is written in place (SafeFile's own tests take the other cases).

Arguments snapshotCommand(const std::string& file, const std::string& at = "1") {
  return vantorCommand({"--snapshot", file, "--at", at, "--size", "64x48", "--seed", "5",
                        "--resources", resourcesPath()});
}

TEST(Files, SnapshotsReplaceWholeFilesAndWriteDevicesInPlace) {
  TemporaryFolder folder;
  const std::string file = folder.path() + "/shot.png";
  ASSERT_TRUE(writeBytes(file, "earlier work"));
  // Over the size limit the write stops with SIGXFSZ: the old file is kept, whole.
  Exit limited = Process(snapshotCommand(file), {}, [] {
                   rlimit limit = {200, 200};
                   setrlimit(RLIMIT_FSIZE, &limit);
                 }).wait(30.0);
  EXPECT_EQ(limited.status, 128 + SIGXFSZ) << limited.err;
  EXPECT_NE(limited.err.find("interrupted by SIGXFSZ (file size limit exceeded)"),
            std::string::npos)
      << limited.err;
  EXPECT_EQ(readFile(file), "earlier work");
  EXPECT_EQ(entriesOf(folder.path()), Arguments{"shot.png"});

  Exit replaced = run(snapshotCommand(file));
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(pngFrame(file).width, 64);
  EXPECT_EQ(entriesOf(folder.path()), Arguments{"shot.png"});

  Exit full = run(snapshotCommand("/dev/full"));
  EXPECT_EQ(std::pair(full.status, lineCount(full.err)), std::pair(1, 1L)) << full.err;
  EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

// A snapshot steps through the frames before its own without drawing them, and must still
// show exactly the frame a render draws at that time.
TEST(Files, SnapshotEqualsTheRenderedFrameAtItsTime) {
  TemporaryFolder folder;
  const Arguments common = {"--size", "64x48",      "--rate",      "10",
                            "--seed", "1700000000", "--resources", resourcesPath()};
  Exit rendered = run(
      vantorCommand({"--render", folder.path() + "/frames", "--frames", "201"}, common), {}, 120.0);
  Exit shot = run(vantorCommand({"--snapshot", folder.path() + "/at20.png", "--at", "20"}, common));
  ASSERT_EQ(rendered.status, 0) << rendered.err;
  ASSERT_EQ(shot.status, 0) << shot.err;
  EXPECT_EQ(shot.out, "vantor: wrote the frame at 20 s to " + folder.path() + "/at20.png\n");
  const std::string drawn = readFile(folder.path() + "/frames/frame-00201.png");
  const std::string skipped = readFile(folder.path() + "/at20.png");
  EXPECT_FALSE(drawn.empty());
  EXPECT_TRUE(drawn == skipped) << drawn.size() << " and " << skipped.size() << " bytes differ";
}

// Whether process `pid` has a handler for `signal` (the SigCgt mask of /proc/PID/status).
bool catches(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigCgt:", 0) == 0) {
      return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0;
    }
  }
  return false;
}

// Guards how renders and snapshots end on a signal: the file in progress is dropped, one line
// says how far the run got, and the status is the signal's (128 + N for those whose default
// would dump core); a signal ignored at start stays ignored, in a window too.
TEST(Signals, EachEndsARenderAndASnapshotWithoutAPartialFile) {
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ}) {
    const std::string name = std::string("SIG") + sigabbrev_np(number);
    for (bool render : {true, false}) {
      SCOPED_TRACE(name + (render ? " during a render" : " during a snapshot"));
      TemporaryFolder folder;
      const std::string frames = folder.path() + "/frames";
      Process vantor(render ? vantorCommand({"--render", frames, "--frames", "100000", "--size",
                                             "64x48", "--resources", resourcesPath()})
                            : snapshotCommand(folder.path() + "/late.png", "2592000"));
      // A render is stopped once it has written frames; a snapshot while it steps, once it
      // catches the signal (a busy machine can take longer than a moment to start it).
      if (render) {
        EXPECT_TRUE(eventually(
            [&] { return std::filesystem::exists(frames + "/frame-000002.png"); }, 20.0));
      }
      EXPECT_TRUE(eventually([&] { return catches(vantor.pid(), number); }, 20.0));
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      vantor.signal(number);
      Exit done = vantor.wait(10.0);
      const bool core = number == SIGQUIT || number == SIGXFSZ;
      EXPECT_EQ(std::pair(done.status, done.signal),
                std::pair(core ? 128 + number : -1, core ? 0 : number))
          << done.err;
      const std::regex line(
          "vantor: interrupted by " + name + " \\([a-z: ]+\\) " +
          (render ? "after [0-9]+ of 100000 frames; the last whole file is " + frames +
                        "/frame-[0-9]{6}\\.png"
                  : std::string("after stepping [0-9]+\\.[0-9]{2} s towards the frame at 2592000 "
                                "s; no file was written")) +
          "\n$");
      EXPECT_TRUE(std::regex_search(done.err, line)) << done.err;
      EXPECT_EQ(entriesOf(folder.path()), render ? Arguments{"frames"} : Arguments{});
      for (const std::string& entry : render ? entriesOf(frames) : Arguments{}) {
        EXPECT_EQ(pngFrame(frames + "/" + entry).width, 64) << entry;
      }
    }
  }
  TemporaryFolder folder;
  Process nohup(vantorCommand({"--render", folder.path(), "--frames", "150", "--size", "64x48"}),
                {}, [] { ::signal(SIGHUP, SIG_IGN); });
  EXPECT_TRUE(eventually(
      [&] { return std::filesystem::exists(folder.path() + "/frame-00001.png"); }, 20.0));
  nohup.signal(SIGHUP);
  Exit done = nohup.wait(60.0);
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(entriesOf(folder.path()).size(), 150u);
  // So does an interrupt in a window started as a background job; SIGTERM still ends it.
  Xvfb server(64, 48);
  ASSERT_TRUE(server.started()) << server.failure();
  auto window = startOn(server, {"-geometry", "64x48"}, {}, [] { ::signal(SIGINT, SIG_IGN); });
  ASSERT_TRUE(showsKaleidoscope(server, "root")) << window->errorSoFar();
  window->signal(SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(window->running()) << "an ignored SIGINT ended the window";
  EXPECT_TRUE(endsOnSigterm(*window));
}

// Guards the program against bad mask atlases: whatever the file found in the search, a render
// of 30 frames ends with status 0; a file that cannot serve as the atlas gives exactly one line
// that names it and the engine draws as without one, a file libjpeg decodes with a warning gives
// one line quoting libjpeg and is drawn with, and a usable one, however unusual, gives no line.
// A folder named with --resources must hold a usable atlas: else status 2 and one line.
using Make = std::function<void(const std::string& atlas)>;

// A width x height JPEG, grey, RGB or CMYK by `components`, in stripes 8 pixels wide: a mask
// in every cell, and in any picture smaller than one.
Make jpegFile(int width, int height, int components = 1, bool progressive = false) {
  return [=](const std::string& atlas) {
    std::vector<std::uint8_t> row(static_cast<size_t>(width) * components);
    for (size_t sample = 0; sample < row.size(); sample++) {
      row[sample] = sample / components % 16 < 8 ? 255 : 0;
    }
    ASSERT_TRUE(writeJpeg(atlas, width, height, components, row, progressive)) << atlas;
  };
}

Make bytesFile(const std::string& content) {
  return [=](const std::string& atlas) { ASSERT_TRUE(writeBytes(atlas, content)) << atlas; };
}

// Each file goes into a folder of its own for a copy of the program outside the build tree, so
// that only that folder and the copy's own share/vantor are searched: the build tree's atlas
// would stand in for a missing one. The unreadable file's case runs as nobody when root, for whom
// no file is unreadable.
TEST(Atlas, EachFileRendersWithOneLineWhenItCannotServe) {
  TemporaryFolder root;
  chmod(root.path().c_str(), 0755);
  const std::string program = root.path() + "/opt/bin/vantor", plain = root.path() + "/plain";
  std::filesystem::create_directories(root.path() + "/opt/bin");
  std::filesystem::copy_file(programPath(), program);
  jpegFile(512, 64)(plain);
  std::string truncated = readFile(plain), corrupt = truncated, junk = truncated;
  truncated.resize(truncated.size() / 2);
  std::fill(corrupt.begin() + 2, corrupt.begin() + 40, 0x5a);  // over its tables
  junk.insert(junk.size() - 2, std::string(32, 'j'));          // before the end marker
  enum Outcome { Refused, Warned, Usable };
  // The name, what becomes of the file, and for Warned what libjpeg says.
  const std::tuple<const char*, Outcome, const char*, Make> cases[] = {
      {"missing", Refused, "", [](const std::string&) {}},  // first: drawn without masks
      {"empty", Refused, "", bytesFile("")},
      {"text", Refused, "", bytesFile("hi\n")},
      {"truncated", Warned, "Premature end of JPEG file", bytesFile(truncated)},
      {"junk", Warned, "extraneous bytes before marker 0xd9", bytesFile(junk)},
      {"corrupt-header", Refused, "", bytesFile(corrupt)},
      {"unreadable", Refused, "",
       [](const std::string& atlas) {
         jpegFile(512, 64)(atlas);
         chmod(atlas.c_str(), 0);
       }},
      {"progressive", Usable, "", jpegFile(512, 64, 1, true)},
      {"cmyk", Refused, "", jpegFile(512, 64, 4)},
      {"1x1", Refused, "", jpegFile(1, 1)},
      {"8192x8192", Usable, "", jpegFile(8192, 8192)},
      {"30x30", Refused, "", jpegFile(30, 30)},
      {"colour", Refused, "", jpegFile(512, 64, 3)},
      {"folder", Refused, "", [](const std::string& atlas) { mkdir(atlas.c_str(), 0755); }},
      // Beyond any sane atlas; and a pipe, which must not be opened (that would block).
      {"16400x64", Refused, "", jpegFile(16400, 64)},
      {"pipe", Refused, "", [](const std::string& atlas) { mkfifo(atlas.c_str(), 0644); }},
  };
  std::string withoutMasks;
  for (const auto& [name, outcome, quote, make] : cases) {
    SCOPED_TRACE(name);
    const std::string folder = root.path() + "/" + name;
    std::filesystem::create_directories(folder + "/frames");
    chmod(folder.c_str(), 0755);
    chmod((folder + "/frames").c_str(), 0777);  // for nobody
    make(folder + "/DiscMasks.jpg");
    // Only where it matters: as nobody, the sanitizer build takes longer over each run.
    auto asNeeded = [&](const Arguments& command) {
      return name == std::string("unreadable") ? asUser(command) : command;
    };
    const Arguments render = {program,  "--render", folder + "/frames", "--frames", "30",
                              "--size", "160x120",  "--seed",           "1000"};
    Exit done = run(asNeeded(render), {"VANTOR_RESOURCES=" + folder}, 120.0);
    EXPECT_EQ(done.status, 0) << done.err;
    // A slow run also reports its progress once a second: not a warning.
    const std::string warnings =
        std::regex_replace(done.err, std::regex("vantor: frame [^\n]*\n"), "");
    EXPECT_EQ(lineCount(warnings), outcome == Usable ? 0 : 1) << done.err;
    if (outcome != Usable) {
      EXPECT_EQ(warnings.rfind("vantor: ", 0), 0u) << done.err;
      EXPECT_NE(warnings.find(folder), std::string::npos) << done.err;
      EXPECT_NE(warnings.find(quote), std::string::npos) << quote << " in " << done.err;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder + "/frames"), {}), 30);
    // Renders are repeatable to the byte: the same file is the same picture.
    const std::string last = readFile(folder + "/frames/frame-00030.png");
    if (withoutMasks.empty()) {
      withoutMasks = last;
      ASSERT_FALSE(last.empty());
    } else if (outcome == Refused) {
      EXPECT_TRUE(last == withoutMasks) << "the engine was given the file anyway";
    } else {
      EXPECT_TRUE(last != withoutMasks) << "the masks were not used";
    }

    // Named on the command line, a folder without a usable atlas is a usage error.
    if (outcome == Refused) {
      Exit named = run(asNeeded({program, "--render", folder + "/named", "--resources", folder}),
                       {"VANTOR_RESOURCES"});
      EXPECT_EQ(std::pair(named.status, lineCount(named.err)), std::pair(2, 1L)) << named.err;
      EXPECT_EQ(
          named.err.rfind("vantor: --resources " + folder + ": " + folder + "/DiscMasks.jpg ", 0),
          0u)
          << named.err;
      EXPECT_FALSE(std::filesystem::exists(folder + "/named")) << "nothing written";
    }
  }
}

// Guards the window host under a virtual X server: each way of choosing the window draws a
// kaleidoscope there, a foreign window's new size reaches the view, SIGTERM ends the program
// by that signal, and a window destroyed under it ends it with status 1 and one line.
TEST(Windows, EveryWayOfChoosingTheWindowDrawsThere) {
  Xvfb server(640, 480);
  Display* display = server.connection();
  ASSERT_NE(display, nullptr);
  // The own window covers the screen, so a picture of the screen is one of the window.
  for (const Arguments& arguments : {Arguments{"-geometry", "640x480"}, {"--root"}}) {
    auto vantor = startOn(server, arguments);
    EXPECT_TRUE(showsKaleidoscope(server, "root")) << arguments[0] << vantor->errorSoFar();
    EXPECT_TRUE(endsOnSigterm(*vantor));
  }
  // Windows of the test's own, as the daemon or its settings dialog would make them.
  for (bool daemons : {true, false}) {
    const Window id = XCreateSimpleWindow(display, DefaultRootWindow(display), 100, 50, 320, 240, 0,
                                          0, BlackPixel(display, 0));
    const std::string window = std::to_string(id);
    XMapWindow(display, id);
    XSync(display, False);
    auto vantor = daemons ? startOn(server, {"--root"}, {"XSCREENSAVER_WINDOW=" + window})
                          : startOn(server, {"--window-id", window});
    EXPECT_TRUE(showsKaleidoscope(server, window)) << vantor->errorSoFar();
    if (daemons) {
      XResizeWindow(display, id, 400, 300);
      XSync(display, False);
      EXPECT_TRUE(showsKaleidoscope(server, window, 400));
    } else {
      XDestroyWindow(display, id);
      XSync(display, False);
      Exit done = vantor->wait(5.0);
      EXPECT_EQ(std::pair(done.status, lineCount(done.err)), std::pair(1, 1L)) << done.err;
      EXPECT_LT(done.seconds, 1.0);
    }
  }
}

// Waits for a picture of the screen with enough drawn in its middle, then says how much of
// that is doubled; *frame is the picture.
double screenDoubledShare(const Xvfb& server, Frame* frame) {
  std::string error;
  double share = -1.0;
  eventually(
      [&] {
        return screenshot(server, "root", frame, &error) &&
               (share = doubledShare(*frame, 256)) >= 0;
      },
      20.0);
  return share;
}

// Guards drawing a window smaller and enlarging it (the drawn-size policy has tests of its own):
// a window drawn at half scale, asked for or chosen for a 3840x2160 screen (Xvfb renders in
// software), shows a whole mirror-symmetric picture with every pixel doubled; at scale 1 it
// draws every pixel.
TEST(Scale, AHalfScaleWindowIsAWholeSymmetricPictureWithEveryPixelDoubled) {
  for (const auto& [width, height, arguments] :
       {std::tuple{640, 480, Arguments{"--fps", "-geometry", "640x480", "--scale", "0.5"}},
        {3840, 2160, Arguments{"--fps", "--root"}},
        {640, 480, Arguments{"--fps", "-geometry", "640x480", "--scale", "1"}}}) {
    SCOPED_TRACE(arguments.back() + " on " + std::to_string(width));
    Xvfb server(width, height);
    ASSERT_TRUE(server.started()) << server.failure();
    auto saver = startOn(server, arguments);
    EXPECT_TRUE(showsKaleidoscope(server, "root")) << saver->errorSoFar();
    Frame screen;
    const double doubled = screenDoubledShare(server, &screen);
    // Right way up: the overlay's text is in the bottom-left corner, not the top-left.
    EXPECT_GT(yellowIn(screen, 0, height - 48, 120, 48), 100);
    EXPECT_EQ(yellowIn(screen, 0, 0, 120, 48), 0);
    if (arguments.back() == "1") {
      EXPECT_LT(doubled, 0.9);
    } else {
      EXPECT_EQ(doubled, 1.0);
    }
  }
}

// Every setting given at its default draws the bytes a plain render draws; at half scale a
// render is as symmetric, with every pixel doubled.
TEST(Scale, RendersAreUnchangedAtTheDefaultsAndDoubledAtHalf) {
  TemporaryFolder folder;
  Frame frames[3];
  const Arguments settings[3] = {
      {}, {"--scale", "1", "--speed", "1", "--mirrors", "random"}, {"--scale", "0.5"}};
  for (int i = 0; i < 3; i++) {
    const std::string file = folder.path() + "/" + std::to_string(i) + ".png";
    Arguments arguments = {"--snapshot", file,     "--at", "2",           "--size",
                           "320x240",    "--seed", "42",   "--resources", resourcesPath()};
    arguments.insert(arguments.end(), settings[i].begin(), settings[i].end());
    Exit done = run(vantorCommand(arguments), {"DISPLAY"});
    ASSERT_EQ(done.status, 0) << done.err;
    frames[i] = pngFrame(file);
  }
  EXPECT_EQ(readFile(folder.path() + "/0.png"), readFile(folder.path() + "/1.png"));
  EXPECT_TRUE(isSymmetricKaleidoscope(frames[0]));
  EXPECT_EQ(std::pair(frames[2].width, frames[2].height), std::pair(320, 240));
  EXPECT_TRUE(isSymmetricKaleidoscope(frames[2]));
  EXPECT_EQ(doubledShare(frames[2], 240), 1.0);
}

// Guards the cost of a window nobody sees: unmapped, or covered whole by another window, the
// saver draws nothing and does not even wake up; shown again, it draws again.
TEST(Windows, NothingIsDrawnWhileTheWindowIsUnmappedOrCovered) {
  Xvfb server(320, 240);
  Display* display = server.connection();
  ASSERT_NE(display, nullptr);
  auto saver = startOn(server, {"-geometry", "320x240"});
  ASSERT_TRUE(showsKaleidoscope(server, "root")) << saver->errorSoFar();
  const Window window = vantorWindow(display);
  ASSERT_NE(window, 0u);
  const Window cover =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 240, 0, 0, 0);
  for (bool unmap : {true, false}) {
    SCOPED_TRACE(unmap ? "unmapped" : "covered");
    unmap ? XUnmapWindow(display, window) : XMapRaised(display, cover);
    XSync(display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long before = wakeups(saver->pid());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LE(wakeups(saver->pid()) - before, 2) << "wake-ups in a second while hidden";
    unmap ? XMapWindow(display, window) : XUnmapWindow(display, cover);
    XSync(display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long shown = wakeups(saver->pid());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_GE(wakeups(saver->pid()) - shown, 10) << "wake-ups in half a second when shown";
  }
}

// On a 640x480 screen without a window manager, the own window lands where -geometry puts it:
// minus offsets count from the right and bottom edges, "+-5" lies beyond the left edge; and a
// window manager is told the same, with the corner the offsets are measured from.
TEST(Windows, GeometryPlacesTheOwnWindowWhereAsked) {
  Xvfb server(640, 480);
  Display* display = server.connection();
  ASSERT_NE(display, nullptr);
  const std::tuple<const char*, int, int, int> cases[] = {
      {"100x80+10+20", 10, 20, NorthWestGravity},
      {"100x80-10-20", 530, 380, SouthEastGravity},
      {"100x80-0+5", 540, 5, NorthEastGravity},
      {"100x80+-5-0", -5, 400, SouthWestGravity},
  };
  for (const auto& [geometry, x, y, gravity] : cases) {
    SCOPED_TRACE(geometry);
    auto vantor = startOn(server, {"-geometry", geometry});
    Window window = 0;
    eventually([&] { return (window = vantorWindow(display)) != 0 || !vantor->running(); }, 10.0);
    ASSERT_NE(window, 0u) << vantor->errorSoFar();
    int atX = 0, atY = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &atX, &atY, &child);
    EXPECT_EQ(std::pair(atX, atY), std::pair(x, y));
    XSizeHints hints = {};
    long supplied = 0;
    XGetWMNormalHints(display, window, &hints, &supplied);
    EXPECT_EQ(hints.flags & (USPosition | USSize | PWinGravity), USPosition | USSize | PWinGravity);
    EXPECT_EQ(hints.win_gravity, gravity);
    vantor->signal(SIGTERM);
    vantor->wait(5.0);
    eventually([&] { return vantorWindow(display) == 0; }, 5.0);
  }
}

// Guards Vantor under the real xscreensaver daemon, run as an unprivileged user on a virtual
// X server: selected as the only hack it draws a kaleidoscope into the daemon's window, and
// after the daemon deactivates (it sends SIGTERM, nothing more) no Vantor process is left.
TEST(Daemon, SelectedHackDrawsAndLeavesNoProcessAfterDeactivation) {
  prctl(PR_SET_CHILD_SUBREAPER, 1);  // what the daemon leaves is ours to reap, not a zombie
  Xvfb server(640, 480);
  ASSERT_TRUE(server.started()) << server.failure();
  TemporaryFolder home;
  const std::string program = installed() + "/bin/vantor";
  std::ofstream(home.path() + "/.xscreensaver")
      << "timeout: 0:30:00\ncycle: 0\nlock: False\nmode: one\nselected: 0\nsplash: False\n"
         "fade: False\nunfade: False\ndpmsEnabled: False\nprograms: GL: "
      << program << " --root \\n\n";
  if (geteuid() == 0) {
    ASSERT_EQ(run({"/bin/chown", "-R", "65534:65534", home.path()}).status, 0);
  }
  auto daemon = [&](Arguments command) {
    command.insert(command.begin(),
                   {"/usr/bin/env", "-i", "PATH=/usr/bin:/bin", "HOME=" + home.path(),
                    "DISPLAY=" + server.display(), "VANTOR_GL_CHECK=1"});
    return asUser(command);
  };
  auto command = [&](Arguments what) {
    what.insert(what.begin(), "/usr/bin/xscreensaver-command");
    return run(daemon(what), {}, 20.0).status;
  };
  auto running = [&] {  // live (not zombie) processes of the program
    std::istringstream pids(run({"/usr/bin/pidof", program}).out);
    return std::vector<pid_t>(std::istream_iterator<pid_t>(pids), {});
  };
  Process saver(daemon({"/usr/bin/xscreensaver", "-no-splash"}));
  ASSERT_TRUE(eventually([&] { return !saver.running() || command({"-version"}) == 0; }, 20.0));
  ASSERT_TRUE(saver.running()) << saver.errorSoFar();
  ASSERT_EQ(command({"-select", "1"}), 0);
  ASSERT_TRUE(eventually([&] { return !running().empty(); }, 20.0));
  ASSERT_EQ(running().size(), 1u);
  EXPECT_TRUE(showsKaleidoscope(server, "root"));
  EXPECT_EQ(running().size(), 1u) << "the hack is still running while active";
  ASSERT_EQ(command({"-deactivate"}), 0);
  EXPECT_TRUE(eventually([&] { return running().empty(); }, 5.0)) << "a hack is left behind";
  EXPECT_EQ(command({"-exit"}), 0);
  EXPECT_NE(saver.wait(20.0).signal, SIGKILL);
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

// The program's command line as one shell word each, for a pipeline.
std::string shellLine(const Arguments& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    line += " '" + argument + "'";
  }
  return line;
}

// Guards the video stream: what ffprobe makes of it, frames that decode to the PNG frames of
// the same render within a stated tolerance, and a reader that stops early ending the program
// at once, quietly, as a broken pipe ends any writer.
TEST(Video, AStreamOfThePngFramesThatEndsWithItsReader) {
  TemporaryFolder folder;
  const Arguments options = {"--frames", "12",     "--size", "160x120",     "--rate",
                             "25",       "--seed", "1000",   "--resources", resourcesPath()};
  const std::string video = folder.path() + "/video.y4m";
  Exit streamed =
      run({"/bin/sh", "-c",
           shellLine(vantorCommand({"--render", "-"}, options)) + " > '" + video + "'"});
  ASSERT_EQ(streamed.status, 0) << streamed.err;
  ASSERT_EQ(run(vantorCommand({"--render", folder.path() + "/frames"}, options)).status, 0);
  Exit probe = run({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-show_entries",
                    "stream=width,height,r_frame_rate,nb_read_frames", "-of", "csv=p=0", video});
  EXPECT_EQ(probe.out, "160,120,25/1,12\n") << probe.err;

  // Frame 7 through ffmpeg, against frame-00007.png: PSNR over the three channels.
  const std::string decoded = folder.path() + "/decoded.png";
  Exit decode = run({"/usr/bin/ffmpeg", "-v", "error", "-i", video, "-vf", "select=eq(n\\,6)",
                     "-frames:v", "1", decoded});
  ASSERT_EQ(decode.status, 0) << decode.err;
  const Frame fromVideo = pngFrame(decoded),
              fromPng = pngFrame(folder.path() + "/frames/frame-00007.png");
  ASSERT_EQ(fromVideo.rgb.size(), fromPng.rgb.size());
  double squares = 0;
  for (size_t i = 0; i < fromPng.rgb.size(); i++) {
    squares += std::pow(fromVideo.rgb[i] - fromPng.rgb[i], 2);
  }
  const double psnr = 10 * std::log10(255.0 * 255.0 / (squares / fromPng.rgb.size()));
  EXPECT_GE(psnr, 40.0) << "dB";

  // A reader that takes a few bytes and goes: no message, the status of a broken pipe.
  Arguments endless = {"--render", "-", "--frames", "10000000", "--size", "64x48"};
  Exit early = run({"/bin/bash", "-c",
                    shellLine(vantorCommand(endless)) + " | head -c 1000 > /dev/null; "
                                                        "echo ${PIPESTATUS[0]}"},
                   {}, 20.0);
  EXPECT_EQ(early.out, "141\n");
  EXPECT_EQ(early.err, "");
}

// The size of the viewable own window, or 0x0 while there is none.
std::pair<int, int> ownWindowSize(Display* display) {
  XWindowAttributes attributes = {};
  const Window window = vantorWindow(display);
  if (window == 0 || !XGetWindowAttributes(display, window, &attributes)) {
    return {0, 0};
  }
  return {attributes.width, attributes.height};
}

// Guards the own window as people meet it: without -geometry it takes 1024x768 where that is
// at most two thirds of the screen each way, else the largest 4:3 size that is; --fullscreen
// fills the screen, f switches back and forth, and s saves the frame on screen as a PNG file in
// the current folder and says its name (an arrangement held, so that no glide between mirror
// angles spoils the frame's symmetry).
TEST(Windows, DefaultSizeFullScreenAndSavedFrames) {
  {
    Xvfb server(1600, 1200);
    ASSERT_NE(server.connection(), nullptr);
    auto vantor = startOn(server, {});
    std::pair<int, int> size;
    eventually([&] { return (size = ownWindowSize(server.connection())).first != 0; }, 10.0);
    EXPECT_EQ(size, std::pair(1024, 768)) << "on 1600x1200";
  }
  // On 1280x720, f switches between full screen and the default size, 640x480.
  Xvfb server(1280, 720);
  Display* display = server.connection();
  ASSERT_NE(display, nullptr);
  TemporaryFolder folder;
  Process vantor({"/bin/sh", "-c",
                  "cd '" + folder.path() + "' && exec '" + programPath() +
                      "' --fullscreen --mirrors 10 --resources '" + resourcesPath() + "'"},
                 {"DISPLAY=" + server.display(), "XSCREENSAVER_WINDOW", "WAYLAND_DISPLAY"});
  const std::pair<int, int> full(1280, 720), windowed(640, 480);
  EXPECT_TRUE(eventually([&] { return ownWindowSize(display) == full; }, 10.0))
      << vantor.errorSoFar();
  auto key = [&](const char* name) {
    const std::string window = std::to_string(vantorWindow(display));
    run({"/usr/bin/xdotool", "key", "--window", window, name}, {"DISPLAY=" + server.display()});
  };
  key("f");
  EXPECT_TRUE(eventually([&] { return ownWindowSize(display) == windowed; }, 5.0));
  key("f");
  EXPECT_TRUE(eventually([&] { return ownWindowSize(display) == full; }, 5.0));
  ASSERT_TRUE(showsKaleidoscope(server, "root"));
  key("s");
  // Written whole under a temporary name first: wait for the file's own name.
  std::vector<std::string> saved;
  eventually(
      [&] {
        saved = entriesOf(folder.path());
        return saved.size() == 1 && saved[0][0] != '.';
      },
      5.0);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_TRUE(std::regex_match(saved[0], std::regex("vantor-[0-9]{8}-[0-9]{6}\\.png"))) << saved[0];
  const Frame frame = pngFrame(folder.path() + "/" + saved[0]);
  EXPECT_EQ(frame.width, 1280);
  EXPECT_TRUE(isSymmetricKaleidoscope(frame));
  vantor.signal(SIGTERM);
  EXPECT_NE(vantor.wait(5.0).out.find("wrote the frame on screen to " + saved[0]),
            std::string::npos);
}

}  // namespace
