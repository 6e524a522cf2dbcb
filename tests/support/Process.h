// Runs programs for the command-line and window tests: started with a changed environment,
// standard output and error captured in files, waited for with a time limit, and killed (by
// their own pid) when a test leaves them running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

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

  pid_t pid() const { return pid_; }
  bool running();
  void signal(int number);
  // Waits up to `timeoutSeconds`; past that the process is killed and timedOut set.
  Exit wait(double timeoutSeconds);
  // Standard error so far.
  std::string errorSoFar() const;

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int rawStatus_ = 0;
  std::string outPath_;
  std::string errPath_;
};

// Runs to the end (or `timeoutSeconds`) and returns how it ended.
Exit run(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
         double timeoutSeconds = 30.0);

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

// A fresh empty folder under $TMPDIR (or /tmp), removed with its contents when this goes.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
