// The tick loop: creates the saver view on a surface, drives it once per tick until the run
// ends, and releases it. The same loop serves every surface.
#pragma once

#include <string>

#include "host/DrawnSize.h"
#include "host/ScopeView.h"

class Surface;
class Clock;
class SignalPipe;

struct LoopEnd {
  int status = 0;       // the exit status to give
  int signal = 0;       // the signal that ended the run, else 0; the caller decides the ending
  std::string message;  // one line for standard error when status is not 0
};

// How the loop runs the view, besides the surface it draws on.
struct LoopSettings {
  bool showFps = false;
  SceneSettings scene;
  Clock* clock = nullptr;     // the run's: moved on each frame after the first, held while unseen
  bool anyKeyCloses = false;  // a screen saver ends on any key
  DrawnSize drawnSize;        // how much of what the surface shows the view draws
  bool checkGl = false;       // an OpenGL error after a frame ends the run (VANTOR_GL_CHECK=1)
};

LoopEnd runTicks(Surface& surface, SignalPipe& signals, const LoopSettings& settings);
