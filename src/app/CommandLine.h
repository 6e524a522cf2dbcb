// Vantor's command line: one table of typed option rows (kOptions) that drives parsing, the
// checks of which options go together, --help and its synopsis. Parsing has no side effects and
// needs no display; the run acts on the result.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/OptionRow.h"
#include "host/WindowPlacement.h"

struct Options {
  enum Mode { Window, Render, Snapshot, Help, Version };
  Mode mode = Window;

  // Window: which one. A window id wins over --root; --root with XSCREENSAVER_WINDOW set
  // means that window; --root alone the root window; else a window of our own.
  bool root = false;
  std::optional<unsigned long> windowId;
  WindowPlacement window;  // our own window: -geometry, --fullscreen
  bool fps = false;
  // Wayland: --layer background|bottom|overlay (empty: a window), on every output or on the
  // --output named; --x11 keeps to X11 even there.
  std::string layer;
  std::string output;
  bool x11 = false;
  long delayMicroseconds = 33333;  // from the start of one tick to the start of the next
  // --scale: the share of each side of the window (or picture) that is drawn and then
  // enlarged over it, 0.25 to 1; 0 lets a window choose (smaller only on a software renderer)
  // and draws a picture at full size.
  double scale = 0.0;

  // Render and Snapshot.
  std::string renderFolder;  // a folder, a video file (by its extension) or "-", the stream
  std::string snapshotFile;
  long frames = 300;
  double fromSeconds = 0.0;  // a render's first frame: the one nearest this simulated time
  std::string quality;       // --quality of a lossy video: low, medium or high; empty: medium
  double atSeconds = 5.0;
  int width = 1280;
  int height = 720;
  double rate = 30.0;  // ticks per simulated second

  // Everywhere.
  std::optional<long long> seed;  // where the clock starts, seconds since 1970 (also in a window)
  double speed = 1.0;             // scene seconds per real (or simulated) second
  int mirrors = -1;               // an arrangement held by its copy count (10 to 22), or -1: random
  bool glow = false;              // the radial glow overlay
  std::string resources;          // --resources DIR; empty when not given
  std::string photos;             // --photos PATH: a folder or a file; empty for none
};

// Every option, in --help's order. A name is accepted with one dash or two, and with "=value"
// where it takes one.
extern const std::vector<OptionRow> kOptions;

// Reads argv. On a usage error returns false with *error naming the bad option as typed
// (without the program's name or the pointer to --help, which the caller adds).
bool parseCommandLine(const std::vector<std::string>& arguments, Options* options,
                      std::string* error);

// A window id, decimal or hexadecimal with 0x, as xscreensaver and xwininfo print them (and
// as XSCREENSAVER_WINDOW holds one). False for anything else, 0 or more than 32 bits.
bool parseWindowId(const std::string& text, unsigned long* value);

// One line for each way to run Vantor, made from the table, as --help and the README show it.
std::string synopsisText();
// The text of --help, made from the table.
std::string usageText();
