// Vantor's command line: one table of options (kOptions) that drives parsing, --help and the
// checks of which options go together. Parsing has no side effects and needs no display; main
// acts on the result.
#pragma once

#include <string>
#include <vector>

#include "host/WindowPlacement.h"

struct Options {
  enum Mode { Window, Render, Snapshot, Help, Version };
  Mode mode = Window;

  // Window: which one. A window id wins over --root; --root with XSCREENSAVER_WINDOW set
  // means that window; --root alone the root window; else a window of our own.
  bool root = false;
  bool hasWindowId = false;
  unsigned long windowId = 0;
  WindowPlacement window;  // our own window: -geometry, --fullscreen
  bool fps = false;
  // Wayland: --layer background|overlay (empty: a window); --x11 keeps to X11 even there.
  std::string layer;
  bool x11 = false;
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

  // Everywhere.
  bool hasSeed = false;
  long long seed = 0;     // where the clock starts, seconds since 1970 (also in a window)
  double speed = 1.0;     // scene seconds per real (or simulated) second
  int mirrors = -1;       // an arrangement held by its copy count (10 to 22), or -1: random
  bool glow = false;      // the radial glow overlay
  std::string resources;  // --resources DIR; empty when not given
};

// One option of the table. `name` is written as --help shows it ("--root", "-geometry");
// it is accepted with one dash or two, and with "=value" where it takes one.
struct OptionSpec {
  enum : unsigned { InWindow = 1, InRender = 2, InSnapshot = 4, Anywhere = 7 };

  const char* name;
  const char* argument;     // what the value is called in --help ("WxH"); null for a switch
  const char* defaultText;  // the default as --help gives it; null for none
  unsigned modes;           // where it may be used
  bool setting;             // offered in xscreensaver's settings dialog (packaging/vantor.xml)
  const char* help;         // what it does, lines separated by '\n'
  // Stores the value (empty for a switch). Null on success, else what the option needs
  // ("a frame count from 1 to 10000000").
  const char* (*apply)(Options* options, const std::string& value);
};

// Every option, in --help's order.
extern const std::vector<OptionSpec> kOptions;

// Reads argv. On a usage error returns false with *error naming the bad option as typed
// (without the program's name or the pointer to --help, which the caller adds).
bool parseCommandLine(const std::vector<std::string>& arguments, Options* options,
                      std::string* error);

// A window id, decimal or hexadecimal with 0x, as xscreensaver and xwininfo print them (and
// as XSCREENSAVER_WINDOW holds one). False for anything else, 0 or more than 32 bits.
bool parseWindowId(const std::string& text, unsigned long* value);

// The text of --help, made from the table.
std::string usageText();
