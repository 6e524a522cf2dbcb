// Guards the JPEG texture loader on a real OpenGL context: what a grey or colour file turns
// into, row order and odd row lengths, and that every bad file, size or shortage of memory
// fails with nothing left behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/LoadJPEGMask.h"
#include "support/AllocationCounter.h"
#include "support/GlTest.h"
#include "support/TestFiles.h"

namespace {

GLint TextureLevel(GLenum what) {
  GLint value = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, what, &value);
  return value;
}

GLint TextureParameter(GLenum what) {
  GLint value = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, what, &value);
  return value;
}

// The bound texture's level 0 in `format`, tightly packed, texel row 0 first.
std::vector<std::uint8_t> BoundTexels(GLenum format, int width, int height, int components) {
  std::vector<std::uint8_t> texels(static_cast<size_t>(width) * height * components);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, texels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  return texels;
}

class Loader : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    folder_ = MakeScratchFolder();
  }
  void TearDown() override {
    for (GLuint texture : made_) {
      glDeleteTextures(1, &texture);
    }
    RemoveFolder(folder_);
  }

  // Loads `path` into a zero-filled record, remembering any texture for clean-up.
  bool load(const std::string& path, TextureImage* image) {
    *image = TextureImage{};
    bool loaded = LoadJPEGTexture(image, path.c_str(), GL_ALPHA);
    if (image->texID != 0) {
      made_.push_back(image->texID);
    }
    return loaded;
  }

  // A grey image, black but for the given rows and columns, which are white.
  std::string greyFile(const char* name, int width, int height, int whiteRows, int whiteColumns) {
    std::vector<std::uint8_t> pixels(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; y++) {
      for (int x = 0; x < width; x++) {
        if (y < whiteRows || x < whiteColumns) {
          pixels[static_cast<size_t>(y) * width + x] = 255;
        }
      }
    }
    std::string path = folder_ + "/" + name;
    EXPECT_TRUE(WriteJpeg(path, width, height, 1, pixels));
    return path;
  }

  // A grey image of noise, so that most of the file is picture data rather than tables.
  std::string noiseFile(const char* name, int width, int height) {
    std::vector<std::uint8_t> pixels(static_cast<size_t>(width) * height);
    std::uint32_t state = 12345;
    for (std::uint8_t& pixel : pixels) {
      state = state * 1664525u + 1013904223u;
      pixel = static_cast<std::uint8_t>(state >> 24);
    }
    std::string path = folder_ + "/" + name;
    EXPECT_TRUE(WriteJpeg(path, width, height, 1, pixels));
    return path;
  }

  std::string folder_;
  std::vector<GLuint> made_;
};

TEST_F(Loader, GreyFileBecomesAnAlphaMaskWithTheFilesTopRowAtRowZero) {
  TextureImage image;
  ASSERT_TRUE(load(greyFile("grey.jpg", 512, 64, 8, 0), &image));
  EXPECT_EQ(image.bpp, 8u);
  EXPECT_EQ(image.width, 512u);
  EXPECT_EQ(image.height, 64u);
  EXPECT_EQ(image.imageData, nullptr);
  ASSERT_NE(image.texID, 0u);

  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), image.texID);
  EXPECT_EQ(TextureLevel(GL_TEXTURE_WIDTH), 512);
  EXPECT_GT(TextureLevel(GL_TEXTURE_ALPHA_SIZE), 0);
  EXPECT_EQ(TextureLevel(GL_TEXTURE_RED_SIZE), 0);
  // Repeat wrapping, which shows a cell index one past the strip as cell 0; no mipmaps.
  EXPECT_EQ(TextureParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
  EXPECT_EQ(TextureParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);

  std::vector<std::uint8_t> alpha = BoundTexels(GL_ALPHA, 512, 64, 1);
  EXPECT_GE(alpha[0], 250);
  EXPECT_GE(alpha[511], 250);
  EXPECT_LE(alpha[63 * 512], 5);
  EXPECT_LE(alpha[63 * 512 + 511], 5);
}

TEST_F(Loader, ColourFileBecomesAnRgbTexture) {
  std::vector<std::uint8_t> pixels;
  for (int y = 0; y < 64; y++) {
    for (int x = 0; x < 64; x++) {
      bool top = y < 32;
      pixels.insert(pixels.end(), {std::uint8_t(top ? 255 : 0), 0, std::uint8_t(top ? 0 : 255)});
    }
  }
  std::string path = folder_ + "/colour.jpg";
  ASSERT_TRUE(WriteJpeg(path, 64, 64, 3, pixels));

  TextureImage image;
  ASSERT_TRUE(load(path, &image));
  EXPECT_EQ(image.bpp, 24u);
  EXPECT_EQ(image.width, 64u);
  EXPECT_EQ(image.height, 64u);
  EXPECT_GT(TextureLevel(GL_TEXTURE_RED_SIZE), 0);
  EXPECT_EQ(TextureLevel(GL_TEXTURE_ALPHA_SIZE), 0);
  std::vector<std::uint8_t> rgb = BoundTexels(GL_RGB, 64, 64, 3);
  EXPECT_GE(rgb[0], 240);  // texel row 0 is the file's red top
  EXPECT_LE(rgb[2], 15);
  EXPECT_LE(rgb[63 * 64 * 3], 15);  // the last row is blue
  EXPECT_GE(rgb[63 * 64 * 3 + 2], 240);
}

// 30 bytes a row: with a 4-byte unpack alignment every row would be sheared a little more.
TEST_F(Loader, RowsOfAnyLengthUploadUnskewed) {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  TextureImage image;
  ASSERT_TRUE(load(greyFile("narrow.jpg", 30, 30, 0, 8), &image));
  std::vector<std::uint8_t> alpha = BoundTexels(GL_ALPHA, 30, 30, 1);
  for (int y = 0; y < 30; y++) {
    EXPECT_GE(alpha[y * 30 + 3], 240) << "row " << y;
    EXPECT_LE(alpha[y * 30 + 20], 15) << "row " << y;
  }

  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4);  // the caller's pixel-store state is left as it was
}

TEST_F(Loader, UnreadableFilesFailWithNothingLeftBehind) {
  std::vector<std::uint8_t> bytes = ReadBytes(noiseFile("good.jpg", 64, 64));
  ASSERT_GT(bytes.size(), 1000u);

  std::string text = folder_ + "/text.jpg";
  std::string empty = folder_ + "/empty.jpg";
  std::string header = folder_ + "/header.jpg";  // cut inside the tables, before any image
  ASSERT_TRUE(WriteBytes(text, std::vector<std::uint8_t>(300, 'k')));
  ASSERT_TRUE(WriteBytes(empty, {}));
  ASSERT_TRUE(WriteBytes(header, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 100)));

  const int openFiles = OpenFileCount();
  for (const std::string& path : {folder_ + "/missing.jpg", text, empty, header}) {
    TextureImage image;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(load(path, &image)) << path;
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_EQ(image.texID, 0u) << path;
    EXPECT_EQ(image.imageData, nullptr) << path;
    EXPECT_EQ(OpenFileCount(), openFiles) << path;
    // libjpeg has its say on every file it was given; a missing file never reaches it.
    EXPECT_EQ(message.empty(), path == folder_ + "/missing.jpg") << path << ": " << message;
  }
  TextureImage image = {};
  EXPECT_FALSE(LoadJPEGTexture(&image, nullptr, GL_ALPHA));
}

// A cut in the picture data is a warning to libjpeg, which fills in the missing rows.
TEST_F(Loader, FileCutInsideThePictureStillLoads) {
  std::vector<std::uint8_t> bytes = ReadBytes(noiseFile("whole.jpg", 64, 64));
  ASSERT_GT(bytes.size(), 1000u);
  std::string cut = folder_ + "/cut.jpg";
  ASSERT_TRUE(WriteBytes(
      cut, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + bytes.size() * 3 / 4)));
  TextureImage image;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(load(cut, &image));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(image.width, 64u);
  EXPECT_EQ(image.height, 64u);
  EXPECT_NE(image.texID, 0u);
}

TEST_F(Loader, ImageBeyondTheTextureLimitIsRefused) {
  GLint limit = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit);
  ASSERT_GT(limit, 0);
  ASSERT_LT(limit + 8, 65500) << "too large for a JPEG; the limit cannot be exceeded";
  const int openFiles = OpenFileCount();

  TextureImage image;
  EXPECT_FALSE(load(greyFile("wide.jpg", limit + 8, 8, 0, 0), &image));
  EXPECT_EQ(image.texID, 0u);
  EXPECT_EQ(image.imageData, nullptr);
  EXPECT_EQ(image.width, static_cast<GLuint>(limit + 8));  // the header was read
  EXPECT_EQ(OpenFileCount(), openFiles);

  EXPECT_FALSE(load(greyFile("tall.jpg", 8, limit + 8, 0, 0), &image));
  EXPECT_EQ(image.texID, 0u);
}

TEST_F(Loader, PixelsThatCannotBeAllocatedFailCleanly) {
  if (!AllocationCounter::seesMalloc()) {
    GTEST_SKIP() << "malloc belongs to the sanitizer in this build";
  }
  std::string path = greyFile("atlas.jpg", 512, 64, 8, 0);
  const int openFiles = OpenFileCount();
  TextureImage image;
  {
    MallocRefusal refusal(512 * 64);
    EXPECT_FALSE(load(path, &image));
  }
  EXPECT_EQ(image.texID, 0u);
  EXPECT_EQ(image.imageData, nullptr);
  EXPECT_EQ(OpenFileCount(), openFiles);
  EXPECT_TRUE(load(path, &image));  // and the next try, with memory, works
}

}  // namespace
