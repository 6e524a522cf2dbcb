// Guards the Wayland surface under a headless sway of each test's own, run (with Vantor) as an
// unprivileged user: the window and both layers show a moving, symmetric kaleidoscope; every
// output is covered at its own pixel size as outputs come and change; the saver ends on a key
// and on SIGTERM; and the compositor going away ends Vantor with status 1 and one line.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "support/Frame.h"
#include "support/Program.h"
#include "support/TestFiles.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"

namespace {

// A headless sway with its own runtime folder (mode 0700, owned by the user it runs as) and a
// plain configuration: no wallpaper program of its own, no window borders.
class Sway {
 public:
  Sway() {
    for (const char* tool :
         {"/usr/bin/sway", "/usr/bin/swaymsg", "/usr/bin/grim", "/usr/bin/wtype"}) {
      if (access(tool, X_OK) != 0) {
        problem_ = std::string(tool) + " is not installed (scripts/install-deps installs it)";
        return;
      }
    }
    const std::string& folder = runtime_.path();
    std::ofstream(folder + "/config") << "swaybg_command -\ndefault_border none\n";
    chmod(folder.c_str(), 0700);
    if (geteuid() == 0 && chown(folder.c_str(), 65534, 65534) != 0) {
      problem_ = "cannot hand " + folder + " to nobody";
      return;
    }
    server_ = std::make_unique<Process>(
        AsUser({"/usr/bin/sway", "-c", folder + "/config"}),
        Arguments{"XDG_RUNTIME_DIR=" + folder, "HOME=" + folder, "WLR_BACKENDS=headless",
                  "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "WAYLAND_DISPLAY", "DISPLAY",
                  "SWAYSOCK"});
    // It is up when both of its sockets are there: clients' and swaymsg's.
    eventually(
        [&] {
          for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename();
            if (name.rfind("wayland-", 0) == 0 && name.find(".lock") == std::string::npos) {
              display_ = name;
            } else if (name.rfind("sway-ipc.", 0) == 0) {
              ipc_ = entry.path();
            }
          }
          return (!display_.empty() && !ipc_.empty()) || !server_->running();
        },
        10.0);
    if (display_.empty() || ipc_.empty()) {
      problem_ = "sway did not start: " + server_->errorSoFar();
    }
  }
  ~Sway() { stop(); }

  // Empty when it runs; else why not.
  const std::string& problem() const { return problem_; }

  void stop() {
    if (server_ != nullptr) {
      server_->signal(SIGTERM);
      server_->wait(10.0);
    }
  }

  // The path of the socket clients connect to.
  std::string socket() const { return runtime_.path() + "/" + display_; }

  Arguments environment() const {
    return {"XDG_RUNTIME_DIR=" + runtime_.path(), "WAYLAND_DISPLAY=" + display_, "SWAYSOCK=" + ipc_,
            "DISPLAY", "XSCREENSAVER_WINDOW"};
  }

  // The installed program, as the user sway runs as.
  std::unique_ptr<Process> start(Arguments arguments) const {
    arguments.insert(arguments.begin(), Installed() + "/bin/vantor");
    return std::make_unique<Process>(AsUser(arguments), environment());
  }

  // A tool such as swaymsg or wtype, run to its end.
  Exit tool(const Arguments& command) const { return run(AsUser(command), environment(), 20.0); }

  // One output's picture (all outputs' when `output` is empty), taken with grim.
  bool capture(const std::string& output, Frame* frame, std::string* error) const {
    const std::string file = runtime_.path() + "/shot.png";
    Exit done = tool(output.empty() ? Arguments{"/usr/bin/grim", file}
                                    : Arguments{"/usr/bin/grim", "-o", output, file});
    *error = done.err;
    return done.status == 0 && readPng(file, frame, error);
  }

 private:
  TemporaryFolder runtime_;
  std::unique_ptr<Process> server_;
  std::string display_;
  std::string ipc_;
  std::string problem_;
};

// A pointer device of the test's own, made through the virtual-pointer protocol: a headless
// sway has no other. Its moves are relative, in logical pixels.
class VirtualPointer {
 public:
  explicit VirtualPointer(const Sway& sway) : display_(wl_display_connect(sway.socket().c_str())) {
    if (display_ == nullptr) {
      return;
    }
    static const wl_registry_listener kListener = {
        [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
          auto* self = static_cast<VirtualPointer*>(data);
          if (std::string(interface) == wl_seat_interface.name && self->seat_ == nullptr) {
            self->seat_ =
                static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
          } else if (std::string(interface) == zwlr_virtual_pointer_manager_v1_interface.name) {
            self->manager_ = static_cast<zwlr_virtual_pointer_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
          }
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry* registry = wl_display_get_registry(display_);
    wl_registry_add_listener(registry, &kListener, this);
    wl_display_roundtrip(display_);
    wl_registry_destroy(registry);
    if (seat_ != nullptr && manager_ != nullptr) {
      pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager_, seat_);
      wl_display_roundtrip(display_);
    }
  }
  ~VirtualPointer() {
    auto destroy = [](auto* object, void (*destroyer)(decltype(object))) {
      if (object != nullptr) {
        destroyer(object);
      }
    };
    destroy(pointer_, zwlr_virtual_pointer_v1_destroy);
    destroy(manager_, zwlr_virtual_pointer_manager_v1_destroy);
    destroy(seat_, wl_seat_destroy);
    if (display_ != nullptr) {
      wl_display_roundtrip(display_);
      wl_display_disconnect(display_);
    }
  }
  VirtualPointer(const VirtualPointer&) = delete;
  VirtualPointer& operator=(const VirtualPointer&) = delete;

  bool made() const { return pointer_ != nullptr; }
  void move(double dx, double dy) {
    zwlr_virtual_pointer_v1_motion(pointer_, now(), wl_fixed_from_double(dx),
                                   wl_fixed_from_double(dy));
    zwlr_virtual_pointer_v1_frame(pointer_);
    wl_display_roundtrip(display_);
  }
  void click() {
    for (auto state : {WL_POINTER_BUTTON_STATE_PRESSED, WL_POINTER_BUTTON_STATE_RELEASED}) {
      zwlr_virtual_pointer_v1_button(pointer_, now(), BTN_LEFT, state);
      zwlr_virtual_pointer_v1_frame(pointer_);
    }
    wl_display_roundtrip(display_);
  }

 private:
  uint32_t now() { return time_ += 10; }  // milliseconds, only ever increasing

  wl_display* display_;
  wl_seat* seat_ = nullptr;
  zwlr_virtual_pointer_manager_v1* manager_ = nullptr;
  zwlr_virtual_pointer_v1* pointer_ = nullptr;
  uint32_t time_ = 0;
};

// Share (0..1) of pixels that are near-black in every channel.
double DarkShare(const Frame& frame) {
  long dark = 0;
  for (size_t i = 0; i < frame.rgb.size(); i += 3) {
    dark += std::max({frame.rgb[i], frame.rgb[i + 1], frame.rgb[i + 2]}) <= 16;
  }
  return frame.rgb.empty() ? 0.0 : 3.0 * dark / frame.rgb.size();
}

// Waits for a width x height picture of `output` that shows a symmetric kaleidoscope on its
// black ground (sway's own empty background is an even grey, symmetric too), then for another
// that differs from it (the picture moves). While the mirrors glide to another angle, now and
// then, frames are not symmetric.
::testing::AssertionResult ShowsKaleidoscope(const Sway& sway, const std::string& output, int width,
                                             int height) {
  Frame frames[2];
  std::string error;
  for (int i = 0; i < 2; i++) {
    Frame& frame = frames[i];
    if (!eventually(
            [&] {
              return sway.capture(output, &frame, &error) && frame.width == width &&
                     frame.height == height && (i == 0 || frame.rgb != frames[0].rgb) &&
                     DarkShare(frame) > 0.1 && IsSymmetricKaleidoscope(frame);
            },
            15.0)) {
      return ::testing::AssertionFailure()
             << output << ": wanted " << width << "x" << height << ", got " << frame.width << "x"
             << frame.height << (i == 1 && frame.rgb == frames[0].rgb ? " (not moving) " : " ")
             << error << IsSymmetricKaleidoscope(frame).message();
    }
  }
  return ::testing::AssertionSuccess();
}

class Wayland : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!sway_.problem().empty()) {
      GTEST_SKIP() << "no Wayland compositor can run here: " << sway_.problem();
    }
  }

  void message(Arguments words) {
    words.insert(words.begin(), "/usr/bin/swaymsg");
    Exit done = sway_.tool(words);
    ASSERT_EQ(done.status, 0) << done.out << done.err;
  }

  Sway sway_;
};

// With WAYLAND_DISPLAY set, the default is a native window; it fills the output (sway tiles it).
// On a workspace out of sight the compositor asks for no frames, and Vantor draws none.
TEST_F(Wayland, TheWindowShowsAMovingKaleidoscopeIdlesHiddenAndClosesOnEscapeOrTheCompositors) {
  for (bool escape : {true, false}) {
    auto vantor = sway_.start({});
    ASSERT_TRUE(ShowsKaleidoscope(sway_, "", 1280, 720)) << vantor->errorSoFar();
    if (!escape) {
      message({"workspace", "2"});
      std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a frame under way ends
      const long before = wakeups(vantor->pid());
      std::this_thread::sleep_for(std::chrono::seconds(1));
      EXPECT_LE(wakeups(vantor->pid()) - before, 2) << "wake-ups in a second while hidden";
      message({"workspace", "1"});
      EXPECT_TRUE(ShowsKaleidoscope(sway_, "", 1280, 720)) << "shown again";
      message({"kill"});
    } else {
      // Another key leaves the window open. The pause lets Vantor bind the new virtual
      // keyboard before the key arrives.
      EXPECT_EQ(sway_.tool({"/usr/bin/wtype", "-s", "1500", "-k", "x"}).status, 0);
      EXPECT_FALSE(eventually([&] { return !vantor->running(); }, 0.5)) << vantor->errorSoFar();
      EXPECT_EQ(sway_.tool({"/usr/bin/wtype", "-s", "1500", "-k", "Escape"}).status, 0);
    }
    Exit done = vantor->wait(10.0);
    EXPECT_EQ(std::pair(done.status, done.err), std::pair(0, std::string()))
        << (escape ? "Escape" : "kill");
  }
}

// One output drawn on directly, then a second of another size and scale added while Vantor
// runs, then the first resized: each is covered at its own pixel size.
TEST_F(Wayland, TheWallpaperCoversEveryOutputAtItsOwnPixelSizeAsOutputsComeAndChange) {
  auto vantor = sway_.start({"--layer", "background"});
  ASSERT_TRUE(ShowsKaleidoscope(sway_, "HEADLESS-1", 1280, 720)) << vantor->errorSoFar();

  message({"create_output"});
  message({"output", "HEADLESS-2", "resolution", "800x600", "position", "1280", "0", "scale", "2"});
  EXPECT_TRUE(ShowsKaleidoscope(sway_, "HEADLESS-2", 800, 600)) << "an added output";
  EXPECT_TRUE(ShowsKaleidoscope(sway_, "HEADLESS-1", 1280, 720));
  message({"output", "HEADLESS-1", "resolution", "1024x768"});
  EXPECT_TRUE(ShowsKaleidoscope(sway_, "HEADLESS-1", 1024, 768)) << "a resized output";
  EXPECT_TRUE(ShowsKaleidoscope(sway_, "HEADLESS-2", 800, 600));

  EXPECT_TRUE(vantor->running()) << vantor->errorSoFar();
  EXPECT_TRUE(EndsOnSigterm(*vantor));
}

// Any key ends the saver (not only Escape), so do a button and a pointer move of more than a
// few pixels (not a nudge), and SIGTERM, what swayidle's resume sends.
TEST_F(Wayland, TheSaverCoversTheOutputAndEndsOnAnyKeyButtonMoveOrSigterm) {
  for (const std::string way : {"key", "button", "move", "SIGTERM"}) {
    SCOPED_TRACE(way);
    auto vantor = sway_.start({"--layer", "overlay"});
    ASSERT_TRUE(ShowsKaleidoscope(sway_, "HEADLESS-1", 1280, 720)) << vantor->errorSoFar();
    if (way == "SIGTERM") {
      EXPECT_TRUE(EndsOnSigterm(*vantor, 1.0));
      continue;
    }
    if (way == "key") {
      EXPECT_EQ(sway_.tool({"/usr/bin/wtype", "-s", "1500", "-k", "x"}).status, 0);
    } else {
      VirtualPointer pointer(sway_);
      ASSERT_TRUE(pointer.made()) << "sway made no virtual pointer";
      // As with keys, Vantor binds the new pointer first.
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      if (way == "button") {
        pointer.click();
      } else {
        pointer.move(3, 2);
        EXPECT_FALSE(eventually([&] { return !vantor->running(); }, 0.5)) << "ended on a nudge";
        pointer.move(40, 0);
      }
    }
    Exit done = vantor->wait(10.0);
    EXPECT_EQ(std::pair(done.status, done.err), std::pair(0, std::string()));
  }
}

TEST_F(Wayland, NoCompositorOrItsGoingAwayEndsVantorWithStatusOneAndOneLine) {
  Arguments nowhere = sway_.environment();
  nowhere.push_back("WAYLAND_DISPLAY=wayland-nobody");
  Exit refused = run(AsUser({Installed() + "/bin/vantor", "--layer", "overlay"}), nowhere, 10.0);
  EXPECT_EQ(std::pair(refused.status, Lines(refused.err)), std::pair(1, 1L)) << refused.err;
  EXPECT_NE(refused.err.find("wayland-nobody"), std::string::npos) << refused.err;

  auto vantor = sway_.start({"--layer", "background"});
  ASSERT_TRUE(ShowsKaleidoscope(sway_, "HEADLESS-1", 1280, 720)) << vantor->errorSoFar();
  sway_.stop();
  Exit done = vantor->wait(5.0);
  EXPECT_EQ(std::pair(done.status, Lines(done.err)), std::pair(1, 1L)) << done.err;
  EXPECT_NE(done.err.find("Wayland compositor"), std::string::npos) << done.err;
  EXPECT_LT(done.seconds, 2.0);
}

}  // namespace
