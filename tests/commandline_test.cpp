#include <gtest/gtest.h>

#include <sstream>

#include "app/CommandLine.h"

namespace {

// The parse in one line: the error, or the mode with what the case is about.
std::string Parse(const std::vector<std::string>& arguments) {
  Options options;
  std::string error;
  if (!parseCommandLine(arguments, &options, &error)) {
    return "error: " + error;
  }
  std::ostringstream out;
  switch (options.mode) {
    case Options::Window:
      out << "window " << options.windowWidth << "x" << options.windowHeight;
      if (options.windowHasPosition) {
        out << " x " << options.windowX << (options.windowXFromRight ? " from right" : "") << " y "
            << options.windowY << (options.windowYFromBottom ? " from bottom" : "");
      }
      if (options.hasWindowId) {
        out << " id " << options.windowId;
      }
      out << " delay " << options.delayMicroseconds;
      break;
    case Options::Snapshot:
      out << "snapshot at " << options.atSeconds << " rate " << options.rate;
      break;
    default:
      out << "mode " << options.mode;
  }
  return out.str();
}

struct Case {
  std::vector<std::string> arguments;
  std::string expected;
};

void ExpectParses(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::string argv;
    for (const std::string& argument : c.arguments) {
      argv += " [" + argument + "]";
    }
    EXPECT_EQ(Parse(c.arguments), c.expected) << "argv:" << argv;
  }
}

const std::string kBadGeometry =
    "needs WIDTHxHEIGHT, optionally followed by +X+Y, -X-Y or a mix, not '";

// Every X geometry form places the window as X programs do; a minus offset counts from the far
// edge, "+-5" lies beyond the near one. Anything else is refused whole.
TEST(CommandLine, GeometryFormsAndBadGeometries) {
  ExpectParses({
      {{"-geometry", "640x480"}, "window 640x480 delay 33333"},
      {{"-geometry", "640x480+10+20"}, "window 640x480 x 10 y 20 delay 33333"},
      {{"-geometry", "640X480-10-20"},
       "window 640x480 x 10 from right y 20 from bottom delay 33333"},
      {{"-geometry", "64x48-0+7"}, "window 64x48 x 0 from right y 7 delay 33333"},
      {{"-geometry", "64x48+7-0"}, "window 64x48 x 7 y 0 from bottom delay 33333"},
      {{"-geometry", "64x48+-5+-5"}, "window 64x48 x -5 y -5 delay 33333"},
      {{"--geometry=64x48-3+-2"}, "window 64x48 x 3 from right y -2 delay 33333"},
      {{"-geometry", "64x48+10"}, "error: option '-geometry' " + kBadGeometry + "64x48+10'"},
      {{"-geometry", "64x48+1+2+3"}, "error: option '-geometry' " + kBadGeometry + "64x48+1+2+3'"},
      {{"-geometry", "64x48--5+0"}, "error: option '-geometry' " + kBadGeometry + "64x48--5+0'"},
      {{"-geometry", "64x48-+5+0"}, "error: option '-geometry' " + kBadGeometry + "64x48-+5+0'"},
      {{"-geometry", "64x48+ 5+0"}, "error: option '-geometry' " + kBadGeometry + "64x48+ 5+0'"},
      {{"-geometry", "+5+0"}, "error: option '-geometry' " + kBadGeometry + "+5+0'"},
      {{"-geometry", "0x48"}, "error: option '-geometry' " + kBadGeometry + "0x48'"},
      {{"--geometry", "64x"}, "error: option '--geometry' " + kBadGeometry + "64x'"},
  });
}

// Messages name each option as it was typed, with one dash or two, with or without "=value".
TEST(CommandLine, ErrorsNameTheOptionAsTyped) {
  ExpectParses({
      {{"-delay", "x"}, "error: option '-delay' needs microseconds from 0 to 10000000, not 'x'"},
      {{"--delay=x"}, "error: option '--delay' needs microseconds from 0 to 10000000, not 'x'"},
      {{"-geometry"}, "error: option '-geometry' needs a value"},
      {{"-fps=1"}, "error: option '-fps' takes no value"},
      {{"-bogus=1"}, "error: unknown option '-bogus'"},
      {{"-render", "out", "-geometry", "64x48"},
       "error: -geometry draws in a window and cannot be used with -render"},
      {{"-snapshot", "a.png", "-frames", "2"},
       "error: -frames belongs to --render; -snapshot takes --at SECONDS"},
      {{"-render", "out", "--snapshot=a.png"},
       "error: -render and --snapshot cannot be used together"},
      {{"-at", "3"}, "error: -at needs --render DIR or --snapshot FILE.png"},
      {{"-size", "8x8"}, "error: -size needs --render DIR or --snapshot FILE.png"},
      {{"-resources="}, "error: option '-resources' needs a folder, not ''"},
  });
}

// Plain decimal everywhere, fractions only where time is; window ids also in 0x hexadecimal.
TEST(CommandLine, OneNumberSyntax) {
  const std::string delay = "error: option '--delay' needs microseconds from 0 to 10000000, not '";
  const std::string at = "error: option '--at' needs seconds from 0 to 86400, not '";
  const std::string id =
      "error: option '--window-id' needs a window id (decimal or 0x "
      "hexadecimal), not '";
  ExpectParses({
      {{"--delay", "0010"}, "window 1024x768 delay 10"},
      {{"--delay", "0x10"}, delay + "0x10'"},
      {{"--delay", "1e3"}, delay + "1e3'"},
      {{"--delay", "+5"}, delay + "+5'"},
      {{"--delay", " 5"}, delay + " 5'"},
      {{"--delay", "5 "}, delay + "5 '"},
      {{"--delay", "99999999999999999999"}, delay + "99999999999999999999'"},
      {{"--seed", "-1"},
       "error: option '--seed' needs whole seconds from 0 to 2147483647, not '-1'"},
      {{"--snapshot", "a.png", "--at", "2.5", "--rate", "0.5"}, "snapshot at 2.5 rate 0.5"},
      {{"--snapshot", "a.png", "--at", "1e2"}, at + "1e2'"},
      {{"--snapshot", "a.png", "--at", "inf"}, at + "inf'"},
      {{"--snapshot", "a.png", "--at", "nan"}, at + "nan'"},
      {{"--snapshot", "a.png", "--at", "0x10"}, at + "0x10'"},
      {{"--snapshot", "a.png", "--at", "2."}, at + "2.'"},
      {{"--snapshot", "a.png", "--at", " 2"}, at + " 2'"},
      {{"--snapshot", "a.png", "--rate", "1e1"},
       "error: option '--rate' needs ticks per second from 0.001 to 10000, not '1e1'"},
      {{"--window-id", "0x1A"}, "window 1024x768 id 26 delay 33333"},
      {{"--window-id", "26"}, "window 1024x768 id 26 delay 33333"},
      {{"--window-id", "1e3"}, id + "1e3'"},
      {{"--window-id", "0x"}, id + "0x'"},
      {{"--window-id", "0x100000000"}, id + "0x100000000'"},
      {{"--window-id", "-0x5"}, id + "-0x5'"},
  });
}

}  // namespace
