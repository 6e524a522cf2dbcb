#include "app/CommandLine.h"

#include <cctype>
#include <cstdlib>

#include "host/VideoFormat.h"

namespace {

const int kLargestSide = 16384;

// WIDTHxHEIGHT, each 1 to 16384.
bool parseSize(const std::string& text, int* width, int* height, size_t* used) {
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
  if (!parseWhole(text.substr(0, cross), 1, kLargestSide, &w) ||
      !parseWhole(text.substr(cross + 1, end - cross - 1), 1, kLargestSide, &h)) {
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
bool parseOffset(const std::string& text, size_t* at, int* offset, bool* fromFarEdge) {
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
  if (!parseWhole(text.substr(start, end - start), 0, 100000, &distance)) {
    return false;
  }
  *offset = static_cast<int>(negative ? -distance : distance);
  *at = end;
  return true;
}

// WIDTHxHEIGHT, optionally followed by both offsets, as X programs take them.
bool parseGeometry(const std::string& text, WindowPlacement* window) {
  size_t used = 0;
  if (!parseSize(text, &window->width, &window->height, &used)) {
    return false;
  }
  window->sizeFromScreen = false;
  if (used == text.size()) {
    return true;
  }
  if (!parseOffset(text, &used, &window->x, &window->xFromRight) ||
      !parseOffset(text, &used, &window->y, &window->yFromBottom) || used != text.size()) {
    return false;
  }
  window->hasPosition = true;
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

namespace {

// The copy counts an arrangement can be held at.
std::vector<std::string> copyCounts() {
  std::vector<std::string> counts;
  for (int copies = 10; copies <= 22; copies += 2) {
    counts.push_back(std::to_string(copies));
  }
  return counts;
}

OptionRow sizeRow() {
  const std::string side = "1 to " + numberText(kLargestSide);
  OptionRow row = customRow("--size", "WxH", "WIDTHxHEIGHT, each " + side, kWithoutDisplay,
                            "the picture's size in pixels", [](Options* o, const std::string& v) {
                              size_t used = 0;
                              return parseSize(v, &o->width, &o->height, &used) && used == v.size();
                            });
  row.range = "each side " + side;
  return row.defaults("1280x720");
}

OptionRow mirrorsRow() {
  const std::vector<std::string> counts = copyCounts();
  OptionRow row = customRow(
      "--mirrors", "N", "random or a copy count of " + listed(counts), kAnywhere,
      "the mirrors' arrangement: random (now and then gliding to another), or that many copies, "
      "held",
      [](Options* o, const std::string& v) {
        long long copies = -1;
        const bool held = parseWhole(v, 10, 22, &copies) && copies % 2 == 0;
        o->mirrors = held ? static_cast<int>(copies) : -1;
        return held || v == "random";
      });
  std::vector<std::string> values = counts;
  values.insert(values.begin(), "random");
  row.range = listed(values);
  return row.defaults("random").asSetting();
}

template <Options::Mode Mode>
OptionRow modeRow(const char* name, const char* help) {
  return customRow(name, nullptr, "", kAnywhere, help,
                   [](Options* o, const std::string&) {
                     o->mode = Mode;
                     return true;
                   })
      .outOfSynopsis();
}

}  // namespace

const std::vector<OptionRow> kOptions = {
    // In a window.
    customRow("--window", nullptr, "", OwnWindow,
              "draw in a window of our own (the default); q, Escape or Ctrl-C closes it, f "
              "switches it to full screen and back, s saves the frame on screen as a PNG file",
              [](Options*, const std::string&) { return true; })
        .choosing(OwnWindow),
    customRow("-geometry", "WxH", "WIDTHxHEIGHT, optionally followed by +X+Y, -X-Y or a mix",
              OwnWindow,
              "the size of our own window, optionally with its place: +X+Y from the screen's "
              "left and top edges, -X-Y from its right and bottom edges, or a mix (WxH-0+0: top "
              "right)",
              [](Options* o, const std::string& v) { return parseGeometry(v, &o->window); })
        .defaults("1024x768, or 4:3 within two thirds of the screen"),
    customRow("--fullscreen", nullptr, "", OwnWindow, "our own window fills the screen",
              [](Options* o, const std::string&) { return o->window.fullscreen = true; }),
    switchRow("--x11", &Options::x11, OwnWindow | GivenWindow,
              "use X11 (or XWayland) even where Wayland is available: with WAYLAND_DISPLAY set, "
              "a window of our own is a native Wayland one unless --x11 asks for X11"),
    switchRow("--root", &Options::root, GivenWindow,
              "draw on the root window; with XSCREENSAVER_WINDOW set, on that window")
        .choosing(GivenWindow),
    customRow("--window-id", "ID", "a window id (decimal or 0x hexadecimal)", GivenWindow,
              "draw in the window ID (decimal or 0x hexadecimal)",
              [](Options* o, const std::string& v) {
                unsigned long id = 0;
                o->windowId = id;
                return parseWindowId(v, &*o->windowId);
              })
        .choosing(GivenWindow),
    choiceRow("--layer", &Options::layer, {"background", "bottom", "overlay"}, Layer,
              "on Wayland, draw on every output: background is a live wallpaper, bottom one for "
              "desktops whose shell covers the background layer; overlay covers the outputs and "
              "ends on any key, button or move of the pointer, when a screen locker takes the "
              "keyboard, or on SIGTERM: a screen saver for swayidle")
        .choosing(Layer),
    textRow("--output", "NAME", &Options::output, "an output's name", Layer,
            "only on the output NAME (as swaymsg -t get_outputs names it), and on it again when "
            "it comes back"),
    switchRow("--fps", &Options::fps, kWindows,
              "show frames per second, load and the seed in the bottom-left corner")
        .asSetting(),
    switchRow("--no-fps", &Options::fps, kWindows, "do not (the default)", false).outOfSynopsis(),
    wholeRow("--delay", "USEC", &Options::delayMicroseconds, 0, 10000000, "microseconds", kWindows,
             "microseconds from one frame to the next")
        .defaults("33333: 30 frames a second")
        .asSetting(),
    ignoredRow("--install", nullptr, "accepted as xscreensaver hacks accept it, and ignored"),
    ignoredRow("--visual", "V",
               "accepted as xscreensaver hacks accept it, and ignored: the context follows the "
               "window's own visual"),
    ignoredRow("--pair", nullptr, "accepted as xscreensaver hacks accept it, and ignored"),

    // Without a display.
    textRow("--render", "DIR|FILE|-", &Options::renderFolder, "a folder, a video file or -", Render,
            "write frame-00001.png, frame-00002.png, ... into DIR; or a video into FILE, by its "
            "extension: .mp4 (H.264), .webm (VP9), .mkv (lossless FFV1 in RGB), .gif or .webp "
            "(animated, looping); or with '-', a YUV4MPEG2 video stream to standard output (for "
            "ffmpeg or mpv)")
        .choosing(Render),
    wholeRow("--frames", "N", &Options::frames, 1, 10000000, "a frame count", Render,
             "how many frames --render writes")
        .defaults("300"),
    decimalRow("--from", "SECONDS", &Options::fromSeconds, 0.0, 2592000.0, "seconds", Render,
               "start --render at the frame nearest SECONDS of simulated time, stepping through "
               "those before undrawn; PNG frames keep their numbers in the whole render (--from "
               "20 at 30 frames a second starts at frame-00601.png), so that ranges rendered "
               "apart fill one folder",
               "30 days")
        .defaults("0"),
    choiceRow("--quality", &Options::quality, {"low", "medium", "high"}, Render,
              "how much a lossy video (" + videoExtensions(true) +
                  ") keeps: low makes the smallest file, high the picture closest to the PNG "
                  "frames")
        .defaults("medium"),
    textRow("--snapshot", "FILE.png", &Options::snapshotFile, "a file name", Snapshot,
            "write the one frame at --at SECONDS as a PNG file")
        .choosing(Snapshot),
    decimalRow("--at", "SECONDS", &Options::atSeconds, 0.0, 2592000.0, "seconds", Snapshot,
               "the time of the --snapshot frame", "30 days")
        .defaults("5"),
    sizeRow(),
    decimalRow("--rate", "HZ", &Options::rate, 0.001, 10000.0, "ticks per second", kWithoutDisplay,
               "frames per simulated second")
        .defaults("30"),

    // Anywhere.
    decimalRow("--scale", "F", &Options::scale, 0.25, 1.0, "a decimal number", kAnywhere,
               "draw at F times the width and height, then enlarge, each pixel repeated")
        .defaults("1; in a window on a software renderer, the largest F that draws at most "
                  "1920x1080 pixels"),
    decimalRow("--speed", "X", &Options::speed, 0.25, 4.0, "a speed", kAnywhere,
               "how fast the scene runs against the clock: everything that moves, pulses and "
               "drifts follows it, but above 1 the pieces spin no faster than at 1, and at any "
               "speed the mirrors glide slowly enough not to flash")
        .defaults("1")
        .asSetting(),
    mirrorsRow(),
    switchRow("--glow", &Options::glow, kAnywhere,
              "a radial glow over the kaleidoscope, from the centre outwards")
        .asSetting(),
    wholeRow("--seed", "N", &Options::seed, 0, 2147483647LL, "whole seconds", kAnywhere,
             "the clock starts at second N since 1970; it seeds the randomness, so one seed "
             "draws one kaleidoscope (seeds 0 and 1 draw the same one: the C library takes 0 "
             "as 1)")
        .defaults("now"),
    textRow("--resources", "DIR", &Options::resources, "a folder", kAnywhere,
            "the folder holding DiscMasks.jpg, which must be usable (else $VANTOR_RESOURCES, "
            "../share/vantor beside the program, the build tree's resources/)"),
    textRow("--photos", "PATH", &Options::photos, "a folder or a file", kAnywhere,
            "show your photos in the pieces: the JPEG and PNG files in the folder PATH and the "
            "folders inside it (or the one file PATH), eight at a time, one changed every 20 "
            "seconds")
        .asSetting(),
    modeRow<Options::Help>("--help", "show this text"),
    modeRow<Options::Version>("--version", "show the version"),
};

namespace {

// The row named `name` (dashes off), or null. "-h" is --help's short name.
const OptionRow* findOption(const std::string& name) {
  const std::string wanted = name == "h" ? "help" : name;
  for (const OptionRow& row : kOptions) {
    if (std::string(row.name).substr(row.name[1] == '-' ? 2 : 1) == wanted) {
      return &row;
    }
  }
  return nullptr;
}

// `text` as a message quotes it: control characters as \xNN escapes, so that a newline in an
// argument cannot break the message's one line.
std::string quoted(const std::string& text) {
  std::string shown;
  for (const unsigned char c : text) {
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02x", c);
    shown += c < 0x20 || c == 0x7f ? std::string(escape) : std::string(1, static_cast<char>(c));
  }
  return shown;
}

// How the ways to draw in `modes` are asked for, in messages.
std::string waysOf(unsigned modes) {
  const std::pair<unsigned, const char*> ways[] = {{OwnWindow, "a window of our own"},
                                                   {GivenWindow, "--root or --window-id"},
                                                   {Layer, "--layer"},
                                                   {Render, "--render DIR"},
                                                   {Snapshot, "--snapshot FILE.png"}};
  std::vector<std::string> named;
  for (const auto& [mode, words] : ways) {
    if ((modes & mode) != 0) {
      named.push_back(words);
    }
  }
  return listed(named);
}

// The options given, as typed, must agree on one way to draw (a window of our own when none
// asks for another), and each must belong to it. False with *error otherwise.
bool checkModes(const std::vector<std::pair<const OptionRow*, std::string>>& given,
                Options* options, std::string* error) {
  unsigned mode = 0;
  std::string chooser;
  for (const auto& [row, typed] : given) {
    if (row->chooses != 0 && mode != 0 && row->chooses != mode) {
      *error = chooser + " and " + typed + " cannot be used together";
      return false;
    }
    if (row->chooses != 0 && mode == 0) {
      mode = row->chooses;
      chooser = typed;
    }
  }
  mode = mode == 0 ? OwnWindow : mode;
  options->mode = mode == Render     ? Options::Render
                  : mode == Snapshot ? Options::Snapshot
                                     : Options::Window;
  for (const auto& [row, typed] : given) {
    if ((row->modes & mode) != 0) {
      continue;
    }
    if (chooser.empty()) {
      *error = typed + " needs " + waysOf(row->modes);
    } else if ((mode & kWithoutDisplay) != 0 && (row->modes & kWithoutDisplay) == 0) {
      *error = typed + " draws in a window and cannot be used with " + chooser;
    } else {
      *error = typed + " belongs to " + waysOf(row->modes) + " and cannot be used with " + chooser;
    }
    return false;
  }
  return true;
}

// What a render's target asks of the other options: --quality only where it has a say, and
// sides and rates that a video's format carries.
bool checkRender(const Options& options, std::string* error) {
  if (options.mode != Options::Render) {
    return true;
  }
  const VideoFormat* format = videoFormatOf(options.renderFolder);
  if (!options.quality.empty() && (format == nullptr || format->lossless)) {
    *error = "--quality applies only to " + videoExtensions(true) + " videos, not to " +
             (format != nullptr             ? "a " + std::string(format->name)
              : options.renderFolder == "-" ? std::string("the YUV4MPEG2 stream")
                                            : std::string("PNG frames"));
    return false;
  }
  const int width = options.width, height = options.height;
  if (format != nullptr && format->evenSides && (width % 2 != 0 || height % 2 != 0)) {
    *error = "--size " + std::to_string(width) + "x" + std::to_string(height) + " cannot be " +
             "used with a " + format->extension +
             " video, whose colour is kept at half size: " + "give even sides, such as " +
             std::to_string(width + width % 2) + "x" + std::to_string(height + height % 2);
    return false;
  }
  if (format != nullptr && format->highestRate > 0.0 && options.rate > format->highestRate) {
    *error = "--rate " + numberText(options.rate) + " is too fast for a " + format->extension +
             ", whose frames browsers show at their own pace only up to " +
             numberText(format->highestRate) + " a second; give a lower --rate";
    return false;
  }
  return true;
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& arguments, Options* options,
                      std::string* error) {
  // What was given, as typed ("-geometry" or "--geometry"), for the checks after the loop.
  std::vector<std::pair<const OptionRow*, std::string>> given;
  for (size_t i = 0; i < arguments.size(); i++) {
    const std::string& argument = arguments[i];
    if (argument.size() < 2 || argument[0] != '-') {
      *error = "unexpected argument '" + quoted(argument) + "'";
      return false;
    }
    // One dash or two, as xscreensaver's hacks accept; --name=value too.
    const size_t equals = argument.find('=');
    const std::string typed = argument.substr(0, equals);
    const OptionRow* row = findOption(typed.substr(typed[1] == '-' ? 2 : 1));
    if (row == nullptr) {
      *error = "unknown option '" + quoted(typed) + "'";
      return false;
    }
    std::string value;
    if (row->argument.empty() && equals != std::string::npos) {
      *error = "option '" + typed + "' takes no value";
      return false;
    } else if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (!row->argument.empty()) {
      if (i + 1 >= arguments.size()) {
        *error = "option '" + typed + "' needs a value";
        return false;
      }
      value = arguments[++i];
    }
    if (!row->store(options, value)) {
      *error = "option '" + typed + "' needs " + row->needs + ", not '" + quoted(value) + "'";
      return false;
    }
    if (options->mode == Options::Help || options->mode == Options::Version) {
      return true;
    }
    given.emplace_back(row, typed);
  }
  return checkModes(given, options, error) && checkRender(*options, error);
}
