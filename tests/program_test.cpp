#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/Process.h"

// After GoogleTest: Xlib defines None, a name GoogleTest uses.
#include <X11/Xlib.h>

namespace {

using Arguments = std::vector<std::string>;

long Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

Arguments Vantor(Arguments arguments) {
  arguments.insert(arguments.begin(), programPath());
  return arguments;
}

// The program installed with its files under /usr in a stage of its own, where any user can
// reach them: out of the build tree, so that it finds only what was installed.
const std::string& Installed() {
  static TemporaryFolder stage;
  static const std::string usr = [] {
    chmod(stage.path().c_str(), 0755);
    Exit done = run({"/usr/bin/cmake", "--install", buildPath(), "--prefix", "/usr"},
                    {"DESTDIR=" + stage.path()});
    EXPECT_EQ(done.status, 0) << done.err;
    return stage.path() + "/usr";
  }();
  return usr;
}

// Waits for a symmetric kaleidoscope picture of `window` (as wide as `width`, when given).
// While the mirrors glide to another angle, now and then, frames are not symmetric.
::testing::AssertionResult ShowsKaleidoscope(const Xvfb& server, const std::string& window,
                                             int width = 0) {
  Frame frame;
  std::string error;
  if (eventually(
          [&] {
            return screenshot(server, window, &frame, &error) &&
                   (width == 0 || frame.width == width) && IsSymmetricKaleidoscope(frame);
          },
          10.0)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << error << IsSymmetricKaleidoscope(frame).message();
}

// Guards the command line as a user meets it, by running the built program: help without a
// display, one-line usage errors with status 2, repeatable renders, failures with status 1,
// and the installed layout.
TEST(CommandLine, HelpNeedsNoDisplayAndABadOptionExitsTwoWithOneLine) {
  Exit help = run(Vantor({"--help"}), {"DISPLAY"});
  EXPECT_TRUE(help.exited && help.status == 0 && help.err.empty());
  for (const char* option : {"--root", "--window-id", "-geometry", "--render", "--seed"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  for (const Arguments& arguments : {Arguments{"--bogus"}, {"--delay", "-5"}, {"--size", "0x10"}}) {
    Exit done = run(Vantor(arguments), {"DISPLAY"});
    EXPECT_TRUE(done.exited && done.status == 2 && Lines(done.err) == 1) << done.err;
    EXPECT_NE(done.err.find(arguments.back()), std::string::npos) << done.err;
  }
}

TEST(CommandLine, RendersWithOneSeedAreTheSameSymmetricFrames) {
  TemporaryFolder folder;
  for (const char* target : {"/first", "/second"}) {
    Exit done = run(Vantor({"--render", folder.path() + target, "--frames", "2", "--size",
                            "320x240", "--seed", "77", "--resources", resourcesPath()}));
    ASSERT_EQ(done.status, 0) << done.err;
  }
  for (const char* name : {"/frame-00001.png", "/frame-00002.png"}) {
    const std::string bytes = readFile(folder.path() + "/first" + name);
    EXPECT_TRUE(!bytes.empty() && bytes == readFile(folder.path() + "/second" + name)) << name;
    Frame frame;
    std::string error;
    ASSERT_TRUE(readPng(folder.path() + "/first" + name, &frame, &error)) << error;
    EXPECT_TRUE(frame.width == 320 && frame.height == 240) << name;
    EXPECT_TRUE(IsSymmetricKaleidoscope(frame)) << name;
  }
}

// Out of the build tree, the installed program finds the installed atlas, quietly.
TEST(CommandLine, InstallLaysOutTheProgramAndItsFilesUnderThePrefix) {
  for (const char* file :
       {"/bin/vantor", "/share/man/man6/vantor.6x", "/share/xscreensaver/config/vantor.xml"}) {
    EXPECT_TRUE(std::filesystem::exists(Installed() + file)) << file;
  }
  TemporaryFolder out;
  Exit render = run({Installed() + "/libexec/xscreensaver/vantor", "--render", out.path(),
                     "--frames", "1", "--size", "32x32"},
                    {"VANTOR_RESOURCES"});
  EXPECT_TRUE(render.status == 0 && render.err.empty()) << render.err;
}

// Run by nobody, from the installed copy, so that the folder is unwritable wherever the build
// tree is.
TEST(CommandLine, AnUnwritableFolderExitsOneWithOneLine) {
  TemporaryFolder folder;
  const std::string locked = folder.path() + "/locked";
  ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
  chmod(folder.path().c_str(), 0755);
  Exit done = run(AsUser({Installed() + "/bin/vantor", "--render", locked, "--size", "16x16"}));
  EXPECT_TRUE(done.status == 1 && Lines(done.err) == 1) << done.err;
  EXPECT_NE(done.err.find(locked), std::string::npos) << done.err;
}

// Guards the window host under a virtual X server: each way of choosing the window draws a
// kaleidoscope there, a foreign window's new size reaches the view, SIGTERM ends the program
// by that signal, and a window destroyed under it ends it with status 1 and one line.
TEST(Windows, EveryWayOfChoosingTheWindowDrawsThere) {
  Xvfb server(640, 480);
  ASSERT_TRUE(server.started()) << "Xvfb did not start: " << server.failure();
  Display* display = XOpenDisplay(server.display().c_str());
  ASSERT_NE(display, nullptr);
  auto start = [&](Arguments arguments, const std::string& daemonWindow = "") {
    arguments.insert(arguments.end(), {"--resources", resourcesPath()});
    return std::make_unique<Process>(
        Vantor(arguments), Arguments{server.environment(), "XSCREENSAVER_WINDOW" + daemonWindow});
  };
  // The own window covers the screen, so a picture of the screen is one of the window.
  for (const Arguments& arguments : {Arguments{"-geometry", "640x480"}, {"--root"}}) {
    auto vantor = start(arguments);
    EXPECT_TRUE(ShowsKaleidoscope(server, "root")) << arguments[0] << vantor->errorSoFar();
    vantor->signal(SIGTERM);
    Exit done = vantor->wait(5.0);
    EXPECT_EQ(done.signal, SIGTERM) << "status " << done.status << ": " << done.err;
    EXPECT_LT(done.seconds, 1.0);
  }
  // Windows of the test's own, as the daemon or its settings dialog would make them.
  for (bool daemons : {true, false}) {
    const Window id = XCreateSimpleWindow(display, DefaultRootWindow(display), 100, 50, 320, 240, 0,
                                          0, BlackPixel(display, 0));
    const std::string window = std::to_string(id);
    XMapWindow(display, id);
    XSync(display, False);
    auto vantor = daemons ? start({"--root"}, "=" + window) : start({"--window-id", window});
    EXPECT_TRUE(ShowsKaleidoscope(server, window)) << vantor->errorSoFar();
    if (daemons) {
      XResizeWindow(display, id, 400, 300);
      XSync(display, False);
      EXPECT_TRUE(ShowsKaleidoscope(server, window, 400));
    } else {
      XDestroyWindow(display, id);
      XSync(display, False);
      Exit done = vantor->wait(5.0);
      EXPECT_TRUE(done.exited && done.status == 1 && Lines(done.err) == 1) << done.err;
      EXPECT_LT(done.seconds, 1.0);
    }
  }
  XCloseDisplay(display);
}

// Guards Vantor under the real xscreensaver daemon, run as an unprivileged user on a virtual
// X server: selected as the only hack it draws a kaleidoscope into the daemon's window, and
// after the daemon deactivates (it sends SIGTERM, nothing more) no Vantor process is left.
TEST(Daemon, SelectedHackDrawsAndLeavesNoProcessAfterDeactivation) {
  prctl(PR_SET_CHILD_SUBREAPER, 1);  // what the daemon leaves is ours to reap, not a zombie
  Xvfb server(640, 480);
  ASSERT_TRUE(server.started()) << server.failure();
  TemporaryFolder home;
  const std::string program = Installed() + "/bin/vantor";
  std::ofstream(home.path() + "/.xscreensaver")
      << "timeout: 0:30:00\ncycle: 0\nlock: False\nmode: one\nselected: 0\nsplash: False\n"
         "fade: False\nunfade: False\ndpmsEnabled: False\nprograms: GL: "
      << program << " --root \\n\n";
  if (geteuid() == 0) {
    ASSERT_EQ(run({"/bin/chown", "-R", "65534:65534", home.path()}).status, 0);
  }
  auto daemon = [&](Arguments command) {
    command.insert(command.begin(), {"/usr/bin/env", "-i", "PATH=/usr/bin:/bin",
                                     "HOME=" + home.path(), "DISPLAY=" + server.display()});
    return AsUser(command);
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
  std::vector<pid_t> hacks;
  ASSERT_TRUE(eventually([&] { return !(hacks = running()).empty(); }, 20.0));
  ASSERT_EQ(hacks.size(), 1u);
  // Run as xscreensaver hacks are run: --root, with its window in the environment.
  const std::string proc = "/proc/" + std::to_string(hacks[0]);
  EXPECT_NE(readFile(proc + "/cmdline").find(std::string("--root\0", 7)), std::string::npos);
  EXPECT_NE(readFile(proc + "/environ").find("XSCREENSAVER_WINDOW=0x"), std::string::npos);
  EXPECT_TRUE(ShowsKaleidoscope(server, "root"));
  EXPECT_EQ(running().size(), 1u) << "the hack is still running while active";
  ASSERT_EQ(command({"-deactivate"}), 0);
  EXPECT_TRUE(eventually([&] { return running().empty(); }, 5.0)) << "a hack is left behind";
  EXPECT_EQ(command({"-exit"}), 0);
  EXPECT_FALSE(saver.wait(20.0).timedOut);
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

}  // namespace
