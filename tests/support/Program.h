// Running the built program in tests: processes with a changed environment and captured
// output, commands run as an unprivileged user, and the pictures they leave (PNG files read
// back, and the check that one shows a symmetric kaleidoscope).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/Frame.h"
#include "support/TestFiles.h"

using Arguments = std::vector<std::string>;

// Polls `condition` every 10 ms until it holds or `timeoutSeconds` pass; true when it held.
template <typename Condition>
bool eventually(Condition condition, double timeoutSeconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

struct Exit {
  int status = -1;       // the exit code, or -1 when a signal ended the program
  int signal = 0;        // the signal that ended it, else 0
  double seconds = 0.0;  // from the wait's start to the end
  std::string out;       // standard output
  std::string err;       // standard error
};

// A program started with a changed environment (NAME=VALUE entries set, NAME alone removed),
// its standard output and error captured in files, and killed (by its own pid) when a test
// leaves it running.
class Process {
 public:
  // `inChild` (may be empty) runs in the child just before the program starts.
  Process(const Arguments& argv, const Arguments& environment = {},
          const std::function<void()>& inChild = {}) {
    // env takes its options (the removals) before the settings, then becomes the program.
    Arguments command = environment;
    auto settings = std::stable_partition(command.begin(), command.end(), [](auto& change) {
      return change.find('=') == std::string::npos;
    });
    std::for_each(command.begin(), settings, [](auto& name) { name = "--unset=" + name; });
    command.insert(command.begin(), "/usr/bin/env");
    command.insert(command.end(), argv.begin(), argv.end());
    std::vector<char*> args;
    for (std::string& arg : command) {
      args.push_back(&arg[0]);
    }
    args.push_back(nullptr);
    const std::string out = output_.path() + "/out", err = output_.path() + "/err";
    pid_ = fork();
    if (pid_ == 0) {
      dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
      dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600), STDOUT_FILENO);
      dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600), STDERR_FILENO);
      // A test harness may block or ignore signals; the program must see them as a user's would.
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      for (int number : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ}) {
        ::signal(number, SIG_DFL);
      }
      if (inChild) {
        inChild();
      }
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~Process() { wait(0.0); }  // not copied: the output folder is not

  bool running() {
    reaped_ = reaped_ || pid_ <= 0 || waitpid(pid_, &rawStatus_, WNOHANG) == pid_;
    return !reaped_;
  }
  pid_t pid() const { return pid_; }  // the program's own: env and setpriv exec it
  void signal(int number) {
    if (running()) {
      kill(pid_, number);
    }
  }
  // Waits up to `timeoutSeconds`; past that the program is killed with SIGKILL.
  Exit wait(double timeoutSeconds) {
    const auto start = std::chrono::steady_clock::now();
    if (!eventually([&] { return !running(); }, timeoutSeconds)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &rawStatus_, 0);
      reaped_ = true;
    }
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
    return {WIFEXITED(rawStatus_) ? WEXITSTATUS(rawStatus_) : -1,
            WIFSIGNALED(rawStatus_) ? WTERMSIG(rawStatus_) : 0, waited.count(),
            readFile(output_.path() + "/out"), errorSoFar()};
  }
  std::string errorSoFar() const { return readFile(output_.path() + "/err"); }

 private:
  TemporaryFolder output_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int rawStatus_ = 0;
};

// Sends SIGTERM and waits up to `timeoutSeconds`: success when that signal ended the program.
::testing::AssertionResult EndsOnSigterm(Process& process, double timeoutSeconds = 5.0);

// How often the main thread of running process `pid` has given up the processor to wait so far.
long Wakeups(pid_t pid);

// Runs to the end (or `timeoutSeconds`) and returns how it ended.
Exit run(const Arguments& argv, const Arguments& environment = {}, double timeoutSeconds = 30.0);

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
