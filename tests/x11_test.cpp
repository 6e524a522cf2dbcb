// Guards the X11 surface through the built program on a virtual X server: every way of choosing
// the window, the own window's size, place, full screen and saved frames, drawing smaller and
// enlarging, idling while hidden, and the real xscreensaver daemon.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>
#include <tuple>

#include "ScreenSaverDaemon.h"
#include "support/FrameChecks.h"
#include "support/Program.h"

// After GoogleTest: Xlib defines None, a name GoogleTest uses.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Guards the window host under a virtual X server: each way of choosing the window draws a
// kaleidoscope there (an own window also when WAYLAND_DISPLAY names a compositor that is gone,
// with one line saying so), a foreign window's new size reaches the view, SIGTERM ends the
// program by that signal, and a window destroyed under it ends it with status 1 and one line.
TEST(Windows, EveryWayOfChoosingTheWindowDrawsThere) {
  Xvfb server(640, 480);
  Display* display = server.connection();
  ASSERT_NE(display, nullptr);
  // The own window covers the screen, so a picture of the screen is one of the window.
  TemporaryFolder runtime;  // a session's, whose compositor is gone
  for (bool stale : {false, true}) {
    for (const Arguments& arguments : {Arguments{"-geometry", "640x480"}, {"--root"}}) {
      auto vantor = startOn(
          server, arguments,
          stale ? Arguments{"WAYLAND_DISPLAY=wayland-gone", "XDG_RUNTIME_DIR=" + runtime.path()}
                : Arguments{});
      EXPECT_TRUE(showsKaleidoscope(server, "root")) << arguments[0] << vantor->errorSoFar();
      EXPECT_EQ(vantor->errorSoFar(),
                !stale || arguments[0] == "--root"
                    ? ""
                    : "vantor: cannot connect to the Wayland compositor 'wayland-gone': No such "
                      "file or directory; using the X display '" +
                          server.display() + "' instead\n");
      EXPECT_TRUE(endsOnSigterm(*vantor));
    }
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

// --root on a screen of two monitors of different sizes side by side (Xephyr joins two screens
// through Xinerama, as a desktop's X server reports its monitors): a kaleidoscope centred on
// each, drawn once for the larger and shown on both, not one centred on the seam.
TEST(Windows, TheRootWindowOfTwoMonitorsShowsAKaleidoscopeCentredOnEach) {
  Xvfb server(1600, 800, {"640x480", "800x600"});
  ASSERT_TRUE(server.started()) << server.failure();
  auto vantor = startOn(server, {"--root"});
  Frame frame;
  std::string error;
  ::testing::AssertionResult left = ::testing::AssertionFailure(), right = left;
  EXPECT_TRUE(eventually(
      [&] {
        if (!screenshot(server, "root", &frame, &error) || frame.width != 1440) {
          return false;
        }
        left = isSymmetricKaleidoscope(frame.part(0, 0, 640, 480));
        right = isSymmetricKaleidoscope(frame.part(640, 0, 800, 600));
        return left && right;
      },
      15.0))
      << frame.width << "x" << frame.height << " " << error << " left: " << left.message()
      << " right: " << right.message() << vantor->errorSoFar();
  EXPECT_TRUE(endsOnSigterm(*vantor));
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
  const std::string program = installed() + "/bin/vantor";
  ScreenSaverDaemon daemon(server.display(), program + " --root");
  ASSERT_TRUE(daemon.started()) << daemon.failure();
  auto running = [&] { return runningCopies(program); };
  ASSERT_EQ(daemon.command({"-select", "1"}), 0);
  ASSERT_TRUE(eventually([&] { return !running().empty(); }, 20.0));
  ASSERT_EQ(running().size(), 1u);
  EXPECT_TRUE(showsKaleidoscope(server, "root"));
  EXPECT_EQ(running().size(), 1u) << "the hack is still running while active";
  ASSERT_EQ(daemon.command({"-deactivate"}), 0);
  EXPECT_TRUE(eventually([&] { return running().empty(); }, 5.0)) << "a hack is left behind";
  EXPECT_NE(daemon.exit().signal, SIGKILL);
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
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
