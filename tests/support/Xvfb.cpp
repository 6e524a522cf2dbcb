#include "support/Xvfb.h"

#include <csignal>
#include <regex>

#include "support/Pictures.h"

// The server picks a free display number and writes it on a line of its own once it is ready.
Xvfb::Xvfb(int width, int height)
    : server_(std::make_unique<Process>(std::vector<std::string>{
          "/usr/bin/Xvfb", "-displayfd", "2", "-noreset", "-nolisten", "tcp", "-screen", "0",
          std::to_string(width) + "x" + std::to_string(height) + "x24"})) {
  const std::regex numberLine("(^|\n)([0-9]+)\n");
  std::smatch number;
  std::string text;
  eventually(
      [&] {
        text = server_->errorSoFar();
        return std::regex_search(text, number, numberLine) || !server_->running();
      },
      20.0);
  if (number.empty() || !server_->running()) {
    failure_ = text.empty() ? "Xvfb gave no display number" : text;
    server_.reset();
  } else {
    display_ = ":" + number[2].str();
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
  const std::string file = folder.path() + "/shot.png";
  Exit done = run({"/usr/bin/import", "-silent", "-window", window, file}, {server.environment()});
  if (done.status != 0) {
    *error = "no picture of " + window + ": " + done.err;
    return false;
  }
  return readPng(file, frame, error);
}
