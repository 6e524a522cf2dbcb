// Guards the Wayland surface under a headless sway of each test's own, run (with Vantor) as an
// unprivileged user: the window and both layers show a moving, symmetric kaleidoscope; every
// output is covered at its own pixel size as outputs come and change; the saver ends on a key
// and on SIGTERM; and the compositor going away ends Vantor with status 1 and one line.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>

#include <memory>

#include "Sway.h"
#include "support/FrameChecks.h"
#include "support/Program.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"

namespace {

// A pointer device of the test's own, made through the virtual-pointer protocol on the default
// seat (a headless sway has no other device), half a second before use so that clients have
// bound it. Its moves are relative, in logical pixels.
class VirtualPointer {
 public:
  explicit VirtualPointer(const Sway& sway) : display_(wl_display_connect(sway.socket().c_str())) {
    static const wl_registry_listener kListener = {
        [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
          if (std::string(interface) == zwlr_virtual_pointer_manager_v1_interface.name) {
            *static_cast<zwlr_virtual_pointer_manager_v1**>(data) =
                static_cast<zwlr_virtual_pointer_manager_v1*>(wl_registry_bind(
                    registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
          }
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry* registry = display_ != nullptr ? wl_display_get_registry(display_) : nullptr;
    if (registry != nullptr && wl_registry_add_listener(registry, &kListener, &manager_) == 0 &&
        wl_display_roundtrip(display_) >= 0 && manager_ != nullptr) {
      pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager_, nullptr);
      wl_display_roundtrip(display_);
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    if (registry != nullptr) {
      wl_registry_destroy(registry);
    }
  }
  ~VirtualPointer() {
    if (pointer_ != nullptr) {
      zwlr_virtual_pointer_v1_destroy(pointer_);
    }
    if (manager_ != nullptr) {
      zwlr_virtual_pointer_manager_v1_destroy(manager_);
    }
    if (display_ != nullptr) {
      wl_display_disconnect(display_);
    }
  }

  bool made() const { return pointer_ != nullptr; }
  void move(double dx, double dy) {
    zwlr_virtual_pointer_v1_motion(pointer_, now(), wl_fixed_from_double(dx),
                                   wl_fixed_from_double(dy));
    send();
  }
  void click() {
    zwlr_virtual_pointer_v1_button(pointer_, now(), BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
    zwlr_virtual_pointer_v1_frame(pointer_);
    zwlr_virtual_pointer_v1_button(pointer_, now(), BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
    send();
  }

 private:
  uint32_t now() { return time_ += 10; }  // milliseconds, only ever increasing
  void send() {
    zwlr_virtual_pointer_v1_frame(pointer_);
    wl_display_roundtrip(display_);
  }

  wl_display* display_;
  zwlr_virtual_pointer_manager_v1* manager_ = nullptr;
  zwlr_virtual_pointer_v1* pointer_ = nullptr;
  uint32_t time_ = 0;
};

class Wayland : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!sway_.problem().empty()) {
      GTEST_SKIP() << "no Wayland compositor can run here: " << sway_.problem();
    }
  }

  // The installed program (sway's user can reach it) with `options`, as vantor_.
  void start(Arguments options, const Arguments& environment = {}) {
    options.insert(options.begin(), installed() + "/bin/vantor");
    vantor_ = sway_.start(options, environment);
  }

  void message(const Arguments& words) {
    const Exit done = sway_.message(words);
    ASSERT_EQ(done.status, 0) << done.out << done.err;
  }

  // Whether Vantor still runs half a second on.
  bool stillRuns() {
    return !eventually([&] { return !vantor_->running(); }, 0.5);
  }

  // Waits for a width x height picture of `output` that shows a symmetric kaleidoscope on its
  // black ground (sway's own empty background is an even grey, symmetric too), then for another
  // that differs from it (the picture moves). While the mirrors glide to another angle, now and
  // then, frames are not symmetric.
  ::testing::AssertionResult shows(const std::string& output = "HEADLESS-1", int width = 1280,
                                   int height = 720) {
    Frame frames[2];
    std::string error;
    for (int i = 0; i < 2; i++) {
      Frame& frame = frames[i];
      if (!eventually(
              [&] {
                return sway_.capture(output, &frame, &error) && frame.width == width &&
                       frame.height == height && (i == 0 || frame.rgb != frames[0].rgb) &&
                       frame.darkShare() > 0.1 && isSymmetricKaleidoscope(frame);
              },
              15.0)) {
        return ::testing::AssertionFailure()
               << output << ": wanted " << width << "x" << height << ", got " << frame.width << "x"
               << frame.height << (i == 1 && frame.rgb == frames[0].rgb ? " (not moving) " : " ")
               << error << isSymmetricKaleidoscope(frame).message() << vantor_->errorSoFar();
      }
    }
    return ::testing::AssertionSuccess();
  }

  // Waits up to `seconds` for Vantor to end with `status`, having said nothing (`says` empty)
  // or one line holding `says`.
  ::testing::AssertionResult ends(int status, const std::string& says = "", double seconds = 10.0) {
    const Exit done = vantor_->wait(seconds);
    if (done.status == status &&
        (says.empty() ? done.err.empty()
                      : lineCount(done.err) == 1 && done.err.find(says) != std::string::npos)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "status " << done.status << " (wanted " << status << ", saying \"" << says
           << "\") after " << done.seconds << " s: " << done.err;
  }

  Sway sway_;
  std::unique_ptr<Process> vantor_;
};

// With WAYLAND_DISPLAY set, the default is a native window; it fills the output (sway tiles it).
// On a workspace out of sight the compositor asks for no frames, and Vantor draws none.
TEST_F(Wayland, TheWindowShowsAMovingKaleidoscopeIdlesHiddenAndClosesOnEscapeOrTheCompositors) {
  for (bool escape : {true, false}) {
    SCOPED_TRACE(escape ? "Escape" : "kill");
    start({});
    ASSERT_TRUE(shows());
    if (escape) {
      EXPECT_EQ(sway_.key("x").status, 0);
      EXPECT_TRUE(stillRuns()) << "another key " << vantor_->errorSoFar();
      EXPECT_EQ(sway_.key("Escape").status, 0);
    } else {
      message({"workspace", "2"});
      std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a frame under way ends
      const long before = wakeups(vantor_->pid());
      std::this_thread::sleep_for(std::chrono::seconds(1));
      EXPECT_LE(wakeups(vantor_->pid()) - before, 2) << "wake-ups in a second while hidden";
      message({"workspace", "1"});
      EXPECT_TRUE(shows()) << "shown again";
      message({"kill"});
    }
    EXPECT_TRUE(ends(0));
  }
}

// The window's keys are those of the X11 window: f switches full screen (sway tiles the window,
// so only sway's tree tells), s saves the frame on screen in the current folder.
TEST_F(Wayland, TheWindowSavesItsFrameWithSAndSwitchesFullScreenWithF) {
  TemporaryFolder folder;
  chmod(folder.path().c_str(), 0777);  // for sway's user
  vantor_ = sway_.start(
      {"/bin/sh", "-c",
       "cd '" + folder.path() + "' && exec " + installed() + "/bin/vantor --mirrors 10"});
  ASSERT_TRUE(shows());
  auto fullscreen = [&] {  // the fullscreen_mode of the node with Vantor's app_id, which follows it
    const std::string tree = sway_.message({"-t", "get_tree"}).out;
    const size_t app = tree.find("\"app_id\": \"org.vantor.saver\"");
    const size_t mode = app == std::string::npos ? app : tree.rfind("\"fullscreen_mode\": ", app);
    return mode != std::string::npos && tree.compare(mode + 19, 1, "1") == 0;
  };
  EXPECT_FALSE(fullscreen());
  EXPECT_EQ(sway_.key("f").status, 0);
  EXPECT_TRUE(eventually(fullscreen, 5.0));
  EXPECT_EQ(sway_.key("f").status, 0);
  EXPECT_TRUE(eventually([&] { return !fullscreen(); }, 5.0));
  EXPECT_EQ(sway_.key("s").status, 0);
  std::vector<std::string> saved;  // written whole under a temporary name first
  eventually([&] { return (saved = entriesOf(folder.path())).size() == 1 && saved[0][0] != '.'; },
             5.0);
  ASSERT_EQ(saved.size(), 1u);
  const Frame frame = pngFrame(folder.path() + "/" + saved[0]);
  EXPECT_EQ(std::pair(frame.width, frame.height), std::pair(1280, 720));
  EXPECT_TRUE(isSymmetricKaleidoscope(frame));
  EXPECT_TRUE(endsOnSigterm(*vantor_));
  EXPECT_NE(vantor_->outputSoFar().find("wrote the frame on screen to " + saved[0]),
            std::string::npos);
}

// --scale draws an output's picture small and enlarges it, every 2x2 block of one colour, and so
// does the automatic choice: a software renderer draws a 3840x2160 output at 1920x1080.
TEST_F(Wayland, AHalfScaleOutputShowsEveryPixelDoubledAskedForOrChosen) {
  for (bool asked : {true, false}) {
    SCOPED_TRACE(asked ? "--scale 0.5" : "3840x2160");
    if (!asked) {
      message({"output", "HEADLESS-1", "resolution", "3840x2160"});
    }
    start(asked ? Arguments{"--layer", "background", "--scale", "0.5"}
                : Arguments{"--layer", "background"});
    // A picture of Vantor's, as large as the output: its black ground, not sway's grey, with
    // enough drawn in the middle. (A 3840x2160 capture is slow to take and read: once a frame.)
    Frame frame;
    std::string error;
    double doubled = -1.0;
    EXPECT_TRUE(eventually(
        [&] {
          return sway_.capture("HEADLESS-1", &frame, &error) &&
                 frame.width == (asked ? 1280 : 3840) && frame.darkShare() > 0.1 &&
                 (doubled = doubledShare(frame, 256)) >= 0.0;
        },
        90.0))  // under the sanitizers on a busy machine the first frames take tens of seconds
        << frame.width << "x" << frame.height << " " << error << vantor_->errorSoFar();
    EXPECT_EQ(doubled, 1.0);
    EXPECT_TRUE(endsOnSigterm(*vantor_));
  }
}

// One output drawn on directly, then a second of another size and scale added while Vantor
// runs, then the first resized: each is covered at its own pixel size. The --fps text shows whole
// on each, the smaller one of another shape (which shows the picture's middle) too.
TEST_F(Wayland, TheWallpaperCoversEveryOutputAtItsOwnPixelSizeAsOutputsComeAndChange) {
  start({"--layer", "background"});
  ASSERT_TRUE(shows());
  message({"create_output"});
  message({"output", "HEADLESS-2", "resolution", "800x600", "position", "1280", "0", "scale", "2"});
  EXPECT_TRUE(shows("HEADLESS-2", 800, 600)) << "an added output";
  EXPECT_TRUE(shows());
  message({"output", "HEADLESS-1", "resolution", "1024x768"});
  EXPECT_TRUE(shows("HEADLESS-1", 1024, 768)) << "a resized output";
  EXPECT_TRUE(shows("HEADLESS-2", 800, 600));
  EXPECT_TRUE(vantor_->running()) << vantor_->errorSoFar();
  EXPECT_TRUE(endsOnSigterm(*vantor_));
  message({"output", "HEADLESS-1", "resolution", "1920x1080"});
  start({"--layer", "background", "--fps", "--seed", "1700000000"});
  for (const std::string output : {"HEADLESS-1", "HEADLESS-2"}) {
    Frame frame;
    std::string error;
    long yellow = 0;  // in the bottom-left corner, on the ground that scene leaves black there
    EXPECT_TRUE(eventually(
        [&] {
          return sway_.capture(output, &frame, &error) &&
                 (yellow = yellowIn(frame, 0, frame.height * 5 / 6, frame.width / 3,
                                    frame.height / 6)) > 700;
        },
        15.0))
        << output << ": " << yellow << " yellow pixels of the text's three lines " << error;
  }
  EXPECT_TRUE(endsOnSigterm(*vantor_));
}

// A wallpaper under a tiled window that covers its output is drawn for nobody, though sway sends
// it frame callbacks all the same: it asks for no frame until the window goes, then goes on.
TEST_F(Wayland, AWallpaperUnderWindowsCoveringItDrawsNothingUntilTheyGo) {
  start({"--layer", "background"}, {"WAYLAND_DEBUG=client"});
  ASSERT_TRUE(shows());
  auto frames = [&] { return frameRequests(*vantor_); };
  // A window of Vantor's own at a frame a second, tiled over the whole output.
  auto window = sway_.start({installed() + "/bin/vantor", "--delay", "1000000"});
  long before = 0;
  auto still = [&] {  // no frame asked for in the last half second
    before = frames();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return frames() == before;
  };
  ASSERT_TRUE(eventually(still, 15.0)) << "the wallpaper draws on under the window";
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_EQ(frames() - before, 0) << "frames drawn under the window in 2.5 s";
  EXPECT_TRUE(endsOnSigterm(*window));
  EXPECT_TRUE(shows()) << "after the window went";
  EXPECT_TRUE(endsOnSigterm(*vantor_));
}

// Each monitor its own Vantors, each with its own seed and settings: on the output named only
// (sway's grey ground stays on the other), a wallpaper on the bottom layer above one on the
// background layer (its --fps text shows), covering the output again when it comes back; and a
// saver on each output, neither ending the other.
TEST_F(Wayland, EachOutputItsOwnVantorsOnTheLayerAskedThroughTheOutputsComingBack) {
  message({"create_output"});
  message({"output", "HEADLESS-2", "resolution", "800x600", "position", "1280", "0"});
  start({"--layer", "background", "--output", "HEADLESS-2", "--seed", "5"});
  ASSERT_TRUE(shows("HEADLESS-2", 800, 600));
  auto wallpaper = std::move(vantor_);
  start({"--layer", "bottom", "--output", "HEADLESS-2", "--fps", "--seed", "6"});
  Frame frame;
  std::string error;
  auto textShows = [&] {  // the --fps text, bottom left on HEADLESS-2
    return sway_.capture("HEADLESS-2", &frame, &error) &&
           yellowIn(frame, 0, frame.height - 40, 120, 40) > 50;
  };
  EXPECT_TRUE(eventually(textShows, 15.0)) << error << vantor_->errorSoFar();
  ASSERT_TRUE(sway_.capture("HEADLESS-1", &frame, &error)) << error;
  EXPECT_LT(frame.darkShare(), 0.01) << "the output not named";
  message({"output", "HEADLESS-2", "disable"});
  std::this_thread::sleep_for(std::chrono::seconds(1));
  message({"output", "HEADLESS-2", "enable"});
  EXPECT_TRUE(eventually(textShows, 15.0)) << "back " << error << vantor_->errorSoFar();
  EXPECT_TRUE(endsOnSigterm(*vantor_));
  EXPECT_TRUE(endsOnSigterm(*wallpaper));
  std::unique_ptr<Process> savers[2];
  for (int i = 0; i < 2; i++) {
    start({"--layer", "overlay", "--output", "HEADLESS-" + std::to_string(i + 1), "--seed",
           std::to_string(7 + i)});
    EXPECT_TRUE(i == 0 ? shows() : shows("HEADLESS-2", 800, 600));
    savers[i] = std::move(vantor_);
  }
  for (auto& saver : savers) {
    EXPECT_TRUE(saver->running()) << saver->errorSoFar();
    EXPECT_TRUE(endsOnSigterm(*saver));
  }
}

// Any key ends the saver (not only Escape), so do a button and a pointer move of more than a
// few pixels (not a nudge), and SIGTERM, what swayidle's resume sends.
TEST_F(Wayland, TheSaverCoversTheOutputAndEndsOnAnyKeyButtonMoveOrSigterm) {
  for (const std::string way : {"key", "button", "move", "SIGTERM"}) {
    SCOPED_TRACE(way);
    start({"--layer", "overlay"});
    ASSERT_TRUE(shows());
    if (way == "SIGTERM") {
      EXPECT_TRUE(endsOnSigterm(*vantor_, 1.0));
      continue;
    }
    if (way == "key") {
      EXPECT_EQ(sway_.key("x").status, 0);
    } else {
      VirtualPointer pointer(sway_);
      ASSERT_TRUE(pointer.made()) << "sway made no virtual pointer";
      if (way == "button") {
        pointer.click();
      } else {
        pointer.move(3, 2);
        EXPECT_TRUE(stillRuns()) << "a nudge";
        pointer.move(40, 0);
      }
    }
    EXPECT_TRUE(ends(0));
  }
}

// The README's recipe with short timeouts, on a seat with a pointer as every desktop's has:
// swayidle starts the saver, then swaylock (which locks through wlr-layer-shell and
// wlr-input-inhibitor). The saver ends as the lock takes the input, so that the lock is what
// shows and nothing of the saver can show after the unlock; the wallpaper under both goes on.
TEST_F(Wayland, TheSaverEndsWhenSwaylockTakesOverAndTheWallpaperGoesOn) {
  start({"--layer", "background", "--seed", "5"});
  ASSERT_TRUE(shows());
  VirtualPointer pointer(sway_);
  ASSERT_TRUE(pointer.made()) << "sway made no virtual pointer";
  const std::string program = std::filesystem::canonical(installed() + "/bin/vantor");
  auto idle = sway_.start({"/usr/bin/swayidle", "-w", "timeout", "1",
                           program + " --layer overlay --mirrors 22 &", "timeout", "6",
                           "swaylock -f -c 203040"});
  auto saver = [&] {  // the Vantor swayidle started, or 0
    for (pid_t pid : sway_.clients(program)) {
      if (pid != vantor_->pid()) {
        return pid;
      }
    }
    return 0;
  };
  ASSERT_TRUE(eventually([&] { return saver() != 0; }, 10.0)) << idle->errorSoFar();
  Frame frame;
  std::string error;
  auto locked = [&] {  // the lock's colour (0x203040) fills most of the output
    return sway_.capture("HEADLESS-1", &frame, &error) && frame.shareOf(0x20, 0x30, 0x40) > 0.9;
  };
  EXPECT_TRUE(eventually(locked, 20.0)) << "the lock does not show " << error;
  EXPECT_EQ(saver(), 0) << "the saver still runs under the lock";
  EXPECT_TRUE(vantor_->running()) << "the wallpaper ended: " << vantor_->errorSoFar();
  const std::vector<pid_t> locks = sway_.clients("/usr/bin/swaylock");  // and its helper
  EXPECT_FALSE(locks.empty());
  for (pid_t lock : locks) {
    kill(lock, SIGKILL);  // the unlock, as a test can give it: the lock's end
  }
  EXPECT_TRUE(shows()) << "the wallpaper after the unlock";
  EXPECT_EQ(saver(), 0);
  idle->signal(SIGTERM);
  EXPECT_TRUE(endsOnSigterm(*vantor_));
}

TEST_F(Wayland, NoCompositorOrItsGoingAwayEndsVantorWithStatusOneAndOneLine) {
  start({"--layer", "overlay"}, {"WAYLAND_DISPLAY=wayland-nobody"});
  EXPECT_TRUE(ends(1, "wayland-nobody"));
  start({"--layer", "background"});
  ASSERT_TRUE(shows());
  sway_.stop();
  EXPECT_TRUE(ends(1, "Wayland compositor", 2.0));
}

}  // namespace
