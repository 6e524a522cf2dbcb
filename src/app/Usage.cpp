// The synopsis and --help, made from the option table.
#include "app/CommandLine.h"

std::string synopsisText() {
  const std::pair<unsigned, bool> ways[] = {
      {OwnWindow, true}, {GivenWindow, false}, {Layer, false}, {Render, false}, {Snapshot, false}};
  auto word = [](const OptionRow& row) {  // one unit for wrapping: \x1f is a space that holds
    return std::string(row.name) + (row.argument.empty() ? "" : "\x1f" + row.argument);
  };
  std::string text;
  for (const auto& [mode, optional] : ways) {
    std::string choosers, options;
    for (const OptionRow& row : kOptions) {
      if (row.chooses == mode) {
        choosers += (choosers.empty() ? "" : "\x1f|\x1f") + word(row);
      } else if (row.inSynopsis && (row.modes & mode) != 0 && row.modes != kAnywhere) {
        options += " [" + word(row) + "]";
      }
    }
    const std::string line = (optional ? "[" + choosers + "]" : choosers) + options;
    text +=
        wrapped(line, 80, text.empty() ? "usage: vantor " : "       vantor ", std::string(14, ' '));
  }
  std::string anywhere, alone;
  for (const OptionRow& row : kOptions) {
    if (row.modes == kAnywhere && row.inSynopsis) {
      anywhere += (anywhere.empty() ? "[" : " [") + word(row) + "]";
    } else if (row.modes == kAnywhere) {
      alone += (alone.empty() ? "" : " | ") + word(row);
    }
  }
  return text + "       vantor " + alone + "\n" +
         wrapped(anywhere, 80, "anywhere:     ", std::string(14, ' '));
}

std::string usageText() {
  std::string text = synopsisText() + "\n" +
                     wrapped(
                         "Vantor draws a kaleidoscope: in a window of its own, on the root "
                         "window, in a window given by id (as the xscreensaver daemon and its "
                         "settings dialog run it), on Wayland layers, or without any display "
                         "into PNG files, video files or a video stream.",
                         80, "", "");
  const std::pair<unsigned, const char*> sections[] = {
      {kWindows, "In a window:"},
      {kWithoutDisplay,
       "Without a display (a simulated clock: the same options write the same files):"},
      {kAnywhere, "Anywhere:"},
  };
  const std::string indent(21, ' ');
  for (const auto& [modes, heading] : sections) {
    text += "\n" + std::string(heading) + "\n";
    for (const OptionRow& row : kOptions) {
      const bool here = modes == kAnywhere ? row.modes == kAnywhere
                                           : row.modes != kAnywhere && (row.modes & ~modes) == 0;
      if (!here) {
        continue;
      }
      std::string left =
          "  " + std::string(row.name) + (row.argument.empty() ? "" : " " + row.argument);
      left = left.size() < indent.size() ? left + std::string(indent.size() - left.size(), ' ')
                                         : left + "\n" + indent;
      std::string notes = row.range.empty() ? "" : row.range;
      if (row.defaultText != nullptr) {
        notes += (notes.empty() ? "default " : "; default ") + std::string(row.defaultText);
      }
      text += wrapped(row.help + (notes.empty() ? "" : " (" + notes + ")"), 80, left, indent);
    }
  }
  return text + "\n" +
         wrapped(
             "Exit status: 0 done; 1 cannot run (no display, no OpenGL, unwritable output, "
             "window destroyed); 2 bad usage. A render or snapshot ended by a signal drops the "
             "file in progress, says so and ends by that signal (SIGQUIT and SIGXFSZ: status "
             "128+N).",
             80, "", "");
}
