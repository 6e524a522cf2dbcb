#include "host/Say.h"

#include <unistd.h>

namespace {

bool lineOpen = false;  // sayInPlace left a line without its newline

}  // namespace

void say(const std::string& text, std::FILE* stream) {
  endInPlace();
  std::fprintf(stream, "vantor: %s\n", text.c_str());
  if (stream == stdout) {
    std::fflush(stdout);  // said now, not when the buffer fills
  }
}

std::string counted(long count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

void sayInPlace(const std::string& text, bool open) {
  if (isatty(STDERR_FILENO) != 1) {
    say(text);
    return;
  }
  std::fprintf(stderr, "\rvantor: %s%s", text.c_str(), open ? "" : "\n");
  lineOpen = open;
}

void endInPlace() {
  if (lineOpen) {
    std::fputc('\n', stderr);
    lineOpen = false;
  }
}
