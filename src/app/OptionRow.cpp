#include "app/OptionRow.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/CommandLine.h"

namespace {

// Digits only: no sign, no spaces, no base prefix.
bool allDigits(const std::string& text) {
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

}  // namespace

OptionRow OptionRow::defaults(const char* text) const {
  OptionRow row = *this;
  row.defaultText = text;
  return row;
}

OptionRow OptionRow::choosing(unsigned mode) const {
  OptionRow row = *this;
  row.chooses = mode;
  return row;
}

OptionRow OptionRow::asSetting() const {
  OptionRow row = *this;
  row.setting = true;
  return row;
}

OptionRow OptionRow::outOfSynopsis() const {
  OptionRow row = *this;
  row.inSynopsis = false;
  return row;
}

bool parseWhole(const std::string& text, long long low, long long high, long long* value) {
  if (!allDigits(text) || text.size() > 18) {
    return false;
  }
  const long long parsed = std::strtoll(text.c_str(), nullptr, 10);
  if (parsed < low || parsed > high) {
    return false;
  }
  *value = parsed;
  return true;
}

bool parseDecimal(const std::string& text, double low, double high, double* value) {
  const size_t point = text.find('.');
  if (!allDigits(text.substr(0, point)) ||
      (point != std::string::npos && !allDigits(text.substr(point + 1)))) {
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

std::string numberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

std::string listed(const std::vector<std::string>& items, const char* last) {
  std::string text;
  for (size_t i = 0; i < items.size(); i++) {
    text += (i == 0 ? "" : i + 1 == items.size() ? last : ", ") + items[i];
  }
  return text;
}

std::string wrapped(const std::string& text, size_t width, const std::string& first,
                    const std::string& indent) {
  std::string out = first;
  size_t column = first.size() - (first.rfind('\n') + 1);
  bool lineEmpty = true;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find(' ', at), text.size());
    const std::string word = text.substr(at, end - at);
    at = end + 1;
    if (word.empty()) {
      continue;
    }
    if (!lineEmpty && column + 1 + word.size() > width) {
      out += "\n" + indent;
      column = indent.size();
      lineEmpty = true;
    }
    out += (lineEmpty ? "" : " ") + word;
    column += (lineEmpty ? 0 : 1) + word.size();
    lineEmpty = false;
  }
  std::replace(out.begin(), out.end(), '\x1f', ' ');
  return out + "\n";
}

OptionRow switchRow(const char* name, bool Options::*field, unsigned modes, std::string help,
                    bool value) {
  return customRow(name, nullptr, "", modes, std::move(help),
                   [field, value](Options* options, const std::string&) {
                     options->*field = value;
                     return true;
                   });
}

OptionRow decimalRow(const char* name, const char* argument, double Options::*field, double low,
                     double high, const char* what, unsigned modes, std::string help,
                     const char* note) {
  OptionRow row = customRow(name, argument, "", modes, std::move(help),
                            [field, low, high](Options* options, const std::string& text) {
                              return parseDecimal(text, low, high, &(options->*field));
                            });
  row.range = numberText(low) + " to " + numberText(high);
  row.needs = std::string(what) + " from " + row.range +
              (note != nullptr ? " (" + std::string(note) + ")" : "");
  row.range += note != nullptr ? ", " + std::string(note) : "";
  return row;
}

OptionRow choiceRow(const char* name, std::string Options::*field,
                    const std::vector<std::string>& values, unsigned modes, std::string help) {
  std::string argument;
  for (const std::string& value : values) {
    argument += (argument.empty() ? "" : "|") + value;
  }
  OptionRow row = customRow(name, argument.c_str(), listed(values), modes, std::move(help),
                            [field, values](Options* options, const std::string& text) {
                              for (const std::string& value : values) {
                                if (text == value) {
                                  options->*field = text;
                                  return true;
                                }
                              }
                              return false;
                            });
  return row;  // the argument lists the values: no range besides
}

OptionRow textRow(const char* name, const char* argument, std::string Options::*field,
                  const char* what, unsigned modes, std::string help) {
  return customRow(name, argument, what, modes, std::move(help),
                   [field](Options* options, const std::string& text) {
                     options->*field = text;
                     return !text.empty();
                   });
}

OptionRow customRow(const char* name, const char* argument, std::string needs, unsigned modes,
                    std::string help, std::function<bool(Options*, const std::string&)> store) {
  OptionRow row;
  row.name = name;
  row.argument = argument != nullptr ? argument : "";
  row.modes = modes;
  row.help = std::move(help);
  row.needs = std::move(needs);
  row.store = std::move(store);
  return row;
}

OptionRow ignoredRow(const char* name, const char* argument, std::string help) {
  return customRow(name, argument, "", OwnWindow | GivenWindow, std::move(help),
                   [](Options*, const std::string&) { return true; })
      .outOfSynopsis();
}
