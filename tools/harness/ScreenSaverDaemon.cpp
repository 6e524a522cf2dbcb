#include "ScreenSaverDaemon.h"

#include <unistd.h>

#include <fstream>

ScreenSaverDaemon::ScreenSaverDaemon(const std::string& display, const std::string& hack,
                                     const std::string& path)
    : display_(display), path_(path) {
  std::ofstream(home_.path() + "/.xscreensaver")
      << "timeout: 0:30:00\ncycle: 0\nlock: False\nmode: one\nselected: 0\nsplash: False\n"
         "fade: False\nunfade: False\ndpmsEnabled: False\nprograms: GL: "
      << hack << " \\n\n";
  // As root the daemon runs as nobody (asUser), whose home this then is.
  if (geteuid() == 0 && run({"/bin/chown", "-R", "65534:65534", home_.path()}).status != 0) {
    failure_ = "cannot give " + home_.path() + " to nobody";
    return;
  }
  daemon_ = std::make_unique<Process>(asDaemonUser({"/usr/bin/xscreensaver", "-no-splash"}));
  const bool answered =
      eventually([&] { return !daemon_->running() || command({"-version"}) == 0; }, 20.0);
  if (!daemon_->running() || !answered) {
    failure_ = "xscreensaver did not start: " + daemon_->errorSoFar();
  }
}

ScreenSaverDaemon::~ScreenSaverDaemon() {
  if (daemon_ && !exited_) {
    exit();
  }
}

Arguments ScreenSaverDaemon::asDaemonUser(Arguments command) const {
  // The hacks it starts check for OpenGL errors, as every program the tests run does.
  command.insert(command.begin(), {"/usr/bin/env", "-i", "PATH=" + path_, "HOME=" + home_.path(),
                                   "DISPLAY=" + display_, "VANTOR_GL_CHECK=1"});
  return asUser(command);
}

int ScreenSaverDaemon::command(const Arguments& arguments) {
  Arguments command = arguments;
  command.insert(command.begin(), "/usr/bin/xscreensaver-command");
  return run(asDaemonUser(command), {}, 20.0).status;
}

Exit ScreenSaverDaemon::exit() {
  exited_ = true;
  command({"-exit"});
  return daemon_->wait(20.0);
}
