#include "Xvfb.h"

#include <X11/Xutil.h>
#include <signal.h>

#include <regex>

namespace {

// The display number `server` wrote on its standard error (-displayfd 2) once it took
// connections, as ":N"; "" with *failure set when it did not.
std::string displayOf(Process& server, const char* name, std::string* failure) {
  const std::regex numberLine("(^|\n)([0-9]+)\n");
  std::smatch number;
  std::string text;
  eventually(
      [&] {
        text = server.errorSoFar();
        return std::regex_search(text, number, numberLine) || !server.running();
      },
      20.0);
  if (number.empty() || !server.running()) {
    *failure = std::string(name) +
               " did not start: " + (text.empty() ? std::string("no display number") : text);
    return "";
  }
  return ":" + number[2].str();
}

}  // namespace

Xvfb::Xvfb(int width, int height, const std::vector<std::string>& heads)
    : server_({"/usr/bin/Xvfb", "-displayfd", "2", "-noreset", "-nolisten", "tcp", "-screen", "0",
               std::to_string(width) + "x" + std::to_string(height) + "x24"}) {
  display_ = displayOf(server_, "Xvfb", &failure_);
  if (!display_.empty() && !heads.empty()) {
    Arguments nested = {"/usr/bin/Xephyr", "-displayfd", "2", "-noreset", "-nolisten", "tcp"};
    for (const std::string& head : heads) {
      nested.insert(nested.end(), {"-screen", head});
    }
    nested.push_back("+xinerama");
    nested_ = std::make_unique<Process>(nested, Arguments{"DISPLAY=" + display_});
    display_ = displayOf(*nested_, "Xephyr", &failure_);
  }
  if (!display_.empty()) {
    connection_ = XOpenDisplay(display_.c_str());
  }
}

Xvfb::~Xvfb() {
  if (connection_ != nullptr) {
    XCloseDisplay(connection_);
  }
  for (Process* server : {nested_.get(), &server_}) {
    if (server != nullptr) {
      server->signal(SIGTERM);
      server->wait(10.0);
    }
  }
}

Window vantorWindow(Display* display) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count && found == 0; i++) {
      XClassHint hint = {};
      XWindowAttributes attributes;
      if (XGetClassHint(display, children[i], &hint)) {
        if (std::string(hint.res_name) == "vantor" &&
            XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable) {
          found = children[i];
        }
        XFree(hint.res_name);
        XFree(hint.res_class);
      }
    }
    XFree(children);
  }
  return found;
}
