// A headless sway of its own for the tests and the benchmarks, and running programs under it.
// Sway refuses root, so under root it and every program run under it are the user nobody.
// Sway, swaymsg, grim and wtype are run as programs: no Wayland library is linked.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "Frame.h"
#include "Process.h"
#include "TemporaryFolder.h"

// The frame callbacks a client run with WAYLAND_DEBUG=client has asked for, from its log of
// requests on standard error: one for each frame on each surface.
long frameRequests(const Process& client);

class Sway {
 public:
  // One 1280x720 output (HEADLESS-1), no wallpaper program, no window borders, and a runtime
  // folder of its own (mode 0700, owned by sway's user).
  Sway();
  ~Sway();
  Sway(const Sway&) = delete;
  Sway& operator=(const Sway&) = delete;

  // Empty when it runs; else why not.
  const std::string& problem() const { return problem_; }
  pid_t pid() const { return server_ != nullptr ? server_->pid() : -1; }
  // Ends it with SIGTERM, as a session's end does.
  void stop();

  // The path of the socket clients connect to.
  std::string socket() const { return folder_.path() + "/" + display_; }
  // What programs under it are given: its runtime folder and sockets, and no X display.
  Arguments environment() const;

  // `command` as sway's user, with environment() and then `more` (which may override it).
  std::unique_ptr<Process> start(const Arguments& command, const Arguments& more = {}) const;
  // The same, run to its end.
  Exit run(const Arguments& command, double timeoutSeconds = 20.0) const;
  // swaymsg with `words`, run to its end.
  Exit message(const Arguments& words) const;
  // A press and release of `key` (an XKB name such as "Escape") on a new virtual keyboard,
  // 1.5 s after it appears so that clients have bound it.
  Exit key(const std::string& key) const;

  // The live processes running `program` (a full path) as clients of this sway, found by the
  // runtime folder in their environment: also those started by other programs (swayidle's).
  std::vector<pid_t> clients(const std::string& program) const;

  // One output's picture, taken with grim: 8-bit RGB, top row first. False with *error set
  // when none came.
  bool capture(const std::string& output, Frame* frame, std::string* error) const;

 private:
  TemporaryFolder folder_{"vantor-sway"};  // the runtime folder
  std::unique_ptr<Process> server_;
  std::string display_;  // wayland-N
  std::string ipc_;      // swaymsg's socket, a full path
  std::string problem_;
};
