// Guards the program against bad mask atlases given through --resources: whatever the file, a
// render of 30 frames ends with status 0 and symmetric frames; a file that cannot serve as the
// atlas gives exactly one line that names it and the engine draws as without one, while a
// usable one, however unusual, gives no line and is drawn with.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/Process.h"

namespace {

using Make = std::function<void(const std::string& atlas)>;

// A width x height JPEG, grey, RGB or CMYK by `components`, striped in every 64x64 cell.
Make Jpeg(int width, int height, int components = 1, bool progressive = false) {
  return [=](const std::string& atlas) {
    std::vector<std::uint8_t> row(static_cast<size_t>(width) * components);
    for (size_t sample = 0; sample < row.size(); sample++) {
      row[sample] = sample / components % 64 < 32 ? 255 : 0;
    }
    ASSERT_TRUE(WriteJpeg(atlas, width, height, components, row, progressive)) << atlas;
  };
}

Make Bytes(const std::string& content) {
  return [=](const std::string& atlas) { ASSERT_TRUE(WriteBytes(atlas, content)) << atlas; };
}

// Each file goes into a folder of its own for a copy of the program outside the build tree, so
// that only --resources and the copy's own share/vantor are searched: the build tree's atlas
// would stand in for a missing one. Run as nobody when root, so that an unreadable file is one.
TEST(Atlas, EachFileRendersWithOneLineWhenItCannotServe) {
  TemporaryFolder root;
  chmod(root.path().c_str(), 0755);
  const std::string program = root.path() + "/opt/bin/vantor", usable = root.path() + "/usable";
  std::filesystem::create_directories(root.path() + "/opt/bin");
  std::filesystem::copy_file(programPath(), program);
  Jpeg(512, 64)(usable);
  std::string truncated = readFile(usable), corrupt = truncated;
  truncated.resize(truncated.size() / 2);
  std::fill(corrupt.begin() + 2, corrupt.begin() + 40, 0x5a);  // over its tables
  const struct {
    const char* name;
    bool usable;
    Make make;
  } cases[] = {
      {"missing", false, [](const std::string&) {}},  // first: drawn without masks
      {"empty", false, Bytes("")},
      {"text", false, Bytes("hi\n")},
      {"truncated", false, Bytes(truncated)},
      {"corrupt-header", false, Bytes(corrupt)},
      {"unreadable", false,
       [](const std::string& atlas) {
         Jpeg(512, 64)(atlas);
         chmod(atlas.c_str(), 0);
       }},
      {"progressive", true, Jpeg(512, 64, 1, true)},
      {"cmyk", false, Jpeg(512, 64, 4)},
      {"1x1", false, Jpeg(1, 1)},
      {"8192x8192", true, Jpeg(8192, 8192)},
      {"30x30", false, Jpeg(30, 30)},
      {"colour", false, Jpeg(512, 64, 3)},
      {"folder", false, [](const std::string& atlas) { mkdir(atlas.c_str(), 0755); }},
      // Beyond any sane atlas; and a pipe, which must not be opened (that would block).
      {"16400x64", false, Jpeg(16400, 64)},
      {"pipe", false, [](const std::string& atlas) { mkfifo(atlas.c_str(), 0644); }},
  };
  Frame withoutMasks;
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    const std::string folder = root.path() + "/" + each.name;
    std::filesystem::create_directories(folder + "/frames");
    chmod(folder.c_str(), 0755);
    chmod((folder + "/frames").c_str(), 0777);  // for nobody
    each.make(folder + "/DiscMasks.jpg");
    Exit done = run(AsUser({program, "--render", folder + "/frames", "--frames", "30", "--size",
                            "160x120", "--seed", "1000", "--resources", folder}),
                    {"VANTOR_RESOURCES"}, 120.0);
    EXPECT_TRUE(done.exited && done.status == 0) << done.status << " " << done.err;
    // A slow run also reports its progress once a second: not a warning.
    std::istringstream lines(done.err);
    std::string warnings;
    for (std::string line; std::getline(lines, line);) {
      warnings += line.rfind("vantor: frame ", 0) == 0 ? "" : line + "\n";
    }
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), each.usable ? 0 : 1) << done.err;
    if (!each.usable) {
      EXPECT_EQ(warnings.rfind("vantor: ", 0), 0u) << done.err;
      EXPECT_NE(warnings.find(folder), std::string::npos) << done.err;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder + "/frames"), {}), 30);
    Frame last;
    std::string error;
    EXPECT_TRUE(readPng(folder + "/frames/frame-00030.png", &last, &error)) << error;
    EXPECT_TRUE(IsSymmetricKaleidoscope(last));
    if (withoutMasks.rgb.empty()) {
      withoutMasks = last;
    } else if (each.usable) {
      EXPECT_TRUE(last.rgb != withoutMasks.rgb) << "the masks were not used";
    } else {
      EXPECT_TRUE(last.rgb == withoutMasks.rgb) << "the engine was given the file anyway";
    }
  }
}

}  // namespace
