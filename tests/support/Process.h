// Runs programs for the command-line and window tests: started with a changed environment,
// standard output and error captured in files, waited for with a time limit, and killed (by
// their own pid) when a test leaves them running. And a virtual X server to run them on.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/Frame.h"
#include "support/TestFiles.h"

struct Exit {
  bool exited = false;  // ended by exit(); `status` holds the code
  int status = -1;
  int signal = 0;         // the signal that ended it, else 0
  bool timedOut = false;  // still running when the wait gave up (it is then killed)
  double seconds = 0.0;   // from the wait's start to the end
  std::string out;        // standard output
  std::string err;        // standard error
};

class Process {
 public:
  // `environment` entries are NAME=VALUE to set or NAME alone to remove.
  Process(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool running();
  void signal(int number);
  // Waits up to `timeoutSeconds`; past that the process is killed and timedOut set.
  Exit wait(double timeoutSeconds);
  // Standard error so far.
  std::string errorSoFar() const { return readFile(output_.path() + "/err"); }

 private:
  TemporaryFolder output_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int rawStatus_ = 0;
};

// Runs to the end (or `timeoutSeconds`) and returns how it ended.
Exit run(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
         double timeoutSeconds = 30.0);

// As root, a command runs as nobody: root reads and writes whatever the modes say, and the
// xscreensaver daemon runs no hacks as root.
std::vector<std::string> AsUser(std::vector<std::string> command);

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

// A virtual X server: it picks a free display number itself and says which once it takes
// connections (a server that does not start is a test failure); it is stopped by its pid.
class Xvfb {
 public:
  Xvfb(int width, int height);
  ~Xvfb();

  bool started() const { return server_ != nullptr; }
  const std::string& display() const { return display_; }  // ":N"
  // DISPLAY=:N, for a Process environment.
  std::string environment() const { return "DISPLAY=" + display_; }

 private:
  std::unique_ptr<Process> server_;
  std::string display_;
};

// Takes a picture of a window (or the whole screen with "root") with ImageMagick's import;
// false with *error.
bool screenshot(const Xvfb& server, const std::string& window, Frame* frame, std::string* error);
