#include "support/Xvfb.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "support/Frame.h"
#include "support/Pictures.h"

// After GoogleTest: Xlib defines None, a name GoogleTest uses.
#include <X11/Xlib.h>

namespace {

bool DisplayTaken(int number) {
  struct stat info;
  std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
  std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
  return stat(lock.c_str(), &info) == 0 || stat(socket.c_str(), &info) == 0;
}

bool Answers(const std::string& display) {
  Display* connection = XOpenDisplay(display.c_str());
  if (connection == nullptr) {
    return false;
  }
  XCloseDisplay(connection);
  return true;
}

}  // namespace

Xvfb::Xvfb(int width, int height) {
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  // Another server may take a free-looking number at the same moment: then try the next.
  for (int number = 90; number < 190 && server_ == nullptr; number++) {
    if (DisplayTaken(number)) {
      continue;
    }
    std::string display = ":" + std::to_string(number);
    auto server = std::make_unique<Process>(std::vector<std::string>{
        "/usr/bin/Xvfb", display, "-noreset", "-nolisten", "tcp", "-screen", "0", screen});
    if (eventually([&] { return !server->running() || Answers(display); }, 20.0) &&
        server->running()) {
      server_ = std::move(server);
      display_ = display;
    } else {
      failure_ = server->errorSoFar();
    }
  }
  if (server_ == nullptr && failure_.empty()) {
    failure_ = "no free display number from :90 to :189";
  }
}

Xvfb::~Xvfb() {
  if (server_ != nullptr) {
    server_->signal(SIGTERM);
    server_->wait(10.0);
  }
}

bool screenshot(const Xvfb& server, const std::string& window, Frame* frame, std::string* error) {
  TemporaryFolder folder;
  std::string file = folder.path() + "/shot.xwd";
  std::vector<std::string> argv = {"/usr/bin/xwd", "-silent", "-out", file};
  if (window == "root") {
    argv.push_back("-root");
  } else {
    argv.insert(argv.end(), {"-id", window});
  }
  Exit done = run(argv, {server.environment()}, 20.0);
  if (!done.exited || done.status != 0) {
    *error = "xwd failed: " + done.err;
    return false;
  }
  return readXwd(file, frame, error);
}
