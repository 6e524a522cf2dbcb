#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
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
bool ParseGeometry(const std::string& text, WindowPlacement* window) {
  size_t used = 0;
  if (!ParseSize(text, &window->width, &window->height, &used)) {
    return false;
  }
  window->sizeFromScreen = false;
  if (used == text.size()) {
    return true;
  }
  if (!ParseOffset(text, &used, &window->x, &window->xFromRight) ||
      !ParseOffset(text, &used, &window->y, &window->yFromBottom) || used != text.size()) {
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

// Wrong values are reported as "option 'X' needs <what>, not '<value>'".
const char* Check(bool good, const char* what) { return good ? nullptr : what; }

template <typename Number>
const char* StoreLong(const std::string& value, long long low, long long high, Number* target,
                      const char* what) {
  long long parsed = 0;
  if (!ParseLong(value, low, high, &parsed)) {
    return what;
  }
  *target = static_cast<Number>(parsed);
  return nullptr;
}

const char* Ignored(Options*, const std::string&) { return nullptr; }

// A path, which must not be empty.
const char* StorePath(std::string* target, const std::string& value, const char* what) {
  *target = value;
  return Check(!value.empty(), what);
}

// A switch: sets its field.
template <bool Options::*Field, bool Value = true>
const char* Set(Options* options, const std::string&) {
  options->*Field = Value;
  return nullptr;
}

template <Options::Mode Mode>
const char* SetMode(Options* options, const std::string&) {
  options->mode = Mode;
  return nullptr;
}

}  // namespace

const std::vector<OptionSpec> kOptions = {
    // In a window.
    {"--root", nullptr, nullptr, OptionSpec::InWindow, false,
     "draw on the root window; with XSCREENSAVER_WINDOW set, on that\nwindow", Set<&Options::root>},
    {"--window", nullptr, nullptr, OptionSpec::InWindow, false,
     "draw in a window of our own (the default); q, Escape or Ctrl-C\ncloses it", Ignored},
    {"--window-id", "ID", nullptr, OptionSpec::InWindow, false,
     "draw in the window ID (decimal or 0x hexadecimal)",
     [](Options* o, const std::string& v) {
       o->hasWindowId = true;
       return Check(parseWindowId(v, &o->windowId), "a window id (decimal or 0x hexadecimal)");
     }},
    {"-geometry", "WxH", "1024x768, or 4:3 within two thirds of the screen", OptionSpec::InWindow,
     false,
     "size of our own window, optionally with its place: +X+Y from\nthe screen's left and top "
     "edges, -X-Y from its right and bottom\nedges, or a mix (WxH-0+0: top right)",
     [](Options* o, const std::string& v) {
       return Check(ParseGeometry(v, &o->window),
                    "WIDTHxHEIGHT, optionally followed by +X+Y, -X-Y or a mix");
     }},
    {"--x11", nullptr, nullptr, OptionSpec::InWindow, false,
     "use X11 (or XWayland) even where Wayland is available; on\nWayland (WAYLAND_DISPLAY set) "
     "the window is a native one unless\n--x11, --root or --window-id asks for X11",
     Set<&Options::x11>},
    {"--layer", "KIND", nullptr, OptionSpec::InWindow, false,
     "on Wayland, draw on every output: 'background' is a live\nwallpaper (in sway's config: exec "
     "vantor --layer background);\n'overlay' covers the outputs and ends on any key, button or "
     "move\nof the pointer, or on SIGTERM: a screen saver for swayidle, e.g.\nexec swayidle -w "
     "timeout 300 'vantor --layer overlay &' \\\n     resume 'pkill -TERM -x vantor'",
     [](Options* o, const std::string& v) {
       o->layer = v;
       return Check(v == "background" || v == "overlay", "background or overlay");
     }},
    {"--fullscreen", nullptr, nullptr, OptionSpec::InWindow, false,
     "our own window fills the screen; f switches between the two",
     [](Options* o, const std::string&) -> const char* {
       o->window.fullscreen = true;
       return nullptr;
     }},
    {"--fps", nullptr, nullptr, OptionSpec::InWindow, true,
     "show frames per second, load and the seed in the bottom-left\ncorner", Set<&Options::fps>},
    {"--no-fps", nullptr, nullptr, OptionSpec::InWindow, false, "do not (the default)",
     Set<&Options::fps, false>},
    {"--delay", "USEC", "33333: 30 frames a second", OptionSpec::InWindow, true,
     "microseconds from one frame to the next",
     [](Options* o, const std::string& v) {
       return StoreLong(v, 0, 10000000, &o->delayMicroseconds, "microseconds from 0 to 10000000");
     }},
    {"--install", nullptr, nullptr, OptionSpec::InWindow, false,
     "accepted as xscreensaver hacks accept it, and ignored", Ignored},
    {"--visual", "V", nullptr, OptionSpec::InWindow, false,
     "accepted as xscreensaver hacks accept it, and ignored: the\ncontext follows the window's "
     "own visual",
     Ignored},
    {"--pair", nullptr, nullptr, OptionSpec::InWindow, false,
     "accepted as xscreensaver hacks accept it, and ignored", Ignored},

    // Without a display.
    {"--render", "DIR", nullptr, OptionSpec::InRender, false,
     "write frame-00001.png, frame-00002.png, ... into DIR; with DIR\n'-', a YUV4MPEG2 video "
     "stream to standard output (for ffmpeg or\nmpv)",
     [](Options* o, const std::string& v) { return StorePath(&o->renderFolder, v, "a folder"); }},
    {"--frames", "N", "300", OptionSpec::InRender, false, "how many frames --render writes",
     [](Options* o, const std::string& v) {
       return StoreLong(v, 1, 10000000, &o->frames, "a frame count from 1 to 10000000");
     }},
    {"--snapshot", "FILE", nullptr, OptionSpec::InSnapshot, false,
     "write the one frame at --at SECONDS as a PNG file",
     [](Options* o, const std::string& v) {
       return StorePath(&o->snapshotFile, v, "a file name");
     }},
    {"--at", "SECONDS", "5", OptionSpec::InSnapshot, false,
     "the time of the --snapshot frame, up to 30 days (2592000)",
     [](Options* o, const std::string& v) {
       return Check(ParseDouble(v, 0.0, 2592000.0, &o->atSeconds),
                    "seconds from 0 to 2592000 (30 days)");
     }},
    {"--size", "WxH", "1280x720", OptionSpec::InRender | OptionSpec::InSnapshot, false,
     "picture size in pixels",
     [](Options* o, const std::string& v) {
       size_t used = 0;
       return Check(ParseSize(v, &o->width, &o->height, &used) && used == v.size(),
                    "WIDTHxHEIGHT, each 1 to 16384");
     }},
    {"--rate", "HZ", "30", OptionSpec::InRender | OptionSpec::InSnapshot, false,
     "frames per simulated second",
     [](Options* o, const std::string& v) {
       return Check(ParseDouble(v, 0.001, 10000.0, &o->rate),
                    "ticks per second from 0.001 to 10000");
     }},

    // Anywhere.
    {"--scale", "F",
     "1; in a window on a software renderer, the largest F that\ndraws at most 1920x1080 pixels",
     OptionSpec::Anywhere, false, "draw at F (0.25 to 1) times the width and height, then enlarge",
     [](Options* o, const std::string& v) {
       return Check(ParseDouble(v, 0.25, 1.0, &o->scale), "a decimal number from 0.25 to 1");
     }},
    {"--speed", "X", "1", OptionSpec::Anywhere, true,
     "how fast the scene runs against the clock, from 0.25 to 4:\neverything that moves, pulses "
     "and drifts follows it, but\nabove 1 the pieces spin no faster than at 1, and at any\nspeed "
     "the mirrors glide slowly enough not to flash",
     [](Options* o, const std::string& v) {
       return Check(ParseDouble(v, 0.25, 4.0, &o->speed), "a speed from 0.25 to 4");
     }},
    {"--mirrors", "N", "random", OptionSpec::Anywhere, true,
     "the mirrors' arrangement: random (now and then gliding to\nanother), or 10, 12, 14, 16, 18, "
     "20 or 22 copies, held",
     [](Options* o, const std::string& v) {
       long long copies = 0;
       if (v == "random") {
         o->mirrors = -1;
         return static_cast<const char*>(nullptr);
       }
       const bool good = ParseLong(v, 10, 22, &copies) && copies % 2 == 0;
       o->mirrors = static_cast<int>(copies);
       return Check(good, "random or a copy count of 10, 12, 14, 16, 18, 20 or 22");
     }},
    {"--glow", nullptr, nullptr, OptionSpec::Anywhere, true,
     "a radial glow over the kaleidoscope, from the centre outwards", Set<&Options::glow>},
    {"--seed", "N", "now", OptionSpec::Anywhere, false,
     "the clock starts at second N since 1970; it seeds the\nrandomness, so one seed draws one "
     "kaleidoscope (seeds 0 and 1\ndraw the same one: the C library takes 0 as 1)",
     [](Options* o, const std::string& v) {
       o->hasSeed = true;
       return StoreLong(v, 0, 2147483647LL, &o->seed, "whole seconds from 0 to 2147483647");
     }},
    {"--resources", "DIR", nullptr, OptionSpec::Anywhere, false,
     "the folder holding DiscMasks.jpg, which must be usable (else\n$VANTOR_RESOURCES, "
     "../share/vantor beside the program, the\nbuild tree's resources/)",
     [](Options* o, const std::string& v) { return StorePath(&o->resources, v, "a folder"); }},
    {"--help", nullptr, nullptr, OptionSpec::Anywhere, false, "show this text",
     SetMode<Options::Help>},
    {"--version", nullptr, nullptr, OptionSpec::Anywhere, false, "show the version",
     SetMode<Options::Version>},
};

namespace {

// The option named `name` (dashes off), or null. "-h" is --help's short name.
const OptionSpec* FindOption(const std::string& name) {
  const std::string wanted = name == "h" ? "help" : name;
  for (const OptionSpec& entry : kOptions) {
    if (std::string(entry.name).substr(entry.name[1] == '-' ? 2 : 1) == wanted) {
      return &entry;
    }
  }
  return nullptr;
}

// `text` as a message quotes it: control characters as \xNN escapes, so that a newline in an
// argument cannot break the message's one line.
std::string Shown(const std::string& text) {
  std::string shown;
  for (const unsigned char c : text) {
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02x", c);
    shown += c < 0x20 || c == 0x7f ? std::string(escape) : std::string(1, static_cast<char>(c));
  }
  return shown;
}

// How the options of one mode are asked for, in messages.
const char* ModeNeeded(unsigned modes) {
  switch (modes) {
    case OptionSpec::InRender:
      return "--render DIR";
    case OptionSpec::InSnapshot:
      return "--snapshot FILE.png";
    default:
      return "--render DIR or --snapshot FILE.png";
  }
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& arguments, Options* options,
                      std::string* error) {
  // What was given, as typed ("-geometry" or "--geometry"), for the checks after the loop.
  std::vector<std::pair<const OptionSpec*, std::string>> given;
  for (size_t i = 0; i < arguments.size(); i++) {
    const std::string& argument = arguments[i];
    if (argument.size() < 2 || argument[0] != '-') {
      *error = "unexpected argument '" + Shown(argument) + "'";
      return false;
    }
    // One dash or two, as xscreensaver's hacks accept; --name=value too.
    const size_t equals = argument.find('=');
    const std::string typed = argument.substr(0, equals);
    const OptionSpec* entry = FindOption(typed.substr(typed[1] == '-' ? 2 : 1));
    if (entry == nullptr) {
      *error = "unknown option '" + Shown(typed) + "'";
      return false;
    }
    std::string value;
    if (entry->argument == nullptr && equals != std::string::npos) {
      *error = "option '" + typed + "' takes no value";
      return false;
    } else if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (entry->argument != nullptr) {
      if (i + 1 >= arguments.size()) {
        *error = "option '" + typed + "' needs a value";
        return false;
      }
      value = arguments[++i];
    }
    if (const char* needs = entry->apply(options, value)) {
      *error = "option '" + typed + "' needs " + needs + ", not '" + Shown(value) + "'";
      return false;
    }
    if (options->mode == Options::Help || options->mode == Options::Version) {
      return true;
    }
    given.emplace_back(entry, typed);
  }

  // The mode comes from --render or --snapshot; every other option must belong to it.
  std::string render, snapshot;
  for (const auto& [entry, typed] : given) {
    const std::string name = entry->name;
    if (name == "--render") {
      render = typed;
    } else if (name == "--snapshot") {
      snapshot = typed;
    }
  }
  if (!render.empty() && !snapshot.empty()) {
    *error = render + " and " + snapshot + " cannot be used together";
    return false;
  }
  options->mode = !render.empty()     ? Options::Render
                  : !snapshot.empty() ? Options::Snapshot
                                      : Options::Window;
  const unsigned mode = options->mode == Options::Render     ? OptionSpec::InRender
                        : options->mode == Options::Snapshot ? OptionSpec::InSnapshot
                                                             : OptionSpec::InWindow;
  const std::string& offscreen = render.empty() ? snapshot : render;
  for (const auto& [entry, typed] : given) {
    if ((entry->modes & mode) != 0) {
      continue;
    }
    if (mode == OptionSpec::InWindow) {
      *error = typed + " needs " + ModeNeeded(entry->modes);
    } else if (entry->modes == OptionSpec::InWindow) {
      *error = typed + " draws in a window and cannot be used with " + offscreen;
    } else {
      *error = typed + " belongs to " + ModeNeeded(entry->modes) + " and cannot be used with " +
               offscreen;
    }
    return false;
  }
  // The layers are Wayland's; these ask for X11.
  if (!options->layer.empty() && (options->x11 || options->root || options->hasWindowId)) {
    *error = "--layer draws on Wayland and cannot be used with --x11, --root or --window-id";
    return false;
  }
  return true;
}

std::string usageText() {
  std::string text =
      "usage: vantor [options]                       in a window\n"
      "       vantor --render DIR [options]          PNG frames, without a display\n"
      "       vantor --snapshot FILE.png [options]   one PNG picture, without a display\n"
      "\n"
      "Vantor draws a kaleidoscope: in a window of its own, on the root window, in a window\n"
      "given by id (as the xscreensaver daemon and its settings dialog run it), or without\n"
      "any display into PNG files.\n";
  const struct {
    unsigned modes;
    const char* heading;
  } sections[] = {
      {OptionSpec::InWindow, "In a window:"},
      {OptionSpec::InRender | OptionSpec::InSnapshot,
       "Without a display (a simulated clock: the same options write the same files):"},
      {OptionSpec::Anywhere, "Anywhere:"},
  };
  const std::string indent(21, ' ');
  for (const auto& section : sections) {
    text += "\n" + std::string(section.heading) + "\n";
    for (const OptionSpec& entry : kOptions) {
      const bool here = section.modes == OptionSpec::Anywhere
                            ? entry.modes == OptionSpec::Anywhere
                            : (entry.modes & section.modes) == entry.modes;
      if (!here) {
        continue;
      }
      std::string left = "  " + std::string(entry.name);
      if (entry.argument != nullptr) {
        left += " " + std::string(entry.argument);
      }
      std::string help = entry.help;
      if (entry.defaultText != nullptr) {
        // On the last line when it fits in 80 columns, else on a line of its own.
        const std::string note = "(default " + std::string(entry.defaultText) + ")";
        const size_t lastLine = help.size() - (help.rfind('\n') + 1);
        help += (indent.size() + lastLine + 1 + note.size() <= 80 ? " " : "\n") + note;
      }
      std::string::size_type at = 0;
      for (bool first = true; at != std::string::npos; first = false) {
        const std::string::size_type end = help.find('\n', at);
        const std::string line = help.substr(at, end == std::string::npos ? end : end - at);
        if (first) {
          text += left.size() < indent.size() ? left + std::string(indent.size() - left.size(), ' ')
                                              : left + "\n" + indent;
        } else {
          text += indent;
        }
        text += line + "\n";
        at = end == std::string::npos ? end : end + 1;
      }
    }
  }
  text +=
      "\n"
      "Exit status: 0 done; 1 cannot run (no display, no OpenGL, unwritable output, window\n"
      "destroyed); 2 bad usage. A render or snapshot ended by a signal drops the file in\n"
      "progress, says so and ends by that signal (SIGQUIT and SIGXFSZ: status 128+N).\n";
  return text;
}
