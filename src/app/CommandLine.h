// Vantor's command line: what to draw on and how, read from argv. Parsing has no side effects
// and needs no display; main acts on the result.
#pragma once

#include <string>
#include <vector>

struct Options {
  enum Mode { Window, Render, Snapshot, Help, Version };
  Mode mode = Window;

  // Window: which one. A window id wins over --root; --root with XSCREENSAVER_WINDOW set
  // means that window; --root alone the root window; else a window of our own.
  bool root = false;
  bool hasWindowId = false;
  unsigned long windowId = 0;
  int windowWidth = 1024;  // -geometry WxH[+X+Y], own window only
  int windowHeight = 768;
  int windowX = 0;
  int windowY = 0;
  bool windowHasPosition = false;
  bool fps = false;
  long delayMicroseconds = 33333;  // from the start of one tick to the start of the next
  // --scale: the share of each side of the window (or picture) that is drawn and then
  // enlarged over it, 0.25 to 1; 0 lets a window choose (smaller only on a software renderer)
  // and draws a picture at full size.
  double scale = 0.0;

  // Render and Snapshot.
  std::string renderFolder;
  std::string snapshotFile;
  long frames = 300;
  double atSeconds = 5.0;
  int width = 1280;
  int height = 720;
  double rate = 30.0;  // ticks per simulated second
  bool hasSeed = false;
  long long seed = 0;  // where the clock starts, seconds since 1970 (also in a window)

  std::string resources;  // --resources DIR; empty when not given
};

// Reads argv. On a usage error returns false with *error naming the bad option (without the
// program's name or the pointer to --help, which the caller adds).
bool parseCommandLine(const std::vector<std::string>& arguments, Options* options,
                      std::string* error);

// A window id, decimal or hexadecimal with 0x, as xscreensaver and xwininfo print them (and
// as XSCREENSAVER_WINDOW holds one). False for anything else, 0 or more than 32 bits.
bool parseWindowId(const std::string& text, unsigned long* value);

// The text of --help.
const char* usageText();
