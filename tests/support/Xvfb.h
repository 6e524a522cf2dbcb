// A virtual X server for the window tests: it picks a free display number itself and says
// which once it takes connections; it is stopped by its pid.
#pragma once

#include <memory>
#include <string>

#include "support/Process.h"

class Xvfb {
 public:
  Xvfb(int width = 640, int height = 480);
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  bool started() const { return server_ != nullptr; }
  const std::string& display() const { return display_; }  // ":N"
  // DISPLAY=:N, for a Process environment.
  std::string environment() const { return "DISPLAY=" + display_; }
  // Why it could not start.
  const std::string& failure() const { return failure_; }

 private:
  std::unique_ptr<Process> server_;
  std::string display_;
  std::string failure_;
};

// Takes a picture of a window (or the whole screen with "root") with ImageMagick's import;
// false with *error.
bool screenshot(const Xvfb& server, const std::string& window, struct Frame* frame,
                std::string* error);
