// Vantor's entry point, the short story of a run: read the command line, answer --help and
// --version, make the run the options ask for, play it, and end as it says.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Run.h"
#include "app/Signals.h"
#include "host/Say.h"

namespace {

// What was printed must have reached standard output (a full disk or /dev/full fails only
// when the buffer is flushed); a run whose output was lost did not succeed.
int finish(int status) {
  // A write that already failed (text longer than the buffer) left its reason in errno.
  const int earlier = std::ferror(stdout) ? errno : 0;
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int reason = errno != 0 ? errno : earlier != 0 ? earlier : EIO;
    say(std::string("cannot write to standard output: ") + std::strerror(reason) +
        "; send it to a file or a pipe that takes it");
    return 1;
  }
  return std::ferror(stderr) ? 1 : status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    say(error + "; see 'vantor --help'");
    return 2;
  }
  if (options.mode == Options::Help) {
    std::fputs(usageText().c_str(), stdout);
    return finish(0);
  }
  if (options.mode == Options::Version) {
    std::printf("vantor %s\n", VANTOR_VERSION);
    return finish(0);
  }
  RunEnd end;
  {
    Run run(options);
    if (!run.usable()) {
      return 2;
    }
    if (!run.start()) {
      return 1;
    }
    end = run.play();
  }  // the surface and the signal handlers go here, before any signal is raised again
  return end.signal != 0 ? endBySignal(end.signal) : finish(end.status);
}
