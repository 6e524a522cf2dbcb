// Guards Vantor under the real xscreensaver daemon, run as an unprivileged user on a virtual
// X server: selected as the only hack it draws a kaleidoscope into the daemon's window, and
// after the daemon deactivates (it sends SIGTERM, nothing more) no Vantor process is left.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/Pictures.h"
#include "support/Process.h"
#include "support/Program.h"
#include "support/Xvfb.h"

namespace {

// Live (not zombie) processes whose executable is `program`.
std::vector<pid_t> Running(const std::string& program) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) {
    return found;
  }
  while (dirent* entry = readdir(proc)) {
    pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) {
      continue;
    }
    std::string base = std::string("/proc/") + entry->d_name;
    char target[4096];
    ssize_t length = readlink((base + "/exe").c_str(), target, sizeof target - 1);
    if (length <= 0 || std::string(target, static_cast<size_t>(length)) != program) {
      continue;
    }
    std::string stat = readFile(base + "/stat");
    size_t close = stat.rfind(')');
    if (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z') {
      found.push_back(pid);
    }
  }
  closedir(proc);
  return found;
}

class Daemon : public ::testing::Test {
 protected:
  void SetUp() override {
    // Processes the daemon leaves behind become ours to reap, so none lingers as a zombie.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
  }

  void TearDown() override {
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
  }

  // The daemon refuses to run hacks as root: as root, everything runs as nobody.
  std::vector<std::string> asUser(const std::vector<std::string>& command) {
    std::vector<std::string> argv;
    if (geteuid() == 0) {
      argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    argv.insert(argv.end(), {"/usr/bin/env", "-i", "PATH=/usr/bin:/bin", "HOME=" + home_,
                             "DISPLAY=" + server_.display()});
    argv.insert(argv.end(), command.begin(), command.end());
    return argv;
  }

  Exit command(const std::string& what) {
    return run(asUser({"/usr/bin/xscreensaver-command", what}), {}, 20.0);
  }

  Xvfb server_{640, 480};
  TemporaryFolder folder_;
  std::string home_;
};

TEST_F(Daemon, SelectedHackDrawsAndLeavesNoProcessAfterDeactivation) {
  ASSERT_TRUE(server_.started()) << server_.failure();
  // The program and its resources laid out as installed, where the other user can reach them.
  const std::string root = folder_.path();
  const std::string program = root + "/bin/vantor";
  home_ = root + "/home";
  for (const std::string& folder :
       {root + "/bin", root + "/share", root + "/share/vantor", home_}) {
    mkdir(folder.c_str(), 0755);
  }
  chmod(root.c_str(), 0755);
  ASSERT_EQ(run({"/bin/cp", programPath(), program}).status, 0);
  ASSERT_EQ(run({"/bin/cp", resourcesPath() + "/DiscMasks.jpg", root + "/share/vantor/"}).status,
            0);
  std::ofstream(home_ + "/.xscreensaver") << "timeout: 0:30:00\n"
                                             "cycle: 0\n"
                                             "lock: False\n"
                                             "mode: one\n"
                                             "selected: 0\n"
                                             "splash: False\n"
                                             "fade: False\n"
                                             "unfade: False\n"
                                             "dpmsEnabled: False\n"
                                             "programs: GL: "
                                          << program << " --root \\n\n";
  if (geteuid() == 0) {
    ASSERT_EQ(run({"/bin/chown", "-R", "65534:65534", home_}).status, 0);
  }

  Process daemon(asUser({"/usr/bin/xscreensaver", "-no-splash", "-verbose"}));
  ASSERT_TRUE(
      eventually([&] { return !daemon.running() || command("-version").status == 0; }, 20.0));
  ASSERT_TRUE(daemon.running()) << daemon.errorSoFar();

  Exit select = run(asUser({"/usr/bin/xscreensaver-command", "-select", "1"}), {}, 20.0);
  ASSERT_EQ(select.status, 0) << select.err;
  std::vector<pid_t> hacks;
  ASSERT_TRUE(eventually([&] { return !(hacks = Running(program)).empty(); }, 20.0))
      << daemon.errorSoFar();
  ASSERT_EQ(hacks.size(), 1u);

  // The daemon ran it as xscreensaver hacks are run: --root, its window in the environment.
  const std::string base = "/proc/" + std::to_string(hacks[0]);
  std::string arguments = readFile(base + "/cmdline");
  EXPECT_NE(arguments.find(std::string("--root\0", 7)), std::string::npos);
  EXPECT_NE(readFile(base + "/environ").find("XSCREENSAVER_WINDOW=0x"), std::string::npos);

  Frame frame;
  std::string error;
  // Polled: while the mirrors glide to another angle, frames are not symmetric for a while.
  EXPECT_TRUE(eventually(
      [&] { return screenshot(server_, "root", &frame, &error) && IsSymmetricKaleidoscope(frame); },
      20.0))
      << error << IsSymmetricKaleidoscope(frame).message();
  EXPECT_EQ(Running(program).size(), 1u) << "the hack is still running while active";

  ASSERT_EQ(command("-deactivate").status, 0);
  EXPECT_TRUE(eventually([&] { return Running(program).empty(); }, 5.0))
      << "a Vantor process is left after -deactivate";
  EXPECT_EQ(command("-exit").status, 0);
  Exit end = daemon.wait(20.0);
  EXPECT_FALSE(end.timedOut);
}

}  // namespace
