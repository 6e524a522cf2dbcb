#include "app/CommandLine.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool ParseLong(const std::string& text, long long low, long long high, long long* value) {
  if (text.empty() || text[0] == ' ' || text[0] == '+') {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) {
    return false;
  }
  *value = parsed;
  return true;
}

bool ParseDouble(const std::string& text, double low, double high, double* value) {
  if (text.empty() || text[0] == ' ') {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  double parsed = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(parsed) || parsed < low || parsed > high) {
    return false;
  }
  *value = parsed;
  return true;
}

// A plain decimal number (digits with at most one point), from `low` to `high`.
bool ParseDecimal(const std::string& text, double low, double high, double* value) {
  size_t digits = 0;
  size_t points = 0;
  for (char c : text) {
    digits += std::isdigit(static_cast<unsigned char>(c)) != 0;
    points += c == '.';
  }
  if (digits == 0 || points > 1 || digits + points != text.size()) {
    return false;
  }
  return ParseDouble(text, low, high, value);
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

// WIDTHxHEIGHT with an optional +X+Y (either sign).
bool ParseGeometry(const std::string& text, Options* options) {
  size_t used = 0;
  if (!ParseSize(text, &options->windowWidth, &options->windowHeight, &used)) {
    return false;
  }
  if (used == text.size()) {
    return true;
  }
  std::string rest = text.substr(used);
  size_t second = rest.find_first_of("+-", 1);
  if (second == std::string::npos) {
    return false;
  }
  long long x = 0;
  long long y = 0;
  std::string xText = rest.substr(1, second - 1);
  std::string yText = rest.substr(second + 1);
  if (!ParseLong(xText, 0, 100000, &x) || !ParseLong(yText, 0, 100000, &y)) {
    return false;
  }
  options->windowX = static_cast<int>(rest[0] == '-' ? -x : x);
  options->windowY = static_cast<int>(rest[second] == '-' ? -y : y);
  options->windowHasPosition = true;
  return true;
}

}  // namespace

bool parseWindowId(const std::string& text, unsigned long* value) {
  int base = 10;
  size_t start = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    start = 2;
  }
  if (start >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[start]))) {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  unsigned long long parsed = std::strtoull(text.c_str() + start, &end, base);
  if (errno != 0 || *end != '\0' || parsed == 0 || parsed > 0xffffffffULL) {
    return false;
  }
  *value = static_cast<unsigned long>(parsed);
  return true;
}

bool parseCommandLine(const std::vector<std::string>& arguments, Options* options,
                      std::string* error) {
  bool render = false;
  bool snapshot = false;
  std::string windowOptionName;     // the last option given that only a window run uses
  std::string offscreenOptionName;  // the last that only --render or --snapshot uses
  bool at = false;
  bool framesGiven = false;

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
    auto takeValue = [&](std::string* out) {
      if (hasInlineValue) {
        *out = value;
        return true;
      }
      if (i + 1 >= arguments.size()) {
        *error = "option '" + given + "' needs a value";
        return false;
      }
      *out = arguments[++i];
      return true;
    };
    auto bad = [&](const std::string& what, const std::string& text) {
      *error = "option '--" + name + "' needs " + what + ", not '" + text + "'";
      return false;
    };
    auto windowOnly = [&] { windowOptionName = "--" + name; };
    auto offscreenOnly = [&] { offscreenOptionName = "--" + name; };
    auto noValue = [&] {
      if (hasInlineValue) {
        *error = "option '--" + name + "' takes no value";
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
        return bad("WIDTHxHEIGHT or WIDTHxHEIGHT+X+Y", text);
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
    } else if (name == "scale") {
      // Drawing smaller than the window and enlarging: one option, kept apart from the rest.
      if (!takeValue(&text))
        return false;
      if (!ParseDecimal(text, 0.25, 1.0, &options->scale)) {
        return bad("a decimal number from 0.25 to 1", text);
      }
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
      render = true;
    } else if (name == "snapshot") {
      if (!takeValue(&options->snapshotFile))
        return false;
      if (options->snapshotFile.empty()) {
        return bad("a file name", "");
      }
      snapshot = true;
    } else if (name == "frames") {
      long long frames = 0;
      if (!takeValue(&text))
        return false;
      if (!ParseLong(text, 1, 10000000, &frames)) {
        return bad("a frame count from 1 to 10000000", text);
      }
      options->frames = static_cast<long>(frames);
      framesGiven = true;
    } else if (name == "at") {
      if (!takeValue(&text))
        return false;
      if (!ParseDouble(text, 0.0, 86400.0, &options->atSeconds)) {
        return bad("seconds from 0 to 86400", text);
      }
      at = true;
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
    } else {
      *error = "unknown option '" + given + "'";
      return false;
    }
  }

  if (render && snapshot) {
    *error = "--render and --snapshot cannot be used together";
    return false;
  }
  if (render || snapshot) {
    if (!windowOptionName.empty()) {
      *error = windowOptionName + " draws in a window and cannot be used with " +
               (render ? "--render" : "--snapshot");
      return false;
    }
    if (framesGiven && snapshot) {
      *error = "--frames belongs to --render; --snapshot takes --at SECONDS";
      return false;
    }
    if (at && render) {
      *error = "--at belongs to --snapshot; --render takes --frames N";
      return false;
    }
    options->mode = render ? Options::Render : Options::Snapshot;
    return true;
  }
  if (!offscreenOptionName.empty()) {
    *error = offscreenOptionName + " needs --render DIR or --snapshot FILE.png";
    return false;
  }
  if (framesGiven || at) {
    *error = std::string(framesGiven ? "--frames" : "--at") +
             " needs --render DIR or --snapshot FILE.png";
    return false;
  }
  options->mode = Options::Window;
  return true;
}

const char* usageText() {
  return "usage: vantor [--root | --window | --window-id ID] [-geometry WxH] [--fps]\n"
         "              [--delay USEC] [--scale F] [--seed N]\n"
         "       vantor --render DIR [--frames N] [--size WxH] [--rate HZ] [--scale F]\n"
         "              [--seed N]\n"
         "       vantor --snapshot FILE.png [--at SECONDS] [--size WxH] [--rate HZ] [--scale F]\n"
         "              [--seed N]\n"
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
         "  -geometry WxH      size of our own window, optionally +X+Y (default 1024x768)\n"
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
         "                     the randomness, so one seed draws one kaleidoscope\n"
         "  --scale F          draw at F (0.25 to 1) times the width and height, then enlarge\n"
         "                     (default 1; in a window on a software renderer, the largest F\n"
         "                     that draws at most 1920x1080 pixels)\n"
         "  --resources DIR    the folder holding DiscMasks.jpg (else $VANTOR_RESOURCES,\n"
         "                     ../share/vantor beside the program, the build tree's resources/)\n"
         "  --help             show this text\n"
         "  --version          show the version\n"
         "\n"
         "Exit status: 0 done, 1 cannot run (no display, no OpenGL, unwritable output, window\n"
         "destroyed), 2 bad usage.\n";
}
