// The xscreensaver daemon on a virtual X server, for the tests: run as an unprivileged user
// with a home folder of its own, whose .xscreensaver holds one hack and never blanks, cycles,
// locks or fades by itself.
#pragma once

#include <memory>
#include <string>

#include "Process.h"
#include "TemporaryFolder.h"

class ScreenSaverDaemon {
 public:
  // `hack` is the command of the programs: line, as a user writes it after "GL:"; the daemon
  // looks for it in its own hack folder, then in `path`. Returns once the daemon answers.
  ScreenSaverDaemon(const std::string& display, const std::string& hack,
                    const std::string& path = "/usr/bin:/bin");
  ~ScreenSaverDaemon();
  ScreenSaverDaemon(const ScreenSaverDaemon&) = delete;
  ScreenSaverDaemon& operator=(const ScreenSaverDaemon&) = delete;

  bool started() const { return failure_.empty(); }
  // Why it did not start, when it did not.
  const std::string& failure() const { return failure_; }
  // xscreensaver-command with `arguments` (-select 1, -activate, -deactivate...): its status.
  int command(const Arguments& arguments);
  // Asks the daemon to exit and waits for it (20 s, then SIGKILL): how it ended.
  Exit exit();

 private:
  Arguments asDaemonUser(Arguments command) const;

  TemporaryFolder home_{"vantor-home"};
  std::string display_;
  std::string path_;
  std::string failure_;
  std::unique_ptr<Process> daemon_;
  bool exited_ = false;
};
