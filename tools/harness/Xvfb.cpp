#include "Xvfb.h"

#include <X11/Xutil.h>
#include <signal.h>

#include <regex>

Xvfb::Xvfb(int width, int height)
    : server_({"/usr/bin/Xvfb", "-displayfd", "2", "-noreset", "-nolisten", "tcp", "-screen", "0",
               std::to_string(width) + "x" + std::to_string(height) + "x24"}) {
  const std::regex numberLine("(^|\n)([0-9]+)\n");
  std::smatch number;
  std::string text;
  eventually(
      [&] {
        text = server_.errorSoFar();
        return std::regex_search(text, number, numberLine) || !server_.running();
      },
      20.0);
  if (number.empty() || !server_.running()) {
    failure_ = "Xvfb did not start: " + (text.empty() ? std::string("no display number") : text);
  } else {
    display_ = ":" + number[2].str();
    connection_ = XOpenDisplay(display_.c_str());
  }
}

Xvfb::~Xvfb() {
  if (connection_ != nullptr) {
    XCloseDisplay(connection_);
  }
  server_.signal(SIGTERM);
  server_.wait(10.0);
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
