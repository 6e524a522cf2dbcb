// Guards the program against bad mask atlases given through --resources: whatever the file, a
// render of 30 frames ends with status 0 and symmetric frames; a file that cannot serve as the
// atlas gives exactly one line that names it and the engine draws as without one, while a
// usable one, however unusual, gives no line and is drawn with. And the engine's own loader
// refuses a huge header before libjpeg sets memory aside for it.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "image/LoadJPEGMask.h"
#include "support/GlTest.h"
#include "support/Pictures.h"
#include "support/Process.h"
#include "support/Program.h"
#include "support/TestFiles.h"

namespace {

using Make = std::function<void(const std::string& atlas)>;

// A width x height JPEG in `space`, striped in every 64x64 cell.
Make Jpeg(int width, int height, J_COLOR_SPACE space, bool progressive = false) {
  return [=](const std::string& atlas) {
    FILE* file = std::fopen(atlas.c_str(), "wb");
    ASSERT_NE(file, nullptr) << atlas;
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
    for (size_t sample = 0; sample < row.size(); sample++) {
      row[sample] = sample / cinfo.input_components % 64 < 32 ? 255 : 0;
    }
    for (JSAMPROW rows = row.data(); cinfo.next_scanline < cinfo.image_height;) {
      jpeg_write_scanlines(&cinfo, &rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    ASSERT_EQ(std::fclose(file), 0);
  };
}

class Atlas : public ::testing::Test {
 protected:
  // A copy of the program outside the build tree, so that only --resources and the copy's
  // own share/vantor are searched: the build tree's atlas would stand in for a missing one.
  static void SetUpTestSuite() {
    root_ = new TemporaryFolder;
    chmod(root_->path().c_str(), 0755);
    std::filesystem::create_directories(root_->path() + "/opt/bin");
    ASSERT_EQ(run({"/bin/cp", programPath(), program()}).status, 0);
  }
  static void TearDownTestSuite() { delete root_; }
  static std::string program() { return root_->path() + "/opt/bin/vantor"; }

  // Puts the atlas made by `make` in a folder of its own, renders 30 frames with it (with
  // `user` in front of the command, when given), checks what every run must do, and returns
  // the last frame.
  Frame render(const std::string& name, const Make& make, bool usable,
               std::vector<std::string> user = {}) {
    const std::string folder = root_->path() + "/" + name;
    std::filesystem::create_directories(folder + "/frames");
    chmod(folder.c_str(), 0755);
    chmod((folder + "/frames").c_str(), 0777);  // for nobody
    make(folder + "/DiscMasks.jpg");
    user.insert(user.end(), {program(), "--render", folder + "/frames", "--frames", "30", "--size",
                             "160x120", "--seed", "1000", "--resources", folder});
    Exit done = run(user, {"VANTOR_RESOURCES"}, 120.0);
    EXPECT_TRUE(done.exited && done.status == 0) << done.status << " " << done.err;
    // A slow run also reports its progress once a second: not a warning.
    std::istringstream lines(done.err);
    std::string warnings;
    for (std::string line; std::getline(lines, line);) {
      warnings += line.rfind("vantor: frame ", 0) == 0 ? "" : line + "\n";
    }
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), usable ? 0 : 1) << done.err;
    if (!usable) {
      EXPECT_EQ(warnings.rfind("vantor: ", 0), 0u) << done.err;
      EXPECT_NE(warnings.find(folder), std::string::npos) << done.err;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder + "/frames"), {}), 30);
    Frame last;
    std::string error;
    EXPECT_TRUE(readPng(folder + "/frames/frame-00030.png", &last, &error)) << error;
    EXPECT_TRUE(IsSymmetricKaleidoscope(last));
    return last;
  }

  static inline TemporaryFolder* root_ = nullptr;
};

TEST_F(Atlas, EachFileRendersWithOneLineWhenItCannotServe) {
  auto bytes = [](std::vector<uint8_t> content) {
    return [=](const std::string& atlas) { WriteBytes(atlas, content); };
  };
  const std::string usable = root_->path() + "/usable.jpg";
  Jpeg(512, 64, JCS_GRAYSCALE)(usable);
  std::vector<uint8_t> truncated = ReadBytes(usable);
  std::vector<uint8_t> corrupt = truncated;
  truncated.resize(truncated.size() / 2);
  std::fill(corrupt.begin() + 2, corrupt.begin() + 40, 0x5a);  // over its tables
  const struct {
    const char* name;
    bool usable;
    Make make;
  } cases[] = {
      {"missing", false, [](const std::string&) {}},  // first: drawn without masks
      {"empty", false, bytes({})},
      {"text", false, bytes({'h', 'i', '\n'})},
      {"truncated", false, bytes(truncated)},
      {"corrupt-header", false, bytes(corrupt)},
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
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    Frame last = render(each.name, each.make, each.usable);
    if (withoutMasks.rgb.empty()) {
      withoutMasks = last;
    } else if (each.usable) {
      EXPECT_TRUE(last.rgb != withoutMasks.rgb) << "the masks were not used";
    } else {
      EXPECT_TRUE(last.rgb == withoutMasks.rgb) << "the engine was given the file anyway";
    }
  }
}

TEST_F(Atlas, AnUnreadableFileRendersWithOneLine) {
  // Root reads whatever the mode says, so the program runs as nobody then.
  std::vector<std::string> user;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) {
      GTEST_SKIP() << "running as root without /usr/bin/setpriv: cannot make a file unreadable";
    }
    user = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  auto unreadable = [](const std::string& atlas) {
    Jpeg(512, 64, JCS_GRAYSCALE)(atlas);
    chmod(atlas.c_str(), 0);
  };
  render("unreadable", unreadable, false, user);
}

class AtlasLoader : public GlTest {};

TEST_F(AtlasLoader, RefusesAHeaderBeyondTheTextureLimitBeforeDecoding) {
  // A small progressive file whose header then claims 20000x20000 pixels: decoding would first
  // set aside the coefficients of the whole picture, 800 MB.
  GLint limit = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit);
  ASSERT_LT(limit, 20000) << "a driver that takes such textures: make the header larger";
  const std::string path = ::testing::TempDir() + "vantor-huge-header.jpg";
  Jpeg(16, 16, JCS_GRAYSCALE, true)(path);
  std::vector<uint8_t> bytes = ReadBytes(path);
  const uint8_t sof[] = {0xff, 0xc2};
  auto frame = std::search(bytes.begin(), bytes.end(), sof, sof + 2);
  ASSERT_NE(frame, bytes.end());
  frame[5] = frame[7] = 20000 >> 8;  // height, then width, big-endian
  frame[6] = frame[8] = 20000 & 0xff;
  ASSERT_TRUE(WriteBytes(path, bytes));

  rusage before;
  getrusage(RUSAGE_SELF, &before);
  TextureImage image = {};
  EXPECT_FALSE(LoadJPEGTexture(&image, path.c_str(), GL_ALPHA));
  EXPECT_EQ(image.texID, 0u);
  rusage after;
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024) << "kilobytes at the peak";
  std::remove(path.c_str());
}

}  // namespace
