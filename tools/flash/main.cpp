// vantor-flash: checks a YUV4MPEG2 stream against WCAG 2.3.1's general-flash and red-flash
// thresholds. Exit status 0 when every frame passes, 1 when some frame fails, 2 for bad input
// or a bad command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "FlashAnalyser.h"
#include "FlashReport.h"
#include "Y4mReader.h"
#include "YuvToRgb.h"

namespace {

constexpr char kUsage[] =
    "Usage: vantor-flash [--matrix 601|709] [--range full|limited] [--each-frame] FILE|-\n"
    "\n"
    "Reads a YUV4MPEG2 stream from FILE, or from standard input for -, as\n"
    "`vantor --render -` and `ffmpeg ... -f yuv4mpegpipe -` write it, and checks every\n"
    "frame against WCAG 2.3.1's flash thresholds:\n"
    "  general flash: changes of relative luminance of at least 0.1, the darker state\n"
    "    below 0.8;\n"
    "  red flash (WCAG 2.2's working definition): changes to or from a saturated red\n"
    "    (red at least 0.8 of R+G+B) across more than 0.2 in CIE 1976 u'v'.\n"
    "A pixel flashes when the last second holds more than six such changes; a frame\n"
    "fails when flashing pixels fill more than a quarter of some field a third of the\n"
    "picture's width by a third of its height (341x256 at 1024x768).\n"
    "\n"
    "Prints one line for every second in which a frame fails (its kind, the worst share\n"
    "of a field, where that field's top left corner is and when), then a summary.\n"
    "\n"
    "  --matrix 601|709       the stream's colour matrix; BT.601 by default\n"
    "  --range full|limited   its range; by default as the header's XCOLORRANGE says,\n"
    "                         else limited (16..235)\n"
    "  --each-frame           also a line for every frame: its time and both shares\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 when every frame passes, 1 when some frame fails, 2 for bad input\n"
    "or a bad command line.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "vantor-flash: %s; see vantor-flash --help\n", problem.c_str());
  return 2;
}

int BadInput(const std::string& name, const std::string& problem) {
  std::fprintf(stderr, "vantor-flash: %s: %s\n", name.c_str(), problem.c_str());
  return 2;
}

struct Settings {
  std::string input;
  YuvMatrix matrix = YuvMatrix::Bt601;
  Y4mFormat::Range range = Y4mFormat::Unspecified;
  bool eachFrame = false;
};

// Reads the command line into *settings; returns -1 to go on, else the exit status.
int ParseArguments(const std::vector<std::string>& arguments, Settings* settings) {
  bool haveInput = false;
  for (std::size_t i = 0; i < arguments.size(); i++) {
    std::string argument = arguments[i];
    std::string value;
    const bool option = argument.size() > 1 && argument[0] == '-';
    const std::size_t equals = argument.find('=');
    if (option && equals != argument.npos) {
      value = argument.substr(equals + 1);
      argument.resize(equals);
    }
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument == "--version") {
      std::printf("vantor-flash %s\n", VANTOR_VERSION);
      return 0;
    }
    if (argument == "--each-frame") {
      settings->eachFrame = true;
    } else if (argument == "--matrix" || argument == "--range") {
      if (equals == std::string::npos) {
        if (i + 1 == arguments.size()) {
          return Usage("option '" + argument + "' needs a value");
        }
        value = arguments[++i];
      }
      if (argument == "--matrix" && (value == "601" || value == "709")) {
        settings->matrix = value == "601" ? YuvMatrix::Bt601 : YuvMatrix::Bt709;
      } else if (argument == "--range" && (value == "full" || value == "limited")) {
        settings->range = value == "full" ? Y4mFormat::Full : Y4mFormat::Limited;
      } else {
        return Usage("option '" + argument + "' needs " +
                     (argument == "--matrix" ? "601 or 709" : "full or limited") + ", not '" +
                     value + "'");
      }
    } else if (option) {
      return Usage("unknown option '" + arguments[i] + "'");
    } else if (haveInput) {
      return Usage("one stream at a time, not '" + argument + "' as well");
    } else {
      settings->input = argument;
      haveInput = true;
    }
  }
  if (!haveInput) {
    return Usage("no stream given (a file, or - for standard input)");
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  const int status = ParseArguments(std::vector<std::string>(argv + 1, argv + argc), &settings);
  if (status >= 0) {
    return status;
  }
  const bool standardInput = settings.input == "-";
  const std::string name = standardInput ? "standard input" : settings.input;
  std::FILE* in = standardInput ? stdin : std::fopen(settings.input.c_str(), "rb");
  if (in == nullptr) {
    return BadInput(name, std::string("cannot open it: ") + std::strerror(errno));
  }
  std::setvbuf(in, nullptr, _IOFBF, 1 << 20);

  Y4mReader reader(in);
  std::string error;
  if (!reader.readHeader(&error)) {
    return BadInput(name, error);
  }
  const Y4mFormat& format = reader.format();
  const Y4mFormat::Range range =
      settings.range != Y4mFormat::Unspecified ? settings.range : format.range;
  const YuvToRgb toRgb(settings.matrix, range == Y4mFormat::Full);
  FlashAnalyser analyser(format.width, format.height, format.rate());
  FlashReport report(format.rate(), analyser.fieldWidth(), analyser.fieldHeight());
  std::vector<std::uint32_t> rgb(static_cast<std::size_t>(format.width) * format.height);

  Y4mReader::Result result;
  while ((result = reader.readFrame(&error)) == Y4mReader::Frame) {
    toRgb.convert(reader, rgb.data());
    const FrameFlashes flashes = analyser.analyse(rgb.data());
    if (settings.eachFrame) {
      std::printf("frame %ld (%.2f s): general %.3f at %d,%d; red %.3f at %d,%d\n",
                  reader.framesRead() - 1, (reader.framesRead() - 1) / format.rate(),
                  flashes.general.share, flashes.general.x, flashes.general.y, flashes.red.share,
                  flashes.red.x, flashes.red.y);
    }
    std::fputs(report.add(flashes).c_str(), stdout);
  }
  if (result == Y4mReader::Bad) {
    std::fflush(stdout);
    return BadInput(name, error);
  }
  if (reader.framesRead() == 0) {
    return BadInput(name, "the stream holds no frames");
  }
  std::fputs(report.finish().c_str(), stdout);
  if (std::fflush(stdout) != 0) {
    std::fprintf(stderr, "vantor-flash: cannot write the report: %s\n", std::strerror(errno));
    return 2;
  }
  return report.failed() ? 1 : 0;
}
