// Guards the flash analyser against pictures whose answer is known: flashes just under and
// just over each threshold of rate, area, luminance step, darker state and red, as the
// analyser counts them and as its program reports them from streams that ffmpeg writes; and
// bad input, which exits 2 with one line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <vector>

#include "FlashAnalyser.h"
#include "FlashReport.h"
#include "Process.h"

namespace {

using Picture = std::vector<std::uint32_t>;
using Painter = std::function<void(int frame, Picture& picture)>;

constexpr int kWidth = 96, kHeight = 72;  // a field is 32x24 of it

std::uint32_t Rgb(int r, int g, int b) { return r | g << 8 | b << 16; }
std::uint32_t Grey(int level) { return Rgb(level, level, level); }

// Frame n shows `a` or `b` in turn, `hertz` times a second each: a square flash.
bool SecondHalf(int frame, double hertz, double rate) {
  return static_cast<long>(std::floor(frame * 2.0 * hertz / rate)) % 2 == 1;
}
Painter Flash(double hertz, std::uint32_t a, std::uint32_t b, double rate = 30.0) {
  return [=](int frame, Picture& picture) {
    std::fill(picture.begin(), picture.end(), SecondHalf(frame, hertz, rate) ? b : a);
  };
}

struct Verdict {
  FlashReport::Worst general;
  FlashReport::Worst red;
  bool failed;
};

// Three seconds of what `paint` draws, analysed; the worst figures and whether any frame failed.
Verdict Analyse(const Painter& paint, double rate = 30.0) {
  FlashAnalyser analyser(kWidth, kHeight, rate);
  FlashReport report(rate, analyser.fieldWidth(), analyser.fieldHeight());
  Picture picture(kWidth * kHeight, 0);
  for (int frame = 0; frame < 3 * rate; frame++) {
    paint(frame, picture);
    report.add(analyser.analyse(picture.data()));
  }
  report.finish();
  return {report.worstGeneral(), report.worstRed(), report.failed()};
}

TEST(FlashThresholds, ThreeFlashesASecondPassAndFourFail) {
  for (double rate : {30.0, 60.0}) {
    const Verdict three = Analyse(Flash(3, Grey(0), Grey(188), rate), rate);
    const Verdict four = Analyse(Flash(4, Grey(0), Grey(188), rate), rate);
    EXPECT_EQ(three.general.field.share, 0.0) << rate << " fps";
    EXPECT_FALSE(three.failed) << rate << " fps";
    EXPECT_EQ(four.general.field.share, 1.0) << rate << " fps";
    EXPECT_TRUE(four.failed) << rate << " fps";
  }
  // A fade from black to white and back within the second changes direction twice, however
  // many small steps it takes.
  const Verdict fade = Analyse([](int frame, Picture& picture) {
    std::fill(picture.begin(), picture.end(), Grey(std::abs(frame % 30 - 15) * 17));
  });
  EXPECT_EQ(fade.general.field.share, 0.0);
}

TEST(FlashThresholds, AQuarterOfAFieldMayFlash) {
  // Ten flashes a second over a patch of a tenth of a field (77 of 768 pixels), then half.
  for (auto [patchWidth, patchHeight, fails] : {std::tuple{11, 7, false}, {16, 24, true}}) {
    const Painter patch = [&, w = patchWidth, h = patchHeight](int frame, Picture& picture) {
      std::fill(picture.begin(), picture.end(), Grey(0));
      for (int y = 40; y < 40 + h; y++) {
        std::fill_n(picture.begin() + y * kWidth + 60, w,
                    SecondHalf(frame, 10, 30) ? Grey(255) : 0);
      }
    };
    const Verdict verdict = Analyse(patch);
    EXPECT_NEAR(verdict.general.field.share, patchWidth * patchHeight / 768.0, 1e-9);
    EXPECT_EQ(verdict.failed, fails) << patchWidth << "x" << patchHeight;
    // The worst field holds the whole patch.
    const FieldShare& field = verdict.general.field;
    EXPECT_LE(field.x, 60);
    EXPECT_GE(field.x + 32, 60 + patchWidth);
    EXPECT_LE(field.y, 40);
    EXPECT_GE(field.y + 24, 40 + patchHeight);
  }
}

TEST(FlashThresholds, LuminanceStepsAndDarkerStates) {
  // Grey 91 has a relative luminance of 0.105; 122 is 0.090 above it, 128 0.111 above.
  EXPECT_EQ(Analyse(Flash(10, Grey(91), Grey(122))).general.field.share, 0.0);
  EXPECT_EQ(Analyse(Flash(10, Grey(91), Grey(128))).general.field.share, 1.0);
  // Greys 230 and 232 are 0.791 and 0.807, against white at 1.
  EXPECT_EQ(Analyse(Flash(10, Grey(230), Grey(255))).general.field.share, 1.0);
  EXPECT_EQ(Analyse(Flash(10, Grey(232), Grey(255))).general.field.share, 0.0);
}

TEST(FlashThresholds, RedFlashesBelowTheGeneralThreshold) {
  struct Case {
    std::uint32_t a, b;
    double red;
  };
  // Red against a grey of its luminance (0.213 and 0.212); a dark red against black, which
  // takes the white point's chromaticity; red against a darker red of the same chromaticity.
  for (const Case& c : {Case{Rgb(255, 0, 0), Grey(127), 1.0}, Case{Rgb(128, 0, 0), Grey(0), 1.0},
                        Case{Rgb(255, 0, 0), Rgb(220, 0, 0), 0.0}}) {
    const Verdict verdict = Analyse(Flash(10, c.a, c.b));
    EXPECT_EQ(verdict.general.field.share, 0.0) << std::hex << c.a << " against " << c.b;
    EXPECT_EQ(verdict.red.field.share, c.red) << std::hex << c.a << " against " << c.b;
    EXPECT_EQ(verdict.failed, c.red > 0.25) << std::hex << c.a << " against " << c.b;
  }
}

// The program, on files.
Exit Analyser(const Arguments& arguments) {
  Arguments command{VANTOR_FLASH};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return run(command);
}

std::string Write(const TemporaryFolder& folder, const std::string& name,
                  const std::string& bytes) {
  const std::string path = folder.path() + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// Three seconds at 64x48 as ffmpeg writes them in each layout and range from the same RGB: a
// black and white flash at three a second, a black second, then red against a grey of its
// luminance at ten a second. Only the red flash fails; in grey the red becomes a darker grey,
// and it is a general flash.
TEST(FlashProgram, ReadsWhatFfmpegWrites) {
  TemporaryFolder folder("vantor-flash");
  std::string rgb;
  for (int frame = 0; frame < 90; frame++) {
    const std::uint32_t colour = frame < 30   ? Grey(SecondHalf(frame, 3, 30) ? 255 : 0)
                                 : frame < 60 ? Grey(0)
                                 : SecondHalf(frame, 10, 30) ? Grey(127)
                                                             : Rgb(255, 0, 0);
    for (int i = 0; i < 64 * 48; i++) {
      rgb.append({char(colour & 0xff), char(colour >> 8 & 0xff), char(colour >> 16)});
    }
  }
  const std::string raw = Write(folder, "flash.rgb", rgb);
  const std::string red = "second 2: red flash over 1.000 of the field at 0,0";
  const std::string general = "second 2: general flash over 1.000 of the field at 0,0";
  const struct {
    const char* format;
    const char* filter;
    Arguments options;
    std::string line;
  } cases[] = {{"yuv444p", "null", {}, red},
               {"yuv422p", "null", {}, red},
               {"yuv420p", "null", {}, red},
               {"yuvj420p", "null", {}, red},
               {"yuv420p", "scale=out_color_matrix=bt709", {"--matrix", "709"}, red},
               {"gray", "null", {}, general}};
  for (const auto& c : cases) {
    const std::string y4m = folder.path() + "/" + c.format + ".y4m";
    const Exit made =
        run({"ffmpeg", "-v",     "error",    "-y",     "-f", "rawvideo",     "-pix_fmt",
             "rgb24",  "-s",     "64x48",    "-r",     "30", "-i",           raw,
             "-vf",    c.filter, "-pix_fmt", c.format, "-f", "yuv4mpegpipe", y4m});
    ASSERT_EQ(made.status, 0) << made.err;
    Arguments arguments = c.options;
    arguments.push_back(y4m);
    const Exit analysed = Analyser(arguments);
    EXPECT_EQ(analysed.status, 1) << c.format << ": " << analysed.err;
    EXPECT_EQ(analysed.out.substr(0, c.line.size()), c.line) << c.format;
    EXPECT_NE(analysed.out.find("90 frames: fails"), std::string::npos) << analysed.out;
  }
}

TEST(FlashProgram, BadInputAndBadOptionsExitTwoWithOneLine) {
  TemporaryFolder folder("vantor-flash");
  const std::string header = "YUV4MPEG2 W4 H2 F30:1 C444\n";
  const std::string frame = "FRAME\n" + std::string(24, '\x80');
  const std::pair<std::string, std::string> streams[] = {
      {"", "not a YUV4MPEG2 stream"},
      {"P6\n4 2\n255\n", "not a YUV4MPEG2 stream"},
      {"YUV4MPEG2 W4 F30:1\n", "lacks the frame's width (W), height (H) or rate (F)"},
      {"YUV4MPEG2 W4 H2 F30:0\n", "frame rate F30:0 is not a fraction"},
      {"YUV4MPEG2 W4 H2 F30:1 C420p10\n", "colour space C420p10 is not read"},
      {"YUV4MPEG2 W4000 H4000 F30:1\n", "larger than this analyser reads"},
      {header, "the stream holds no frames"},
      {header + frame + "FRAMES\n", "frame 2 does not begin with FRAME"},
      {header + frame + frame.substr(0, 20), "frame 2 is cut short: 14 of 24 bytes"},
  };
  for (const auto& [stream, reason] : streams) {
    const Exit exit = Analyser({Write(folder, "bad.y4m", stream)});
    EXPECT_EQ(exit.status, 2) << reason;
    EXPECT_EQ(exit.err.rfind("vantor-flash: " + folder.path() + "/bad.y4m: ", 0), 0u) << exit.err;
    EXPECT_NE(exit.err.find(reason), std::string::npos) << exit.err;
    EXPECT_EQ(std::count(exit.err.begin(), exit.err.end(), '\n'), 1) << exit.err;
  }
  const std::pair<Arguments, std::string> commands[] = {
      {{}, "no stream given"},
      {{"--matrix", "2020", "-"}, "option '--matrix' needs 601 or 709, not '2020'"},
      {{"--range"}, "option '--range' needs a value"},
      {{"--colours", "-"}, "unknown option '--colours'"},
      {{"a.y4m", "b.y4m"}, "one stream at a time"},
      {{folder.path() + "/missing.y4m"}, "cannot open it: No such file or directory"},
  };
  for (const auto& [arguments, reason] : commands) {
    const Exit exit = Analyser(arguments);
    EXPECT_EQ(exit.status, 2) << reason;
    EXPECT_NE(exit.err.find("vantor-flash: "), std::string::npos) << exit.err;
    EXPECT_NE(exit.err.find(reason), std::string::npos) << exit.err;
    EXPECT_EQ(std::count(exit.err.begin(), exit.err.end(), '\n'), 1) << exit.err;
  }
}

}  // namespace
