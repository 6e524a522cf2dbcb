// Guards the window host under a virtual X server: each way of choosing the window draws
// there, a foreign window's new size reaches the view, the window manager's close and the
// quit keys end an own window, SIGTERM ends the program by that signal, and a window
// destroyed under the program ends it with status 1 and one line.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/Pictures.h"
#include "support/Process.h"
#include "support/Program.h"
#include "support/Xvfb.h"

// After GoogleTest: Xlib defines None, a name GoogleTest uses.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

std::string Hex(Window window) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%lx", window);
  return text;
}

int Lines(const std::string& text) {
  int lines = 0;
  for (char c : text) {
    lines += c == '\n' ? 1 : 0;
  }
  return lines;
}

class Windows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new Xvfb(640, 480); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(server_->started()) << "Xvfb did not start: " << server_->failure();
    display_ = XOpenDisplay(server_->display().c_str());
    ASSERT_NE(display_, nullptr);
  }

  void TearDown() override {
    if (display_ != nullptr) {
      XCloseDisplay(display_);
    }
  }

  std::unique_ptr<Process> start(std::vector<std::string> arguments,
                                 std::vector<std::string> environment = {}) {
    arguments.insert(arguments.begin(), programPath());
    arguments.insert(arguments.end(), {"--resources", resourcesPath()});
    environment.push_back(server_->environment());
    environment.push_back("XSCREENSAVER_WINDOW");
    return std::make_unique<Process>(arguments, environment);
  }

  // A plain black window of the test's own, as the daemon or its dialog would make.
  Window makeWindow(int x, int y, int width, int height) {
    int screen = DefaultScreen(display_);
    Window window =
        XCreateSimpleWindow(display_, RootWindow(display_, screen), x, y,
                            static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                            BlackPixel(display_, screen), BlackPixel(display_, screen));
    XMapWindow(display_, window);
    XSync(display_, False);
    return window;
  }

  Frame shot(const std::string& window) {
    Frame frame;
    std::string error;
    EXPECT_TRUE(screenshot(*server_, window, &frame, &error)) << error;
    return frame;
  }

  // Waits until the --fps text shows in the bottom-left corner of the window: the first
  // frames have been drawn and presented there.
  ::testing::AssertionResult showsFps(const std::string& window, Process& program) {
    Frame frame;
    std::string error;
    // A window not yet mapped cannot be shot: that is "not yet", not a failure.
    bool seen = eventually(
        [&] {
          return !program.running() || (screenshot(*server_, window, &frame, &error) &&
                                        litShareIn(frame, 0, frame.height - 40, 80, 40) > 0.02);
        },
        20.0);
    if (!program.running()) {
      return ::testing::AssertionFailure() << "the program ended: " << program.errorSoFar();
    }
    if (!seen) {
      return ::testing::AssertionFailure() << "no FPS text in the bottom-left corner " << error;
    }
    return ::testing::AssertionSuccess();
  }

  // Waits for a symmetric kaleidoscope frame in the window (the --fps text left out). While
  // the mirrors glide to another angle (two seconds, now and then) frames are not symmetric,
  // so one such frame is not a failure.
  ::testing::AssertionResult showsKaleidoscope(const std::string& window, int width = 0) {
    Frame frame;
    std::string error;
    if (eventually(
            [&] {
              return screenshot(*server_, window, &frame, &error) &&
                     (width == 0 || frame.width == width) && IsSymmetricKaleidoscope(frame, 40);
            },
            10.0)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << error << frame.width << "x" << frame.height << ": "
                                         << IsSymmetricKaleidoscope(frame, 40).message();
  }

  Window findOwnWindow() {
    Window found = 0;
    eventually(
        [&] {
          Window root = DefaultRootWindow(display_);
          Window parent = 0;
          Window* children = nullptr;
          unsigned count = 0;
          XQueryTree(display_, root, &root, &parent, &children, &count);
          for (unsigned i = 0; i < count && found == 0; i++) {
            char* name = nullptr;
            XWindowAttributes attributes;
            if (XFetchName(display_, children[i], &name) && name != nullptr) {
              if (std::string(name) == "Vantor" &&
                  XGetWindowAttributes(display_, children[i], &attributes) &&
                  attributes.map_state == IsViewable) {
                found = children[i];
              }
              XFree(name);
            }
          }
          if (children != nullptr) {
            XFree(children);
          }
          return found != 0;
        },
        20.0);
    return found;
  }

  static Xvfb* server_;
  Display* display_ = nullptr;
};

Xvfb* Windows::server_ = nullptr;

TEST_F(Windows, OwnWindowDrawsAndClosesOnQAndOnTheWindowManagersClose) {
  for (const char* ending : {"q", "close"}) {
    auto vantor = start({"--fps", "-geometry", "320x240"});
    Window window = findOwnWindow();
    ASSERT_NE(window, 0u) << vantor->errorSoFar();

    XClassHint hint = {};
    ASSERT_TRUE(XGetClassHint(display_, window, &hint));
    EXPECT_STREQ(hint.res_name, "vantor");
    EXPECT_STREQ(hint.res_class, "Vantor");
    XFree(hint.res_name);
    XFree(hint.res_class);
    XWindowAttributes attributes;
    XGetWindowAttributes(display_, window, &attributes);
    EXPECT_EQ(attributes.width, 320);
    EXPECT_EQ(attributes.height, 240);
    ASSERT_TRUE(showsFps(Hex(window), *vantor));
    EXPECT_TRUE(showsKaleidoscope(Hex(window)));

    if (std::string(ending) == "q") {
      // Only the press: it ends the program, and a release would go to a window now gone.
      ASSERT_EQ(run({"/usr/bin/xdotool", "keydown", "--window", std::to_string(window), "q"},
                    {server_->environment()})
                    .status,
                0);
    } else {
      XEvent close = {};
      close.xclient.type = ClientMessage;
      close.xclient.window = window;
      close.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
      close.xclient.format = 32;
      close.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
      XSendEvent(display_, window, False, NoEventMask, &close);
      XFlush(display_);
    }
    Exit done = vantor->wait(5.0);
    EXPECT_TRUE(done.exited) << ending;
    EXPECT_EQ(done.status, 0) << ending << ": " << done.err;
  }
}

TEST_F(Windows, RootWindowDrawsAndSigtermEndsItByThatSignal) {
  auto vantor = start({"--root", "--fps"});
  ASSERT_TRUE(showsFps("root", *vantor));
  EXPECT_TRUE(showsKaleidoscope("root"));
  vantor->signal(SIGTERM);
  Exit done = vantor->wait(5.0);
  EXPECT_EQ(done.signal, SIGTERM) << "status " << done.status << ": " << done.err;
  EXPECT_LT(done.seconds, 1.0);
}

TEST_F(Windows, RootWithTheDaemonsWindowDrawsThereAndFollowsItsSize) {
  Window window = makeWindow(100, 50, 320, 240);
  auto vantor = start({"--root", "--fps"}, {"XSCREENSAVER_WINDOW=" + Hex(window)});
  ASSERT_TRUE(showsFps(Hex(window), *vantor));
  EXPECT_TRUE(showsKaleidoscope(Hex(window)));
  // The root window around it stays as it was: the program draws in the daemon's window only.
  Frame root = shot("root");
  EXPECT_LT(litShareIn(root, 0, 480 - 40, 80, 40), 0.5);

  // A new size reaches the view: the engine is rebuilt with the picture centred in the window.
  XResizeWindow(display_, window, 400, 300);
  XSync(display_, False);
  EXPECT_TRUE(showsKaleidoscope(Hex(window), 400));
  EXPECT_TRUE(vantor->running()) << vantor->errorSoFar();

  vantor->signal(SIGINT);
  Exit done = vantor->wait(5.0);
  EXPECT_TRUE(done.exited);
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_LT(done.seconds, 1.0);
  XDestroyWindow(display_, window);
}

TEST_F(Windows, GivenWindowDrawsAndItsDestructionEndsTheProgramWithStatusOne) {
  Window window = makeWindow(0, 0, 200, 150);
  auto vantor = start({"--window-id", std::to_string(window), "--fps"});
  ASSERT_TRUE(showsFps(Hex(window), *vantor));
  EXPECT_TRUE(showsKaleidoscope(Hex(window)));

  XDestroyWindow(display_, window);
  XSync(display_, False);
  Exit done = vantor->wait(5.0);
  EXPECT_TRUE(done.exited);
  EXPECT_EQ(done.status, 1);
  EXPECT_LT(done.seconds, 1.0);
  EXPECT_EQ(done.err.find("X Error"), std::string::npos) << done.err;
  std::string last = done.err.substr(done.err.rfind('\n', done.err.size() - 2) + 1);
  EXPECT_NE(last.find(Hex(window)), std::string::npos) << done.err;
  EXPECT_EQ(Lines(last), 1);

  // A window that does not exist at all.
  Exit missing = run({programPath(), "--window-id", Hex(window)}, {server_->environment()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(Lines(missing.err), 1) << missing.err;
  EXPECT_NE(missing.err.find(Hex(window)), std::string::npos) << missing.err;
}

}  // namespace
