// Guards video files through the built program: each format as ffprobe reads it (codec, colour
// tags, frames), its frames against their PNG twins, animations that loop forever, and a render
// cut short that keeps the target as it was and the frames done apart.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "support/Program.h"

namespace {

// ffprobe's line for the video stream of `video`: codec, profile, pixels, range, matrix,
// transfer, primaries and the frames it decodes.
std::string probe(const std::string& video) {
  return run({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", "v",
              "-show_entries",
              "stream=codec_name,profile,pix_fmt,color_range,color_space,color_transfer,"
              "color_primaries,nb_read_frames",
              "-of", "csv=p=0", video})
      .out;
}

// H.264 is tagged BT.709 from 1280x720 up and BT.601 below; FFV1 keeps every byte; GIF and WebP
// loop forever. Frame 5 of each, decoded, against frame-00005.png: at 320x240 colour at half
// size alone costs 4:2:0 down to 35 dB on the kaleidoscope's sharp coloured edges.
TEST(VideoFiles, EachFormatPlaysAsItsTagsSayAndAnimationsLoop) {
  TemporaryFolder folder;
  struct Case {
    const char* name;
    const char* size;
    const char* probe;
    double leastPsnr;
  };
  const Case cases[] = {
      {"hd.mp4", "1280x720", "h264,High,yuv420p,tv,bt709,bt709,bt709,6\n", 35.0},
      {"sd.mp4", "320x240", "h264,High,yuv420p,tv,smpte170m,smpte170m,smpte170m,6\n", 28.0},
      {"vp9.webm", "320x240", "vp9,Profile 0,yuv420p,tv,smpte170m,smpte170m,smpte170m,6\n", 28.0},
      {"lossless.mkv", "320x240", "ffv1,unknown,bgr0,pc,gbr,iec61966-2-1,bt709,6\n", 99.0},
      {"loop.gif", "320x240", "gif,unknown,bgra,unknown,unknown,unknown,unknown,6\n", 35.0},
      {"loop.webp", "320x240", "", 0.0},  // this ffmpeg reads no animated WebP
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Arguments options = {"--frames", "6",    "--size",      c.size,
                               "--seed",   "1000", "--resources", resourcesPath()};
    const std::string video = folder.path() + "/" + c.name, twins = video + "-frames";
    Exit made = run(vantorCommand({"--render", video}, options), {}, 60.0);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(
        made.out.rfind("vantor: wrote 6 frames of " + std::string(c.size) + " to " + video, 0), 0u)
        << made.out;
    if (c.leastPsnr > 0.0) {
      ASSERT_EQ(run(vantorCommand({"--render", twins}, options), {}, 60.0).status, 0);
      EXPECT_EQ(probe(video), c.probe);
      EXPECT_GE(psnr(decodedFrame(video, 4, folder.path()), pngFrame(twins + "/frame-00005.png")),
                c.leastPsnr)
          << "dB";
    }
  }
  // The index first, so that a browser plays the file as it arrives.
  const std::string mp4 = readFile(folder.path() + "/hd.mp4");
  EXPECT_LT(mp4.find("moov"), mp4.find("mdat"));
  // GIF: NETSCAPE2.0's loop count 0. WebP: the animation chunk's loop count 0, and six frames.
  const std::string gif = readFile(folder.path() + "/loop.gif");
  EXPECT_NE(gif.find(std::string("NETSCAPE2.0\x03\x01\x00\x00", 15)), std::string::npos);
  const std::string webp = readFile(folder.path() + "/loop.webp");
  const size_t anim = webp.find(std::string("ANIM\x06\0\0\0", 8));
  ASSERT_NE(anim, std::string::npos);
  EXPECT_EQ(webp.substr(anim + 12, 2), std::string(2, '\0'));
  int frames = 0;
  for (size_t at = webp.find("ANMF"); at != std::string::npos; at = webp.find("ANMF", at + 4)) {
    frames++;
  }
  EXPECT_EQ(frames, 6);
}

// Cut short, a video render leaves the file it would replace as it was, and keeps the frames
// done as a shorter video under a name that replaces nothing either. A format that must seek
// back is not written into a FIFO.
TEST(VideoFiles, AnInterruptedRenderLeavesTheTargetAndKeepsTheFramesDoneApart) {
  TemporaryFolder folder;
  const std::string target = folder.path() + "/out.mp4";
  ASSERT_TRUE(writeBytes(target, "earlier work"));
  ASSERT_TRUE(writeBytes(folder.path() + "/out.partial.mp4", "an earlier partial"));
  Process vantor(vantorCommand({"--render", target, "--frames", "100000", "--size", "64x48",
                                "--resources", resourcesPath()}));
  EXPECT_TRUE(eventually([&] { return entriesOf(folder.path()).size() == 3; }, 20.0));
  sleepFor(0.5);
  vantor.signal(SIGINT);
  Exit done = vantor.wait(20.0);
  EXPECT_EQ(done.signal, SIGINT) << done.err;
  std::smatch kept;
  ASSERT_TRUE(std::regex_search(
      done.err, kept,
      std::regex("vantor: interrupted by SIGINT \\([a-z: ]+\\) after ([0-9]+) of 100000 frames; " +
                 target + " is left as it was, and the [0-9]+ frames done are in " + folder.path() +
                 "/out.partial-2.mp4\n$")))
      << done.err;
  EXPECT_EQ(readFile(target), "earlier work");
  EXPECT_EQ(readFile(folder.path() + "/out.partial.mp4"), "an earlier partial");
  EXPECT_EQ(probe(folder.path() + "/out.partial-2.mp4"),
            "h264,High,yuv420p,tv,smpte170m,smpte170m,smpte170m," + kept[1].str() + "\n");

  const std::string fifo = folder.path() + "/pipe.mp4";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  Exit refused = run(vantorCommand({"--render", fifo, "--frames", "1", "--size", "64x48"}));
  EXPECT_EQ(std::pair(refused.status, lineCount(refused.err)), std::pair(1, 1L)) << refused.err;
  EXPECT_NE(refused.err.find("use --render - for a pipe"), std::string::npos) << refused.err;
}

}  // namespace
