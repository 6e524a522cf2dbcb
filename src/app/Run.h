// One run of Vantor, made from the options: the surface it draws on (and, for a render, the sink
// its frames go to), the signals it ends on, the clock it owns, handed to the frame timer for
// exactly the run's lifetime, and the one line that says how it ended. main makes it, starts
// it, plays it, and once it is gone (the handlers with it) ends as it says.
#pragma once

#include <memory>
#include <string>

#include "app/CommandLine.h"
#include "app/Signals.h"
#include "host/FrameSink.h"
#include "host/Surface.h"
#include "photos/PhotoLoader.h"
#include "util/Clock.h"
#include "util/LocalTiming.h"

// How the process ends after a run: by `signal` when not 0, else with `status`.
struct RunEnd {
  int status = 0;
  int signal = 0;
};

class Run {
 public:
  explicit Run(const Options& options);
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // Whether the options can be used as given, before any display is opened: a folder named
  // with --resources must hold a usable atlas, --photos must name at least one photo that
  // looks usable (its loader starts here), and a video stream needs somewhere other than a
  // terminal to go. False with the line said (status 2).
  bool usable();
  // Makes the surface. False with the line said (status 1).
  bool start();
  // Drives the view on the surface until the run ends, and says how it ended.
  RunEnd play();

 private:
  bool offscreen() const;
  bool startPhotos();
  bool stream() const;  // --render -
  std::unique_ptr<Surface> makeOffscreenSurface(std::string* error);
  std::unique_ptr<Surface> makeWindowSurface(std::string* error);

  Options options_;
  SignalPipe signals_;
  std::unique_ptr<Clock> clock_;
  ScopedTimerClock timerClock_;          // made after clock_, so it goes before it
  std::unique_ptr<FrameSink> sink_;      // for a render or snapshot
  std::unique_ptr<PhotoLoader> photos_;  // for --photos; outlives the view that shows them
  std::unique_ptr<Surface> surface_;     // goes first: it may write through the sink
};
