// Feeds arbitrary argument lists to the command-line parser (the input split at NUL bytes):
// whatever the words, it must return without crashing or overflowing, a refusal must be one
// line, and what it accepts must lie within the ranges the options promise.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

// Ends the run as a finding when `holds` is false.
void require(bool holds) {
  if (!holds) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments(1);
  for (std::size_t i = 0; i < size; i++) {
    if (data[i] == 0) {
      arguments.emplace_back();
    } else {
      arguments.back() += static_cast<char>(data[i]);
    }
  }
  Options options;
  std::string error;
  if (!parseCommandLine(arguments, &options, &error)) {
    require(!error.empty() && error.find('\n') == std::string::npos);
    return 0;
  }
  require(options.delayMicroseconds >= 0 && options.delayMicroseconds <= 10000000);
  require(options.scale == 0.0 || (options.scale >= 0.25 && options.scale <= 1.0));
  require(options.speed >= 0.25 && options.speed <= 4.0);
  require(options.mirrors == -1 || (options.mirrors >= 10 && options.mirrors <= 22));
  require(options.frames >= 1 && options.width >= 1 && options.height >= 1);
  require(options.rate >= 0.001 && options.rate <= 10000.0);
  require(options.atSeconds >= 0.0 && options.atSeconds <= 30 * 86400.0);
  require(options.window.width >= 1 && options.window.height >= 1);
  return 0;
}
