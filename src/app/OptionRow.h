// One row of the option table, typed as git's OPT_INTEGER is: a row states the option's name,
// the value it stores and where, the range a value must lie in, where the option may be used
// and its help, once; the help's range text and the error line's "needs" are made from it.
// Adding an option is adding one row to kOptions (app/CommandLine.cpp).
#pragma once

#include <functional>
#include <string>
#include <vector>

struct Options;

// The ways a run draws, as bits: where an option may be used, and which way it asks for.
enum RunMode : unsigned {
  OwnWindow = 1,    // a window of our own (X11 or Wayland): the default
  GivenWindow = 2,  // --root or --window-id (X11)
  Layer = 4,        // --layer (Wayland)
  Render = 8,       // --render
  Snapshot = 16,    // --snapshot
};
constexpr unsigned kWindows = OwnWindow | GivenWindow | Layer;
constexpr unsigned kWithoutDisplay = Render | Snapshot;
constexpr unsigned kAnywhere = kWindows | kWithoutDisplay;

struct OptionRow {
  const char* name = "";       // as --help shows it ("--root", "-geometry")
  std::string argument;        // what the value is called ("WxH"); empty for a switch
  unsigned modes = kAnywhere;  // where it may be used
  std::string help;            // one paragraph; --help wraps it
  std::string range;           // the values it takes, for --help ("0 to 10000000")
  std::string needs;           // the same for an error line ("microseconds from 0 to ...")
  // Stores a value as typed (empty for a switch); false when the value is not one it takes.
  std::function<bool(Options*, const std::string&)> store;

  const char* defaultText = nullptr;  // --help's "(default ...)"; null for none
  unsigned chooses = 0;               // the way it asks the run to draw, or 0
  bool setting = false;               // offered in xscreensaver's settings dialog (vantor.xml)
  bool inSynopsis = true;             // left out of the synopsis: accepted and ignored, or "no"

  // The same row with one more property: each returns the row, so that a row stays one
  // statement.
  OptionRow defaults(const char* text) const;
  OptionRow choosing(unsigned mode) const;
  OptionRow asSetting() const;
  OptionRow outOfSynopsis() const;
};

// A switch that sets `field` to `value`.
OptionRow switchRow(const char* name, bool Options::*field, unsigned modes, std::string help,
                    bool value = true);
// A whole number from `low` to `high`, `what` it counts ("a frame count"), into `field` (any
// integer type, or an optional one). `note` adds words to the range ("30 days").
template <typename Field>
OptionRow wholeRow(const char* name, const char* argument, Field Options::*field, long long low,
                   long long high, const char* what, unsigned modes, std::string help);
// A decimal number (digits, and a fraction after a point) from `low` to `high`, into `field`.
OptionRow decimalRow(const char* name, const char* argument, double Options::*field, double low,
                     double high, const char* what, unsigned modes, std::string help,
                     const char* note = nullptr);
// One of `values`, stored as given.
OptionRow choiceRow(const char* name, std::string Options::*field,
                    const std::vector<std::string>& values, unsigned modes, std::string help);
// A non-empty text (a path) into `field`; `what` it is ("a folder").
OptionRow textRow(const char* name, const char* argument, std::string Options::*field,
                  const char* what, unsigned modes, std::string help);
// A value of its own syntax: `needs` says what it must be, `store` reads and stores it.
OptionRow customRow(const char* name, const char* argument, std::string needs, unsigned modes,
                    std::string help, std::function<bool(Options*, const std::string&)> store);
// Accepted as xscreensaver hacks accept it, and ignored (with a value when `argument`).
OptionRow ignoredRow(const char* name, const char* argument, std::string help);

// Digits only, no sign or base, from `low` to `high`, into *value.
bool parseWhole(const std::string& text, long long low, long long high, long long* value);
// Digits with an optional point and more digits (no exponent, inf or nan), low to high.
bool parseDecimal(const std::string& text, double low, double high, double* value);
// A number as --help and the error lines give it: "0.25", "10000000".
std::string numberText(double value);
// "a, b or c".
std::string listed(const std::vector<std::string>& items, const char* last = " or ");

// `text` wrapped into lines of at most `width` columns, each after `indent` but the first,
// which goes after `first`; words longer than a line stand on their own. A unit separator
// (\x1f) joins two words that stay on one line, and is shown as a space.
std::string wrapped(const std::string& text, size_t width, const std::string& first,
                    const std::string& indent);

template <typename Field>
OptionRow wholeRow(const char* name, const char* argument, Field Options::*field, long long low,
                   long long high, const char* what, unsigned modes, std::string help) {
  OptionRow row;
  row.name = name;
  row.argument = argument;
  row.modes = modes;
  row.help = std::move(help);
  row.range = numberText(low) + " to " + numberText(high);
  row.needs = std::string(what) + " from " + row.range;
  row.store = [field, low, high](Options* options, const std::string& text) {
    long long value = 0;
    if (!parseWhole(text, low, high, &value)) {
      return false;
    }
    options->*field = static_cast<Field>(value);
    return true;
  };
  return row;
}
