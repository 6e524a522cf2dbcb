// Guards the command line's parser on its own, as a table of cases (argv in, the parse or the
// exact error line out), and the man page and settings file against the table of options.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include "app/CommandLine.h"

namespace {

// The parse in one line: the error, or the mode with what the case is about, and the settings
// that differ from their defaults.
std::string parse(const std::vector<std::string>& arguments) {
  Options options;
  std::string error;
  if (!parseCommandLine(arguments, &options, &error)) {
    return "error: " + error;
  }
  std::ostringstream out;
  switch (options.mode) {
    case Options::Window:
      out << "window " << options.window.width << "x" << options.window.height;
      if (options.window.hasPosition) {
        out << " x " << options.window.x << (options.window.xFromRight ? " from right" : "")
            << " y " << options.window.y << (options.window.yFromBottom ? " from bottom" : "");
      }
      out << (options.windowId ? " id " + std::to_string(*options.windowId) : "");
      out << " delay " << options.delayMicroseconds;
      break;
    case Options::Snapshot:
      out << "snapshot at " << options.atSeconds << " rate " << options.rate;
      break;
    default:
      out << "mode " << options.mode;
  }
  if (options.speed != 1.0) {
    out << " speed " << options.speed;
  }
  out << (options.mirrors != -1 ? " mirrors " + std::to_string(options.mirrors) : "");
  out << (options.glow ? " glow" : "");
  return out.str();
}

// Each case: the arguments, and their parse or the exact error line.
void expectParses(const std::vector<std::pair<std::vector<std::string>, std::string>>& cases) {
  for (const auto& [arguments, expected] : cases) {
    EXPECT_EQ(parse(arguments), expected) << "argv: " << ::testing::PrintToString(arguments);
  }
}

// Each of `values`, given to the last of `arguments`, is refused whole: the error names the
// option and what it `needs`.
void expectRefused(std::vector<std::string> arguments, const std::string& needs,
                   const std::vector<std::string>& values) {
  const std::string option = arguments.back();
  arguments.emplace_back();
  for (const std::string& value : values) {
    arguments.back() = value;
    EXPECT_EQ(parse(arguments),
              "error: option '" + option + "' needs " + needs + ", not '" + value + "'")
        << "argv: " << ::testing::PrintToString(arguments);
  }
}

const std::string kGeometry = "WIDTHxHEIGHT, optionally followed by +X+Y, -X-Y or a mix";

// Every X geometry form places the window as X programs do; a minus offset counts from the far
// edge, "+-5" lies beyond the near one. Anything else is refused whole.
TEST(CommandLine, GeometryFormsAndBadGeometries) {
  expectParses({
      {{"-geometry", "640x480"}, "window 640x480 delay 33333"},
      {{"-geometry", "640x480+10+20"}, "window 640x480 x 10 y 20 delay 33333"},
      {{"-geometry", "640X480-10-20"},
       "window 640x480 x 10 from right y 20 from bottom delay 33333"},
      {{"-geometry", "64x48-0+7"}, "window 64x48 x 0 from right y 7 delay 33333"},
      {{"-geometry", "64x48+7-0"}, "window 64x48 x 7 y 0 from bottom delay 33333"},
      {{"-geometry", "64x48+-5+-5"}, "window 64x48 x -5 y -5 delay 33333"},
      {{"--geometry=64x48-3+-2"}, "window 64x48 x 3 from right y -2 delay 33333"},
  });
  expectRefused(
      {"-geometry"}, kGeometry,
      {"64x48+10", "64x48+1+2+3", "64x48--5+0", "64x48-+5+0", "64x48+ 5+0", "+5+0", "0x48"});
  expectRefused({"--geometry"}, kGeometry, {"64x"});
}

// Messages name each option as it was typed, with one dash or two, with or without "=value".
TEST(CommandLine, ErrorsNameTheOptionAsTyped) {
  expectParses({
      {{"-delay", "x"}, "error: option '-delay' needs microseconds from 0 to 10000000, not 'x'"},
      {{"--delay=x"}, "error: option '--delay' needs microseconds from 0 to 10000000, not 'x'"},
      {{"-geometry"}, "error: option '-geometry' needs a value"},
      {{"-fps=1"}, "error: option '-fps' takes no value"},
      {{"-bogus=1"}, "error: unknown option '-bogus'"},
      {{"-render", "out", "-geometry", "64x48"},
       "error: -geometry draws in a window and cannot be used with -render"},
      {{"-snapshot", "a.png", "-frames", "2"},
       "error: -frames belongs to --render DIR and cannot be used with -snapshot"},
      {{"-render", "out", "-at", "2"},
       "error: -at belongs to --snapshot FILE.png and cannot be used with -render"},
      {{"-render", "out", "--snapshot=a.png"},
       "error: -render and --snapshot cannot be used together"},
      {{"-at", "3"}, "error: -at needs --snapshot FILE.png"},
      {{"--frames", "3"}, "error: --frames needs --render DIR"},
      {{"-size", "8x8"}, "error: -size needs --render DIR or --snapshot FILE.png"},
      // Options for one way to draw in a window are refused with another, not ignored.
      {{"--layer", "background", "-geometry", "64x48"},
       "error: -geometry belongs to a window of our own and cannot be used with --layer"},
      {{"--root", "--fullscreen"},
       "error: --fullscreen belongs to a window of our own and cannot be used with --root"},
      {{"--layer=overlay", "--window-id", "7"},
       "error: --layer and --window-id cannot be used together"},
      {{"--window-id", "7", "--root", "--x11"}, "window 1024x768 id 7 delay 33333"},
      {{"-resources="}, "error: option '-resources' needs a folder, not ''"},
      // Control characters are escaped: the message stays one line.
      {{"-a\nb"}, "error: unknown option '-a\\x0ab'"},
      {{"--delay", "1\n\t"},
       "error: option '--delay' needs microseconds from 0 to 10000000, not '1\\x0a\\x09'"},
  });
}

// Plain decimal everywhere, fractions only where time is; window ids also in 0x hexadecimal.
TEST(CommandLine, OneNumberSyntax) {
  expectParses({
      {{"--delay", "0010"}, "window 1024x768 delay 10"},
      {{"--snapshot", "a.png", "--at", "2.5", "--rate", "0.5"}, "snapshot at 2.5 rate 0.5"},
      {{"--window-id", "0x1A"}, "window 1024x768 id 26 delay 33333"},
      {{"--window-id", "26"}, "window 1024x768 id 26 delay 33333"},
  });
  expectRefused({"--delay"}, "microseconds from 0 to 10000000",
                {"0x10", "1e3", "+5", " 5", "5 ", "99999999999999999999"});
  expectRefused({"--seed"}, "whole seconds from 0 to 2147483647", {"-1"});
  expectRefused({"--snapshot", "a.png", "--at"}, "seconds from 0 to 2592000 (30 days)",
                {"1e2", "inf", "nan", "0x10", "2.", " 2"});
  expectRefused({"--snapshot", "a.png", "--rate"}, "ticks per second from 0.001 to 10000", {"1e1"});
  expectRefused({"--window-id"}, "a window id (decimal or 0x hexadecimal)",
                {"1e3", "0x", "0x100000000", "-0x5"});
}

// The settings are read as their table says: a speed within 0.25 to 4, an arrangement by its
// even copy count or "random", the glow as a switch, a scale within 0.25 to 1; none of them
// draws in a window only.
TEST(CommandLine, Settings) {
  expectParses({
      {{"--speed", "0.25", "--mirrors", "22", "--glow"},
       "window 1024x768 delay 33333 speed 0.25 mirrors 22 glow"},
      {{"--render", "out", "--speed=4", "--mirrors=random"}, "mode 1 speed 4"},
      {{"--glow=1"}, "error: option '--glow' takes no value"},
  });
  expectRefused({"--speed"}, "a speed from 0.25 to 4", {"4.5"});
  expectRefused({"--scale"}, "a decimal number from 0.25 to 1", {"0.2", "1.5", "1e0"});
  expectRefused({"--mirrors"}, "random or a copy count of 10, 12, 14, 16, 18, 20 or 22",
                {"11", "24"});
}

// A render's target decides what goes with it: --quality where it has a say, even sides for
// H.264, no more frames a second than browsers show; --from only with --render.
TEST(CommandLine, TheRenderTargetDecidesWhatGoesWithIt) {
  const std::string lossy = "error: --quality applies only to .mp4, .webm, .gif or .webp videos";
  expectParses({
      {{"--render", "a.MP4", "--quality", "high", "--from", "2.5", "--size", "2x2"}, "mode 1"},
      {{"--render", "a.webm", "--size", "641x481"}, "mode 1"},
      {{"--render", "a.mp4", "--size", "641x480"},
       "error: --size 641x480 cannot be used with a .mp4 video, whose colour is kept at half "
       "size: give even sides, such as 642x480"},
      {{"--render", "clips.mp4/", "--quality", "low"}, lossy + ", not to PNG frames"},
      {{"--render", "-", "--quality", "low"}, lossy + ", not to the YUV4MPEG2 stream"},
      {{"--render", "a.mkv", "--quality", "low"}, lossy + ", not to a lossless FFV1 video"},
      {{"--render", "a.gif", "--rate", "50.5"},
       "error: --rate 50.5 is too fast for a .gif, whose frames browsers show at their own pace "
       "only up to 50 a second; give a lower --rate"},
      {{"--snapshot", "a.png", "--from", "2"},
       "error: --from belongs to --render DIR and cannot be used with --snapshot"},
  });
}

// The option names a text mentions: "--name" or "-name", with troff's escaped dashes undone.
std::set<std::string> optionsIn(std::string text, const std::regex& where) {
  text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
  std::set<std::string> names;
  for (std::sregex_iterator it(text.begin(), text.end(), where), end; it != end; ++it) {
    names.insert((*it)[1].str());
  }
  return names;
}

// The synopsis is made from the table, with every way to run Vantor on a line of its own, and
// the README shows it as it is.
TEST(CommandLine, TheReadmeShowsTheSynopsisOfHelp) {
  std::ifstream readmeFile(VANTOR_SOURCE_DIR "/README.md");
  const std::string readme((std::istreambuf_iterator<char>(readmeFile)), {});
  const std::string synopsis = synopsisText();
  EXPECT_EQ(usageText().rfind(synopsis, 0), 0u);
  EXPECT_NE(readme.find("```\n" + synopsis + "```\n"), std::string::npos) << synopsis;
  for (const char* way :
       {"--root | --window-id ID", "--layer background|bottom|overlay [--output NAME]",
        "--render DIR|FILE|- [--frames N] [--from SECONDS]",
        "--snapshot FILE.png [--at SECONDS]"}) {
    EXPECT_NE(synopsis.find(way), std::string::npos) << way << " in\n" << synopsis;
  }
}

// --help is made from the table; the man page and xscreensaver's settings file are written by
// hand, so they are held against it: the man page describes every option and no other, and
// the settings file offers every setting and passes nothing the program does not take.
TEST(CommandLine, ManPageAndSettingsFileAgreeWithTheTable) {
  std::ifstream manFile(VANTOR_SOURCE_DIR "/packaging/vantor.6");
  std::ifstream xmlFile(VANTOR_SOURCE_DIR "/packaging/vantor.xml");
  const std::string man((std::istreambuf_iterator<char>(manFile)), {});
  const std::string xml((std::istreambuf_iterator<char>(xmlFile)), {});
  ASSERT_FALSE(man.empty());
  ASSERT_FALSE(xml.empty());
  // Option headings are the lines after .TP (or .TQ) that start with a font macro.
  std::set<std::string> headings;
  for (const std::string& line : optionsIn(man, std::regex(R"(\.T[PQ]\n(\.B[IR]? [^\n]*))"))) {
    headings.merge(optionsIn(line, std::regex(R"((-{1,2}[a-z][a-z0-9-]*))")));
  }
  const std::set<std::string> passed =
      optionsIn(xml, std::regex(R"(arg(?:-set|-unset)?="(-{1,2}[a-z][a-z0-9-]*))"));
  std::set<std::string> table, settings;
  for (const OptionRow& entry : kOptions) {
    table.insert(entry.name);
    if (entry.setting) {
      settings.insert(entry.name);
    }
  }
  EXPECT_EQ(headings, table) << "options described in the man page";
  std::set<std::string> unknown, missing;
  std::set_difference(passed.begin(), passed.end(), table.begin(), table.end(),
                      std::inserter(unknown, unknown.end()));
  std::set_difference(settings.begin(), settings.end(), passed.begin(), passed.end(),
                      std::inserter(missing, missing.end()));
  EXPECT_EQ(unknown, std::set<std::string>()) << "passed by the settings file, unknown here";
  EXPECT_EQ(missing, std::set<std::string>()) << "settings the settings file does not offer";
}

}  // namespace
