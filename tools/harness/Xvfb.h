// A virtual X server for the tests and the benchmarks, and finding Vantor's window on it.
#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <string>
#include <vector>

#include "Process.h"

class Xvfb {
 public:
  // A width x height screen of 24-bit colour; the server picks a free display number itself
  // and writes it once it takes connections. With `heads` ("WxH" each), a screen of that many
  // monitors side by side instead: Xephyr shows one screen for each in windows on that Xvfb and
  // joins them through Xinerama, as a desktop's X server reports its monitors.
  Xvfb(int width, int height, const std::vector<std::string>& heads = {});
  ~Xvfb();

  bool started() const { return !display_.empty(); }
  const std::string& display() const { return display_; }  // ":N"
  pid_t pid() const { return server_.pid(); }
  Display* connection() const { return connection_; }  // the caller's own, or null
  // Why it did not start, when it did not.
  const std::string& failure() const { return failure_; }

 private:
  Process server_;
  std::unique_ptr<Process> nested_;  // Xephyr, with heads
  std::string display_;
  std::string failure_;
  Display* connection_ = nullptr;
};

// The viewable top-level window of class "vantor" on `display`, else 0.
Window vantorWindow(Display* display);
