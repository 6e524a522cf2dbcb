// Guards the frame sinks on pictures made in the test, without OpenGL: the names a PNG folder
// gives, the lines each sink says about a run that finished or was cut short, a snapshot that
// wants only its own frame, and the video stream's header and colours and a reader that goes
// away.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "host/PngSinks.h"
#include "host/VideoStream.h"
#include "support/Program.h"

namespace {

// A width x height picture of one colour.
RgbImage uniform(int width, int height, std::array<std::uint8_t, 3> colour) {
  RgbImage image{width, height, {}};
  for (int i = 0; i < width * height; i++) {
    image.rgb.insert(image.rgb.end(), colour.begin(), colour.end());
  }
  return image;
}

// A name depends on the frame's number alone, so that ranges rendered apart agree.
TEST(FrameSinks, FrameNamesWidenPastFiveDigits) {
  EXPECT_EQ(frameFileName(1), "frame-00001.png");
  EXPECT_EQ(frameFileName(100000), "frame-100000.png");
}

TEST(FrameSinks, APngFolderMakesItsFolderWritesEveryFrameAndSaysWhatItKept) {
  TemporaryFolder folder;
  const std::string out = folder.path() + "/out";
  PngFolder sink(out, 3);
  std::string error;
  ASSERT_TRUE(sink.prepare(&error)) << error;
  EXPECT_EQ(sink.kept(), "after 0 of 3 frames; no file was written");
  for (long frame = 1; frame <= 2; frame++) {
    EXPECT_TRUE(sink.wants(frame));
    ASSERT_TRUE(sink.write(frame, uniform(4, 2, {255, 0, 0}), -1, &error)) << error;
  }
  EXPECT_EQ(sink.kept(), "after 2 of 3 frames; the last whole file is " + out + "/frame-00002.png");
  ASSERT_TRUE(sink.write(3, uniform(4, 2, {0, 0, 255}), -1, &error)) << error;
  EXPECT_EQ(sink.finished(), "wrote 3 frames of 4x2 to " + out + "/");
  Frame last;
  ASSERT_TRUE(readPng(out + "/frame-00003.png", &last, &error)) << error;
  EXPECT_EQ(std::tuple(last.width, last.height, last.at(3, 1)[2]), std::tuple(4, 2, 255));
  PngFolder blocked(out + "/frame-00001.png", 1);
  EXPECT_FALSE(blocked.prepare(&error));
  EXPECT_EQ(
      error,
      "'" + out + "/frame-00001.png' is not a folder; give --render a folder you can write to");
}

TEST(FrameSinks, ASnapshotWantsOnlyItsFrameAndCountsTheSecondsBeforeIt) {
  TemporaryFolder folder;
  PngFile sink(folder.path() + "/shot.png", 61, 30.0, "the frame at 2 s");
  for (long frame = 1; frame <= 46; frame++) {
    ASSERT_FALSE(sink.wants(frame)) << frame;
  }
  EXPECT_EQ(sink.kept(), "after stepping 1.50 s towards the frame at 2 s; no file was written");
  EXPECT_TRUE(sink.wants(61));
  EXPECT_EQ(sink.kept(), "while writing the frame at 2 s; no file was written");
  std::string error;
  ASSERT_TRUE(sink.write(61, uniform(2, 2, {1, 2, 3}), -1, &error)) << error;
  EXPECT_EQ(sink.finished(), "wrote the frame at 2 s to " + folder.path() + "/shot.png");
  EXPECT_EQ(readFile(folder.path() + "/shot.png").substr(1, 3), "PNG");
}

TEST(FrameSinks, TheVideoStreamsHeaderAndColoursAndAReaderThatGoesAway) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  VideoStream sink(pipeFds[1], 29.97, 2);
  RgbImage whiteAndRed = uniform(2, 1, {255, 255, 255});
  whiteAndRed.rgb[4] = whiteAndRed.rgb[5] = 0;
  std::string error;
  ASSERT_TRUE(sink.write(1, whiteAndRed, -1, &error)) << error;
  std::string bytes(128, '\0');
  bytes.resize(static_cast<size_t>(read(pipeFds[0], &bytes[0], bytes.size())));
  // Full-range BT.601: white is Y 255 with neutral colour, red Y 76, Cb 85, Cr 255.
  EXPECT_EQ(bytes, std::string("YUV4MPEG2 W2 H1 F2997:100 Ip A1:1 C444 XCOLORRANGE=FULL\n") +
                       "FRAME\n\xff\x4c\x80\x55\x80\xff");
  EXPECT_EQ(sink.kept(), "after 1 of 2 frames; the stream holds 1 whole frame");
  close(pipeFds[0]);
  auto previous = std::signal(SIGPIPE, SIG_IGN);
  EXPECT_FALSE(sink.write(2, whiteAndRed, -1, &error));
  std::signal(SIGPIPE, previous);
  EXPECT_EQ(std::pair(sink.readerGone(), error),
            std::pair(true, std::string("cannot write the video to standard output: Broken pipe")));
  close(pipeFds[1]);
}

}  // namespace
