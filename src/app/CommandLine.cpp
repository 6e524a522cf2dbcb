#include "app/CommandLine.h"

#include <cctype>
#include <cstdlib>

namespace {

// Digits only: no sign, no spaces, no base prefix.
bool AllDigits(const std::string& text) {
  if (text.empty()) {
    return false;
  }
  for (char c : text) {
    if (c < '0' || c > '9') {
      return false;
    }
  }
  return true;
}

bool ParseLong(const std::string& text, long long low, long long high, long long* value) {
  if (!AllDigits(text) || text.size() > 18) {
    return false;
  }
  const long long parsed = std::strtoll(text.c_str(), nullptr, 10);
  if (parsed < low || parsed > high) {
    return false;
  }
  *value = parsed;
  return true;
}

// Digits with an optional decimal point followed by more digits: no exponent, inf or nan.
bool ParseDouble(const std::string& text, double low, double high, double* value) {
  const size_t point = text.find('.');
  if (!AllDigits(text.substr(0, point)) ||
      (point != std::string::npos && !AllDigits(text.substr(point + 1)))) {
    return false;
  }
  // The C locale's decimal point: the program never changes the locale.
  const double parsed = std::strtod(text.c_str(), nullptr);
  if (parsed < low || parsed > high) {
    return false;
  }
  *value = parsed;
  return true;
}

const int kLargestSide = 16384;

// WIDTHxHEIGHT, each 1 to 16384.
bool ParseSize(const std::string& text, int* width, int* height, size_t* used) {
  size_t cross = text.find_first_of("xX");
  if (cross == std::string::npos) {
    return false;
  }
  size_t end = text.find_first_of("+-", cross);
  if (end == std::string::npos) {
    end = text.size();
  }
  long long w = 0;
  long long h = 0;
  if (!ParseLong(text.substr(0, cross), 1, kLargestSide, &w) ||
      !ParseLong(text.substr(cross + 1, end - cross - 1), 1, kLargestSide, &h)) {
    return false;
  }
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  *used = end;
  return true;
}

// One offset of a geometry, from text[*at] on: '+' and a distance from the left or top edge,
// which may itself be negative ("+-5" lies 5 pixels beyond that edge), or '-' and a distance
// from the right or bottom edge.
bool ParseOffset(const std::string& text, size_t* at, int* offset, bool* fromFarEdge) {
  if (*at >= text.size() || (text[*at] != '+' && text[*at] != '-')) {
    return false;
  }
  *fromFarEdge = text[*at] == '-';
  size_t start = *at + 1;
  const bool negative = !*fromFarEdge && start < text.size() && text[start] == '-';
  start += negative ? 1 : 0;
  size_t end = text.find_first_of("+-", start);
  if (end == std::string::npos) {
    end = text.size();
  }
  long long distance = 0;
  if (!ParseLong(text.substr(start, end - start), 0, 100000, &distance)) {
    return false;
  }
  *offset = static_cast<int>(negative ? -distance : distance);
  *at = end;
  return true;
}

// WIDTHxHEIGHT, optionally followed by both offsets, as X programs take them.
bool ParseGeometry(const std::string& text, Options* options) {
  size_t used = 0;
  if (!ParseSize(text, &options->windowWidth, &options->windowHeight, &used)) {
    return false;
  }
  if (used == text.size()) {
    return true;
  }
  if (!ParseOffset(text, &used, &options->windowX, &options->windowXFromRight) ||
      !ParseOffset(text, &used, &options->windowY, &options->windowYFromBottom) ||
      used != text.size()) {
    return false;
  }
  options->windowHasPosition = true;
  return true;
}

}  // namespace

bool parseWindowId(const std::string& text, unsigned long* value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 10) {
    return false;
  }
  for (char c : digits) {
    if (hex ? !std::isxdigit(static_cast<unsigned char>(c)) : (c < '0' || c > '9')) {
      return false;
    }
  }
  const unsigned long long parsed = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (parsed == 0 || parsed > 0xffffffffULL) {
    return false;
  }
  *value = static_cast<unsigned long>(parsed);
  return true;
}

bool parseCommandLine(const std::vector<std::string>& arguments, Options* options,
                      std::string* error) {
  // Options are named in messages as the user typed them ("-geometry" or "--geometry").
  std::string renderName;
  std::string snapshotName;
  std::string windowOptionName;     // the last option given that only a window run uses
  std::string offscreenOptionName;  // the last that only --render or --snapshot uses
  std::string atName;
  std::string framesName;

  for (size_t i = 0; i < arguments.size(); i++) {
    std::string given = arguments[i];
    std::string value;
    bool hasInlineValue = false;
    if (given.size() < 2 || given[0] != '-') {
      *error = "unexpected argument '" + given + "'";
      return false;
    }
    // One dash or two, as xscreensaver's hacks accept; --name=value too.
    std::string name = given.substr(given[1] == '-' ? 2 : 1);
    size_t equals = name.find('=');
    if (equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      hasInlineValue = true;
    }
    const std::string typed = hasInlineValue ? given.substr(0, given.find('=')) : given;
    auto takeValue = [&](std::string* out) {
      if (hasInlineValue) {
        *out = value;
        return true;
      }
      if (i + 1 >= arguments.size()) {
        *error = "option '" + typed + "' needs a value";
        return false;
      }
      *out = arguments[++i];
      return true;
    };
    auto bad = [&](const std::string& what, const std::string& text) {
      *error = "option '" + typed + "' needs " + what + ", not '" + text + "'";
      return false;
    };
    auto windowOnly = [&] { windowOptionName = typed; };
    auto offscreenOnly = [&] { offscreenOptionName = typed; };
    auto noValue = [&] {
      if (hasInlineValue) {
        *error = "option '" + typed + "' takes no value";
        return false;
      }
      return true;
    };

    std::string text;
    if (name == "help" || name == "h") {
      if (!noValue())
        return false;
      options->mode = Options::Help;
      return true;
    } else if (name == "version") {
      if (!noValue())
        return false;
      options->mode = Options::Version;
      return true;
    } else if (name == "root") {
      if (!noValue())
        return false;
      options->root = true;
      windowOnly();
    } else if (name == "window") {
      if (!noValue())
        return false;
      windowOnly();
    } else if (name == "window-id") {
      if (!takeValue(&text))
        return false;
      if (!parseWindowId(text, &options->windowId)) {
        return bad("a window id (decimal or 0x hexadecimal)", text);
      }
      options->hasWindowId = true;
      windowOnly();
    } else if (name == "geometry") {
      if (!takeValue(&text))
        return false;
      if (!ParseGeometry(text, options)) {
        return bad("WIDTHxHEIGHT, optionally followed by +X+Y, -X-Y or a mix", text);
      }
      windowOnly();
    } else if (name == "fps") {
      if (!noValue())
        return false;
      options->fps = true;
      windowOnly();
    } else if (name == "no-fps") {
      if (!noValue())
        return false;
      options->fps = false;
    } else if (name == "delay") {
      long long delay = 0;
      if (!takeValue(&text))
        return false;
      if (!ParseLong(text, 0, 10000000, &delay)) {
        return bad("microseconds from 0 to 10000000", text);
      }
      options->delayMicroseconds = static_cast<long>(delay);
      windowOnly();
    } else if (name == "install" || name == "pair") {
      // Accepted as xscreensaver's hacks accept them; the context follows the window's visual.
      if (!noValue())
        return false;
    } else if (name == "visual") {
      if (!takeValue(&text))
        return false;
    } else if (name == "render") {
      if (!takeValue(&options->renderFolder))
        return false;
      if (options->renderFolder.empty()) {
        return bad("a folder", "");
      }
      renderName = typed;
    } else if (name == "snapshot") {
      if (!takeValue(&options->snapshotFile))
        return false;
      if (options->snapshotFile.empty()) {
        return bad("a file name", "");
      }
      snapshotName = typed;
    } else if (name == "frames") {
      long long frames = 0;
      if (!takeValue(&text))
        return false;
      if (!ParseLong(text, 1, 10000000, &frames)) {
        return bad("a frame count from 1 to 10000000", text);
      }
      options->frames = static_cast<long>(frames);
      framesName = typed;
    } else if (name == "at") {
      if (!takeValue(&text))
        return false;
      if (!ParseDouble(text, 0.0, 86400.0, &options->atSeconds)) {
        return bad("seconds from 0 to 86400", text);
      }
      atName = typed;
    } else if (name == "size") {
      size_t used = 0;
      if (!takeValue(&text))
        return false;
      if (!ParseSize(text, &options->width, &options->height, &used) || used != text.size()) {
        return bad("WIDTHxHEIGHT, each 1 to 16384", text);
      }
      offscreenOnly();
    } else if (name == "rate") {
      if (!takeValue(&text))
        return false;
      if (!ParseDouble(text, 0.001, 10000.0, &options->rate)) {
        return bad("ticks per second from 0.001 to 10000", text);
      }
      offscreenOnly();
    } else if (name == "seed") {
      long long seed = 0;
      if (!takeValue(&text))
        return false;
      if (!ParseLong(text, 0, 2147483647LL, &seed)) {
        return bad("whole seconds from 0 to 2147483647", text);
      }
      options->seed = seed;
      options->hasSeed = true;
    } else if (name == "resources") {
      if (!takeValue(&options->resources))
        return false;
      if (options->resources.empty()) {
        return bad("a folder", "");
      }
    } else {
      *error = "unknown option '" + typed + "'";
      return false;
    }
  }

  const bool render = !renderName.empty();
  const bool snapshot = !snapshotName.empty();
  if (render && snapshot) {
    *error = renderName + " and " + snapshotName + " cannot be used together";
    return false;
  }
  if (render || snapshot) {
    const std::string& offscreen = render ? renderName : snapshotName;
    if (!windowOptionName.empty()) {
      *error = windowOptionName + " draws in a window and cannot be used with " + offscreen;
      return false;
    }
    if (!framesName.empty() && snapshot) {
      *error = framesName + " belongs to --render; " + offscreen + " takes --at SECONDS";
      return false;
    }
    if (!atName.empty() && render) {
      *error = atName + " belongs to --snapshot; " + offscreen + " takes --frames N";
      return false;
    }
    options->mode = render ? Options::Render : Options::Snapshot;
    return true;
  }
  for (const std::string* name : {&offscreenOptionName, &framesName, &atName}) {
    if (!name->empty()) {
      *error = *name + " needs --render DIR or --snapshot FILE.png";
      return false;
    }
  }
  options->mode = Options::Window;
  return true;
}

const char* usageText() {
  return "usage: vantor [--root | --window | --window-id ID] [-geometry WxH] [--fps]\n"
         "              [--delay USEC] [--seed N]\n"
         "       vantor --render DIR [--frames N] [--size WxH] [--rate HZ] [--seed N]\n"
         "       vantor --snapshot FILE.png [--at SECONDS] [--size WxH] [--rate HZ] [--seed N]\n"
         "\n"
         "Vantor draws a kaleidoscope: in a window of its own, on the root window, in a window\n"
         "given by id (as the xscreensaver daemon and its settings dialog run it), or without\n"
         "any display into PNG files.\n"
         "\n"
         "In a window:\n"
         "  --root             draw on the root window; with XSCREENSAVER_WINDOW set, on that\n"
         "                     window\n"
         "  --window           draw in a window of our own (the default); q, Escape or Ctrl-C\n"
         "                     closes it\n"
         "  --window-id ID     draw in the window ID (decimal or 0x hexadecimal)\n"
         "  -geometry WxH      size of our own window (default 1024x768), optionally with its\n"
         "                     place: +X+Y from the screen's left and top edges, -X-Y from\n"
         "                     its right and bottom edges, or a mix (WxH-0+0: top right)\n"
         "  --fps              show frames per second and load in the bottom-left corner\n"
         "  --no-fps           do not (the default)\n"
         "  --delay USEC       microseconds from one frame to the next (default 33333: 30 a\n"
         "                     second)\n"
         "  --install, --visual V, --pair\n"
         "                     accepted as xscreensaver hacks accept them, and ignored\n"
         "\n"
         "Without a display (a simulated clock: the same options write the same files):\n"
         "  --render DIR       write frame-00001.png, frame-00002.png, ... into DIR\n"
         "  --frames N         how many frames --render writes (default 300)\n"
         "  --snapshot FILE    write the one frame at --at SECONDS as a PNG file\n"
         "  --at SECONDS       the time of the --snapshot frame (default 5)\n"
         "  --size WxH         picture size in pixels (default 1280x720)\n"
         "  --rate HZ          frames per simulated second (default 30)\n"
         "\n"
         "Always:\n"
         "  --seed N           the clock starts at second N since 1970 (default: now); it seeds\n"
         "                     the randomness, so one seed draws one kaleidoscope (seeds 0\n"
         "                     and 1 draw the same one: the C library takes 0 as 1)\n"
         "  --resources DIR    the folder holding DiscMasks.jpg (else $VANTOR_RESOURCES,\n"
         "                     ../share/vantor beside the program, the build tree's resources/)\n"
         "  --help             show this text\n"
         "  --version          show the version\n"
         "\n"
         "Exit status: 0 done, 1 cannot run (no display, no OpenGL, unwritable output, window\n"
         "destroyed), 2 bad usage.\n";
}
