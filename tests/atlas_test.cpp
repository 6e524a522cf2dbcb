// Guards the program against bad mask atlases given through --resources: whatever the file, a
// render of 30 frames ends with status 0 and symmetric frames; a file that cannot serve as the
// atlas gives exactly one line that names it, and the engine then draws without masks, while a
// usable one, however unusual, gives no line and is drawn with.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/Pictures.h"
#include "support/Process.h"
#include "support/Program.h"
#include "support/TestFiles.h"

namespace {

// A width x height JPEG in `space`: a white disc on black in every 64x64 cell.
void WriteDiscs(const std::string& path, int width, int height, J_COLOR_SPACE space,
                bool progressive = false) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  if (progressive) {
    jpeg_simple_progression(&cinfo);
  }
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(width) * cinfo.input_components);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int dy = static_cast<int>(cinfo.next_scanline % 64) - 32;
    for (size_t sample = 0; sample < row.size(); sample++) {
      const int dx = static_cast<int>(sample / cinfo.input_components % 64) - 32;
      row[sample] = dx * dx + dy * dy < 28 * 28 ? 255 : 0;
    }
    JSAMPROW rows = row.data();
    jpeg_write_scanlines(&cinfo, &rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  ASSERT_EQ(std::fclose(file), 0);
}

using Make = std::function<void(const std::string& atlas)>;

Make Jpeg(int width, int height, J_COLOR_SPACE space, bool progressive = false) {
  return [=](const std::string& atlas) { WriteDiscs(atlas, width, height, space, progressive); };
}

// A usable 512x64 atlas, changed by `damage`.
Make Damaged(std::function<void(std::vector<uint8_t>&)> damage) {
  return [=](const std::string& atlas) {
    WriteDiscs(atlas, 512, 64, JCS_GRAYSCALE);
    std::vector<uint8_t> bytes = ReadBytes(atlas);
    damage(bytes);
    WriteBytes(atlas, bytes);
  };
}

class Atlas : public ::testing::Test {
 protected:
  // A copy of the program outside the build tree, so that only --resources and the copy's
  // own share/vantor are searched: the build tree's atlas would stand in for a missing one.
  static void SetUpTestSuite() {
    root_ = new TemporaryFolder;
    chmod(root_->path().c_str(), 0755);
    program_ = root_->path() + "/opt/bin/vantor";
    std::filesystem::create_directories(root_->path() + "/opt/bin");
    ASSERT_EQ(run({"/bin/cp", programPath(), program_}).status, 0);
  }
  static void TearDownTestSuite() { delete root_; }

  // A fresh folder to hold the atlas, readable by anyone.
  std::string folder(const std::string& name) {
    std::string path = root_->path() + "/" + name;
    std::filesystem::create_directories(path + "/frames");
    chmod(path.c_str(), 0755);
    chmod((path + "/frames").c_str(), 0777);
    return path;
  }

  // Renders 30 frames with the atlas in `folder` (as `user`, when given) and checks what every
  // run must do. Returns the last frame.
  Frame render(const std::string& folder, bool usable, std::vector<std::string> user = {}) {
    std::vector<std::string> argv = {
        program_, "--render", folder + "/frames", "--frames", "30", "--size", "160x120",
        "--seed", "1000",     "--resources",      folder};
    argv.insert(argv.begin(), user.begin(), user.end());
    Exit done = run(argv, {"VANTOR_RESOURCES"}, 120.0);
    EXPECT_TRUE(done.exited && done.status == 0) << done.status << " " << done.err;
    EXPECT_EQ(std::count(done.err.begin(), done.err.end(), '\n'), usable ? 0 : 1) << done.err;
    if (!usable) {
      EXPECT_EQ(done.err.rfind("vantor: ", 0), 0u) << done.err;
      EXPECT_NE(done.err.find(folder), std::string::npos) << done.err;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder + "/frames"), {}), 30);
    Frame last;
    std::string error;
    EXPECT_TRUE(readPng(folder + "/frames/frame-00030.png", &last, &error)) << error;
    EXPECT_TRUE(IsSymmetricKaleidoscope(last));
    return last;
  }

  static TemporaryFolder* root_;
  static std::string program_;
};

TemporaryFolder* Atlas::root_ = nullptr;
std::string Atlas::program_;

TEST_F(Atlas, EachFileRendersWithOneLineWhenItCannotServe) {
  struct Case {
    const char* name;
    bool usable;
    Make make;
  };
  const std::vector<Case> cases = {
      {"missing", false, [](const std::string&) {}},
      {"empty", false, [](const std::string& atlas) { WriteBytes(atlas, {}); }},
      {"text", false,
       [](const std::string& atlas) {
         WriteBytes(atlas, {'h', 'i', '\n'});
       }},
      {"truncated", false, Damaged([](auto& bytes) { bytes.resize(bytes.size() / 2); })},
      {"corrupt-header", false,
       Damaged([](auto& bytes) { std::fill(bytes.begin() + 2, bytes.begin() + 40, 0x5a); })},
      {"progressive", true, Jpeg(512, 64, JCS_GRAYSCALE, true)},
      {"cmyk", false, Jpeg(512, 64, JCS_CMYK)},
      {"1x1", false, Jpeg(1, 1, JCS_GRAYSCALE)},
      {"8192x8192", true, Jpeg(8192, 8192, JCS_GRAYSCALE)},
      {"30x30", false, Jpeg(30, 30, JCS_GRAYSCALE)},
      {"colour", false, Jpeg(512, 64, JCS_RGB)},
      {"folder", false, [](const std::string& atlas) { mkdir(atlas.c_str(), 0755); }},
      // Beyond any sane atlas; and a pipe, which must not be opened (that would block).
      {"16400x64", false, Jpeg(16400, 64, JCS_GRAYSCALE)},
      {"pipe", false, [](const std::string& atlas) { mkfifo(atlas.c_str(), 0644); }},
  };
  Frame withoutMasks;
  for (const Case& each : cases) {
    SCOPED_TRACE(each.name);
    const std::string atlasFolder = folder(each.name);
    each.make(atlasFolder + "/DiscMasks.jpg");
    Frame last = render(atlasFolder, each.usable);
    if (withoutMasks.rgb.empty()) {
      withoutMasks = last;  // "missing" comes first
    } else if (each.usable) {
      EXPECT_TRUE(last.rgb != withoutMasks.rgb) << "the masks were not used";
    } else {
      EXPECT_TRUE(last.rgb == withoutMasks.rgb) << "the engine was given the file anyway";
    }
  }
}

TEST_F(Atlas, AnUnreadableFileRendersWithOneLine) {
  const std::string atlasFolder = folder("unreadable");
  WriteDiscs(atlasFolder + "/DiscMasks.jpg", 512, 64, JCS_GRAYSCALE);
  chmod((atlasFolder + "/DiscMasks.jpg").c_str(), 0);
  // Root reads whatever the mode says, so the program runs as nobody then.
  std::vector<std::string> user;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) {
      GTEST_SKIP() << "running as root without /usr/bin/setpriv: cannot make a file unreadable";
    }
    user = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  render(atlasFolder, false, user);
}

}  // namespace
