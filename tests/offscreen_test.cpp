// Guards renders and snapshots through the built program: what they leave on disk, a snapshot
// equal to the rendered frame at its time, ranges of a render made apart equal to the whole,
// settings at their defaults changing no byte and half scale doubling every pixel, and the video
// stream as ffprobe and ffmpeg read it.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "support/FrameChecks.h"
#include "support/Program.h"

namespace {

// Guards what a render or snapshot leaves on disk, through the program: a file already there
// stays whole until a whole new one replaces it, nothing half-written or temporary is left
// behind, and a device is written in place (SafeFile's own tests take the other cases).

TEST(Files, SnapshotsReplaceWholeFilesAndWriteDevicesInPlace) {
  TemporaryFolder folder;
  const std::string file = folder.path() + "/shot.png";
  ASSERT_TRUE(writeBytes(file, "earlier work"));
  // Over the size limit the write stops with SIGXFSZ: the old file is kept, whole.
  Exit limited = Process(snapshotCommand(file), {}, [] {
                   rlimit limit = {200, 200};
                   setrlimit(RLIMIT_FSIZE, &limit);
                 }).wait(30.0);
  EXPECT_EQ(limited.status, 128 + SIGXFSZ) << limited.err;
  EXPECT_NE(limited.err.find("interrupted by SIGXFSZ (file size limit exceeded)"),
            std::string::npos)
      << limited.err;
  EXPECT_EQ(readFile(file), "earlier work");
  EXPECT_EQ(entriesOf(folder.path()), Arguments{"shot.png"});

  Exit replaced = run(snapshotCommand(file));
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(pngFrame(file).width, 64);
  EXPECT_EQ(entriesOf(folder.path()), Arguments{"shot.png"});

  Exit full = run(snapshotCommand("/dev/full"));
  EXPECT_EQ(std::pair(full.status, lineCount(full.err)), std::pair(1, 1L)) << full.err;
  EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

// A snapshot steps through the frames before its own without drawing them, and must still
// show exactly the frame a render draws at that time.
TEST(Files, SnapshotEqualsTheRenderedFrameAtItsTime) {
  TemporaryFolder folder;
  const Arguments common = {"--size", "64x48",      "--rate",      "10",
                            "--seed", "1700000000", "--resources", resourcesPath()};
  Exit rendered = run(
      vantorCommand({"--render", folder.path() + "/frames", "--frames", "201"}, common), {}, 120.0);
  Exit shot = run(vantorCommand({"--snapshot", folder.path() + "/at20.png", "--at", "20"}, common));
  ASSERT_EQ(rendered.status, 0) << rendered.err;
  ASSERT_EQ(shot.status, 0) << shot.err;
  EXPECT_EQ(shot.out, "vantor: wrote the frame at 20 s to " + folder.path() + "/at20.png\n");
  const std::string drawn = readFile(folder.path() + "/frames/frame-00201.png");
  const std::string skipped = readFile(folder.path() + "/at20.png");
  EXPECT_FALSE(drawn.empty());
  EXPECT_TRUE(drawn == skipped) << drawn.size() << " and " << skipped.size() << " bytes differ";
}

// The program's command line as one shell word each, for a pipeline.
std::string shellLine(const Arguments& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    line += " '" + argument + "'";
  }
  return line;
}

// Three ranges of a render, made at once by GNU parallel, fill one folder exactly as the whole
// render does; made as lossless videos and joined by ffmpeg's concat demuxer, they hold the
// whole render's frames.
TEST(Files, RangesRenderedAtOnceEqualTheWholeRender) {
  TemporaryFolder folder;
  const Arguments common = {"--frames", "300",  "--size",      "48x32",
                            "--seed",   "1000", "--resources", resourcesPath()};
  Exit whole = run(vantorCommand({"--render", folder.path() + "/whole", "--frames", "900", "--size",
                                  "48x32", "--seed", "1000", "--resources", resourcesPath()}),
                   {}, 120.0);
  ASSERT_EQ(whole.status, 0) << whole.err;
  const std::string ranges = "parallel -j 2" + shellLine(vantorCommand({"--render"})) +
                             " {1} --from {2}" + shellLine(common) + " ::: ";
  Exit parts = run({"/bin/sh", "-c",
                    "cd '" + folder.path() + "' && " + ranges + "parts ::: 0 10 20 && " + ranges +
                        "range-0.mkv range-10.mkv range-20.mkv :::+ 0 10 20"},
                   {}, 120.0);
  ASSERT_EQ(parts.status, 0) << parts.err;
  const std::vector<std::string> names = entriesOf(folder.path() + "/whole");
  ASSERT_EQ(names.size(), 900u);
  EXPECT_EQ(entriesOf(folder.path() + "/parts"), names);
  for (const std::string& name : names) {
    ASSERT_EQ(readFile(folder.path() + "/whole/" + name),
              readFile(folder.path() + "/parts/" + name))
        << name;
  }
  auto framesDigest = [&](const Arguments& input) {
    Arguments command = {"/usr/bin/ffmpeg", "-v", "error"};
    command.insert(command.end(), input.begin(), input.end());
    command.insert(command.end(), {"-pix_fmt", "rgb24", "-f", "md5", "-"});
    return run(command, {}, 60.0).out;
  };
  ASSERT_TRUE(writeBytes(folder.path() + "/ranges.txt",
                         "file 'range-0.mkv'\nfile 'range-10.mkv'\nfile 'range-20.mkv'\n"));
  const std::string joined = framesDigest({"-f", "concat", "-i", folder.path() + "/ranges.txt"});
  EXPECT_EQ(joined.rfind("MD5=", 0), 0u) << joined;
  EXPECT_EQ(joined, framesDigest({"-i", folder.path() + "/whole/frame-%05d.png"}));
}

// Every setting given at its default draws the bytes a plain render draws; at half scale a
// render is as symmetric, with every pixel doubled. (At 2 s this seed's mirrors are not gliding.)
TEST(Scale, RendersAreUnchangedAtTheDefaultsAndDoubledAtHalf) {
  TemporaryFolder folder;
  Frame frames[3];
  const Arguments settings[3] = {
      {}, {"--scale", "1", "--speed", "1", "--mirrors", "random"}, {"--scale", "0.5"}};
  for (int i = 0; i < 3; i++) {
    const std::string file = folder.path() + "/" + std::to_string(i) + ".png";
    Arguments arguments = {"--snapshot", file,     "--at", "2",           "--size",
                           "320x240",    "--seed", "1000", "--resources", resourcesPath()};
    arguments.insert(arguments.end(), settings[i].begin(), settings[i].end());
    Exit done = run(vantorCommand(arguments), {"DISPLAY"});
    ASSERT_EQ(done.status, 0) << done.err;
    frames[i] = pngFrame(file);
  }
  EXPECT_EQ(readFile(folder.path() + "/0.png"), readFile(folder.path() + "/1.png"));
  EXPECT_TRUE(isSymmetricKaleidoscope(frames[0]));
  EXPECT_EQ(std::pair(frames[2].width, frames[2].height), std::pair(320, 240));
  EXPECT_TRUE(isSymmetricKaleidoscope(frames[2]));
  EXPECT_EQ(doubledShare(frames[2], 240), 1.0);
}

// Guards the video stream: what ffprobe makes of it, frames that decode to the PNG frames of
// the same render within a stated tolerance, and a reader that stops early ending the program
// at once, quietly, as a broken pipe ends any writer.
TEST(Video, AStreamOfThePngFramesThatEndsWithItsReader) {
  TemporaryFolder folder;
  const Arguments options = {"--frames", "12",     "--size", "160x120",     "--rate",
                             "25",       "--seed", "1000",   "--resources", resourcesPath()};
  const std::string video = folder.path() + "/video.y4m";
  Exit streamed =
      run({"/bin/sh", "-c",
           shellLine(vantorCommand({"--render", "-"}, options)) + " > '" + video + "'"});
  ASSERT_EQ(streamed.status, 0) << streamed.err;
  ASSERT_EQ(run(vantorCommand({"--render", folder.path() + "/frames"}, options)).status, 0);
  Exit probe = run({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-show_entries",
                    "stream=width,height,r_frame_rate,nb_read_frames", "-of", "csv=p=0", video});
  EXPECT_EQ(probe.out, "160,120,25/1,12\n") << probe.err;

  // Frame 7 through ffmpeg, against frame-00007.png.
  EXPECT_GE(psnr(decodedFrame(video, 6, folder.path()),
                 pngFrame(folder.path() + "/frames/frame-00007.png")),
            40.0)
      << "dB";

  // A reader that takes a few bytes and goes: no message, the status of a broken pipe.
  Arguments endless = {"--render", "-", "--frames", "10000000", "--size", "64x48"};
  Exit early = run({"/bin/bash", "-c",
                    shellLine(vantorCommand(endless)) + " | head -c 1000 > /dev/null; "
                                                        "echo ${PIPESTATUS[0]}"},
                   {}, 20.0);
  EXPECT_EQ(early.out, "141\n");
  EXPECT_EQ(early.err, "");
}

}  // namespace
