// Guards the JPEG texture loader on a real OpenGL context: what a grey or colour file turns
// into, row order and odd row lengths, and that every bad file or size fails with nothing
// left behind.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <vector>

#include "image/LoadJPEGMask.h"
#include "support/GlTest.h"
#include "support/TestFiles.h"

namespace {

using Loader = GlTest;

// White (grey) or red (colour) in the top rows or left columns, black or cyan elsewhere.
// Rows of 30 pixels are not a multiple of 4 bytes: under a 4-byte unpack alignment each row
// would shear a little more.
TEST_F(Loader, GreyIsAlphaColourIsRgbTopRowFirstAndAnyRowLengthUnskewed) {
  TemporaryFolder folder;
  for (auto [width, height, components, whiteRows, whiteColumns] :
       {std::array{512, 64, 1, 8, 0}, {30, 30, 1, 0, 16}, {30, 30, 3, 0, 16}}) {
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < width * height * components; i++) {
      const int x = i / components % width, y = i / components / width;
      pixels.push_back((i % components == 0) == (y < whiteRows || x < whiteColumns) ? 255 : 0);
    }
    const std::string path =
        folder.path() + "/" + std::to_string(components) + std::to_string(width);
    ASSERT_TRUE(writeJpeg(path, width, height, components, pixels));
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    TextureImage image = {};
    ASSERT_TRUE(LoadJPEGTexture(&image, path.c_str(), GL_ALPHA)) << path;
    EXPECT_EQ(integer(GL_UNPACK_ALIGNMENT), 4);  // the caller's pixel-store state stays
    EXPECT_EQ(std::tuple(image.bpp, image.width, image.height),
              std::tuple(8u * components, GLuint(width), GLuint(height)));
    EXPECT_EQ(image.imageData, nullptr) << path;
    GLint alpha = 0, red = 0, wrap = 0, filter = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alpha);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_RED_SIZE, &red);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    // Alpha or colour bits; repeat wrapping shows a cell index one past the strip as cell 0; no
    // mipmaps.
    EXPECT_EQ(std::tuple(alpha > 0, red > 0, wrap, filter),
              std::tuple(components == 1, components == 3, GL_REPEAT, GL_LINEAR))
        << path << ": alpha bits " << alpha << ", red bits " << red;
    const auto texels = boundTexels(components == 1 ? GL_ALPHA : GL_RGB, pixels.size());
    int wrong = 0;
    for (size_t i = 0; i < pixels.size(); i++) {
      // Colour is smoothed across the edge of the red columns, 15 | 16.
      wrong +=
          std::abs(texels[i] - pixels[i]) > 16 && (components == 1 || (i / 3 % 30 + 1) / 2 != 8);
    }
    EXPECT_EQ(wrong, 0) << path;
  }
}

// Every one refused before libjpeg sets memory aside for the picture: for a progressive file
// whose header claims 65474x65496 pixels, the coefficients of the whole picture, 8 GB.
TEST_F(Loader, BadFilesAndOversizedImagesFailFastWithNothingLeftBehind) {
  TemporaryFolder folder;
  const GLint limit = integer(GL_MAX_TEXTURE_SIZE);
  ASSERT_LT(limit + 8, 65474) << "too large for a JPEG; the limit cannot be exceeded";
  ASSERT_TRUE(writeBytes(folder.path() + "/text", std::string(300, 'k')));
  // Cut inside the tables, before any picture data.
  const std::string atlas = readFile(resourcesPath() + "/DiscMasks.jpg");
  ASSERT_TRUE(writeBytes(folder.path() + "/header", atlas.substr(0, 100)));
  ASSERT_TRUE(
      writeJpeg(folder.path() + "/wide", limit + 8, 8, 1, std::vector<std::uint8_t>(limit + 8)));
  std::filesystem::copy_file(VANTOR_SOURCE_DIR "/fuzz/corpus/huge-progressive-header.jpg",
                             folder.path() + "/huge");
  auto openFiles = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  const auto before = openFiles();
  rusage start, end;
  getrusage(RUSAGE_SELF, &start);
  for (const std::string name : {"/missing", "/text", "/header", "/wide", "/huge"}) {
    const std::string path = folder.path() + name;
    TextureImage image = {};
    testing::internal::CaptureStderr();  // libjpeg has its say
    EXPECT_FALSE(LoadJPEGTexture(&image, path.c_str(), GL_ALPHA)) << path;
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(image.texID, 0u) << path;
    EXPECT_EQ(image.imageData, nullptr) << path;
    EXPECT_EQ(openFiles(), before) << path;
  }
  getrusage(RUSAGE_SELF, &end);
  EXPECT_LT(end.ru_maxrss - start.ru_maxrss, 100 * 1024) << "kilobytes at the peak";
}

}  // namespace
