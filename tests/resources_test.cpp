// Guards finding and checking the mask atlas, through the built program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <tuple>

#include "support/Program.h"

namespace {

// Guards the program against bad mask atlases: whatever the file found in the search, a render
// of 30 frames ends with status 0; a file that cannot serve as the atlas gives exactly one line
// that names it and the engine draws as without one, a file libjpeg decodes with a warning gives
// one line quoting libjpeg and is drawn with, and a usable one, however unusual, gives no line.
// A folder named with --resources must hold a usable atlas: else status 2 and one line.
using Make = std::function<void(const std::string& atlas)>;

// A width x height JPEG, grey, RGB or CMYK by `components`, in stripes 8 pixels wide: a mask
// in every cell, and in any picture smaller than one.
Make jpegFile(int width, int height, int components = 1, bool progressive = false) {
  return [=](const std::string& atlas) {
    std::vector<std::uint8_t> row(static_cast<size_t>(width) * components);
    for (size_t sample = 0; sample < row.size(); sample++) {
      row[sample] = sample / components % 16 < 8 ? 255 : 0;
    }
    ASSERT_TRUE(writeJpeg(atlas, width, height, components, row, progressive)) << atlas;
  };
}

Make bytesFile(const std::string& content) {
  return [=](const std::string& atlas) { ASSERT_TRUE(writeBytes(atlas, content)) << atlas; };
}

// Each file goes into a folder of its own for a copy of the program outside the build tree, so
// that only that folder and the copy's own share/vantor are searched: the build tree's atlas
// would stand in for a missing one. The unreadable file's case runs as nobody when root, for whom
// no file is unreadable.
TEST(Atlas, EachFileRendersWithOneLineWhenItCannotServe) {
  TemporaryFolder root;
  chmod(root.path().c_str(), 0755);
  const std::string program = root.path() + "/opt/bin/vantor", plain = root.path() + "/plain";
  std::filesystem::create_directories(root.path() + "/opt/bin");
  std::filesystem::copy_file(programPath(), program);
  jpegFile(512, 64)(plain);
  std::string truncated = readFile(plain), corrupt = truncated, junk = truncated;
  truncated.resize(truncated.size() / 2);
  std::fill(corrupt.begin() + 2, corrupt.begin() + 40, 0x5a);  // over its tables
  junk.insert(junk.size() - 2, std::string(32, 'j'));          // before the end marker
  enum Outcome { Refused, Warned, Usable };
  // The name, what becomes of the file, and for Warned what libjpeg says.
  const std::tuple<const char*, Outcome, const char*, Make> cases[] = {
      {"missing", Refused, "", [](const std::string&) {}},  // first: drawn without masks
      {"empty", Refused, "", bytesFile("")},
      {"text", Refused, "", bytesFile("hi\n")},
      {"truncated", Warned, "Premature end of JPEG file", bytesFile(truncated)},
      {"junk", Warned, "extraneous bytes before marker 0xd9", bytesFile(junk)},
      {"corrupt-header", Refused, "", bytesFile(corrupt)},
      {"unreadable", Refused, "",
       [](const std::string& atlas) {
         jpegFile(512, 64)(atlas);
         chmod(atlas.c_str(), 0);
       }},
      {"progressive", Usable, "", jpegFile(512, 64, 1, true)},
      {"cmyk", Refused, "", jpegFile(512, 64, 4)},
      {"1x1", Refused, "", jpegFile(1, 1)},
      {"8192x8192", Usable, "", jpegFile(8192, 8192)},
      {"30x30", Refused, "", jpegFile(30, 30)},
      {"colour", Refused, "", jpegFile(512, 64, 3)},
      {"folder", Refused, "", [](const std::string& atlas) { mkdir(atlas.c_str(), 0755); }},
      // Beyond any sane atlas; and a pipe, which must not be opened (that would block).
      {"16400x64", Refused, "", jpegFile(16400, 64)},
      {"pipe", Refused, "", [](const std::string& atlas) { mkfifo(atlas.c_str(), 0644); }},
  };
  std::string withoutMasks;
  for (const auto& [name, outcome, quote, make] : cases) {
    SCOPED_TRACE(name);
    const std::string folder = root.path() + "/" + name;
    std::filesystem::create_directories(folder + "/frames");
    chmod(folder.c_str(), 0755);
    chmod((folder + "/frames").c_str(), 0777);  // for nobody
    make(folder + "/DiscMasks.jpg");
    // Only where it matters: as nobody, the sanitizer build takes longer over each run.
    auto asNeeded = [&](const Arguments& command) {
      return name == std::string("unreadable") ? asUser(command) : command;
    };
    const Arguments render = {program,  "--render", folder + "/frames", "--frames", "30",
                              "--size", "160x120",  "--seed",           "1000"};
    Exit done = run(asNeeded(render), {"VANTOR_RESOURCES=" + folder}, 120.0);
    EXPECT_EQ(done.status, 0) << done.err;
    // A slow run also reports its progress once a second: not a warning.
    const std::string warnings =
        std::regex_replace(done.err, std::regex("vantor: frame [^\n]*\n"), "");
    EXPECT_EQ(lineCount(warnings), outcome == Usable ? 0 : 1) << done.err;
    if (outcome != Usable) {
      EXPECT_EQ(warnings.rfind("vantor: ", 0), 0u) << done.err;
      EXPECT_NE(warnings.find(folder), std::string::npos) << done.err;
      EXPECT_NE(warnings.find(quote), std::string::npos) << quote << " in " << done.err;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder + "/frames"), {}), 30);
    // Renders are repeatable to the byte: the same file is the same picture.
    const std::string last = readFile(folder + "/frames/frame-00030.png");
    if (withoutMasks.empty()) {
      withoutMasks = last;
      ASSERT_FALSE(last.empty());
    } else if (outcome == Refused) {
      EXPECT_TRUE(last == withoutMasks) << "the engine was given the file anyway";
    } else {
      EXPECT_TRUE(last != withoutMasks) << "the masks were not used";
    }

    // Named on the command line, a folder without a usable atlas is a usage error.
    if (outcome == Refused) {
      Exit named = run(asNeeded({program, "--render", folder + "/named", "--resources", folder}),
                       {"VANTOR_RESOURCES"});
      EXPECT_EQ(std::pair(named.status, lineCount(named.err)), std::pair(2, 1L)) << named.err;
      EXPECT_EQ(
          named.err.rfind("vantor: --resources " + folder + ": " + folder + "/DiscMasks.jpg ", 0),
          0u)
          << named.err;
      EXPECT_FALSE(std::filesystem::exists(folder + "/named")) << "nothing written";
    }
  }
}

}  // namespace
