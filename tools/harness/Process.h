// Running programs for the tests and the benchmarks: a process with a changed environment and
// its output captured, waiting for a condition, and what a running process has used so far.
// Knows nothing of GoogleTest or Google Benchmark.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "TemporaryFolder.h"

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

// The whole file, or "" when it cannot be read.
std::string readFile(const std::string& path);

struct Exit {
  int status = -1;       // the exit code, or -1 when a signal ended the program
  int signal = 0;        // the signal that ended it, else 0
  double seconds = 0.0;  // from the wait's start to the end
  std::string out;       // standard output
  std::string err;       // standard error
};

// A program started with a changed environment (NAME=VALUE entries set, NAME alone removed),
// with the signals a user's shell would give it, its standard output and error captured in
// files, and killed (by its own pid) when it is left running.
class Process {
 public:
  // `inChild` (may be empty) runs in the child just before the program starts.
  explicit Process(const Arguments& argv, const Arguments& environment = {},
                   const std::function<void()>& inChild = {});
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool running();
  pid_t pid() const { return pid_; }  // the program's own: env (and setpriv) exec it
  void signal(int number);
  // Waits up to `timeoutSeconds`; past that the program is killed with SIGKILL.
  Exit wait(double timeoutSeconds);
  std::string outputSoFar() const;
  std::string errorSoFar() const;

 private:
  TemporaryFolder folder_{"vantor-process"};  // where the output goes
  pid_t pid_ = -1;
  bool reaped_ = false;
  int rawStatus_ = 0;
};

// As root, `command` runs as nobody (uid and gid 65534): root reads and writes whatever the
// modes say, and neither the xscreensaver daemon nor sway runs as root. Else it is unchanged.
Arguments asUser(Arguments command);

// Runs to the end (or `timeoutSeconds`) and returns how it ended; a run whose only fault was
// LeakSanitizer's own tracer failing at exit is made once more, without the leak check.
Exit run(const Arguments& argv, const Arguments& environment = {}, double timeoutSeconds = 30.0);

// Sleeps for `seconds`.
void sleepFor(double seconds);

// What a running process has used: CPU in clock ticks (user and system), the times it gave up
// the processor to wait, and its peak resident memory in megabytes.
long cpuTicks(pid_t pid);
// The share of one core, in percent, that `ticks` of CPU (as cpuTicks counts them) are over
// `seconds`.
double corePercent(long ticks, double seconds);
long wakeups(pid_t pid);
double peakResidentMegabytes(pid_t pid);
