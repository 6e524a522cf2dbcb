// Guards --photos: the decoders on every kind of file a photo folder holds, the loader when its
// folder goes away, and through the program the colours the photos give, the pieces moving as
// they do without photos, bad files each skipped with one line and a FIFO never opened.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "photos/PhotoDecode.h"
#include "photos/PhotoFiles.h"
#include "photos/PhotoLoader.h"
#include "support/Program.h"

namespace {

// A width x height PNG of one colour (RGB; grey, palette and 16-bit files carry its red or its
// value), written with libpng as the decoders must read any of them.
void writePng(const std::string& path, int width, int height, int colorType, int depth,
              bool interlaced, const std::uint8_t rgb[3]) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, depth, colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_color palette[1] = {{rgb[0], rgb[1], rgb[2]}};
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_set_PLTE(png, info, palette, 1);
  }
  png_write_info(png, info);
  const int channels = colorType == PNG_COLOR_TYPE_RGB ? 3 : 1;
  std::vector<std::uint8_t> row(static_cast<size_t>(width) * channels * (depth / 8 + 1));
  for (int x = 0; x < width * channels; x++) {
    const std::uint8_t value = colorType == PNG_COLOR_TYPE_PALETTE ? 0 : rgb[x % channels];
    if (depth == 16) {
      row[2 * x] = row[2 * x + 1] = value;
    } else {
      row[x] = value;
    }
  }
  for (int pass = png_set_interlace_handling(png); pass > 0; pass--) {
    for (int y = 0; y < height; y++) {
      png_write_row(png, row.data());
    }
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

// One colour's pixels, width x height x components.
std::vector<std::uint8_t> filled(int width, int height, std::vector<std::uint8_t> colour) {
  std::vector<std::uint8_t> pixels;
  for (int i = 0; i < width * height; i++) {
    pixels.insert(pixels.end(), colour.begin(), colour.end());
  }
  return pixels;
}

std::string decoded(const std::string& path, Photo* photo) {
  std::string why;
  std::FILE* file = openPhotoFile(path, &why);
  const bool ok = file != nullptr && decodePhoto(file, photo, &why);
  if (file != nullptr) {
    std::fclose(file);
  }
  return ok ? "" : why;
}

// "WxH R,G,B" of the middle pixel, each channel rounded to a step of 8: JPEG's rounding moves a
// channel by a step or two.
std::string described(const Photo& photo) {
  const size_t middle = (static_cast<size_t>(photo.height / 2) * photo.width + photo.width / 2) * 3;
  auto step = [&](int c) { return std::to_string((photo.rgb[middle + c] + 4) / 8 * 8); };
  return std::to_string(photo.width) + "x" + std::to_string(photo.height) + " " + step(0) + "," +
         step(1) + "," + step(2);
}

const std::uint8_t kRed[3] = {250, 0, 0};

// Every kind of JPEG and PNG a folder may hold comes out as the same RGB at most 1024 a side:
// CMYK (Adobe's inverted), grey, palette, 16-bit and interlaced PNG, large photos reduced.
// Damaged, empty, absurd and foreign files are refused with a reason, before any allocation.
TEST(PhotoDecoding, EveryKindComesOutRgbAtMost1024ASideAndBadFilesAreRefused) {
  TemporaryFolder folder;
  const std::string d = folder.path() + "/";
  ASSERT_TRUE(writeJpeg(d + "rgb.jpg", 64, 48, 3, filled(64, 48, {250, 0, 0})));
  ASSERT_TRUE(writeJpeg(d + "cmyk.jpg", 64, 48, 4, filled(64, 48, {250, 0, 0, 255})));
  ASSERT_TRUE(writeJpeg(d + "big.jpg", 4000, 3000, 3, filled(4000, 1, {250, 0, 0}), true));
  writePng(d + "rgb.png", 64, 48, PNG_COLOR_TYPE_RGB, 8, false, kRed);
  writePng(d + "deep.png", 64, 48, PNG_COLOR_TYPE_RGB, 16, false, kRed);
  writePng(d + "interlaced.png", 64, 48, PNG_COLOR_TYPE_RGB, 8, true, kRed);
  writePng(d + "palette.png", 64, 48, PNG_COLOR_TYPE_PALETTE, 8, false, kRed);
  writePng(d + "grey.png", 3000, 2000, PNG_COLOR_TYPE_GRAY, 8, false, kRed);
  const std::string png = readFile(d + "rgb.png"), jpeg = readFile(d + "rgb.jpg");
  ASSERT_TRUE(writeBytes(d + "cut.png", png.substr(0, png.size() / 2)));
  ASSERT_TRUE(writeBytes(d + "cut.jpg", jpeg.substr(0, jpeg.size() / 2)));
  std::string corrupt = png;
  corrupt[png.size() / 2] ^= 0x55;
  ASSERT_TRUE(writeBytes(d + "corrupt.png", corrupt));
  // 100000x100000 in a header of a few bytes (its CRC is right: libpng reads it as written).
  std::string huge = png.substr(0, 33);
  for (int i : {16, 20}) {
    huge.replace(i, 4, std::string("\x00\x01\x86\xa0", 4));
  }
  const unsigned long crc = crc32(0, reinterpret_cast<const Bytef*>(huge.data() + 12), 17);
  for (int i = 0; i < 4; i++) {
    huge[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  }
  ASSERT_TRUE(writeBytes(d + "huge.png", huge + png.substr(33)));
  // A progressive header claiming 12000x12000 (under the megapixel bound) in a few bytes.
  std::string claims = readFile(VANTOR_SOURCE_DIR "/fuzz/corpus/huge-progressive-header.jpg");
  claims.replace(claims.find("\xff\xc2") + 5, 4, "\x2e\xe0\x2e\xe0");
  ASSERT_TRUE(writeBytes(d + "claims.jpg", claims));
  ASSERT_TRUE(writeBytes(d + "empty.jpg", ""));
  ASSERT_TRUE(writeBytes(d + "notes.jpg", "not a photo"));

  const std::pair<const char*, const char*> cases[] = {
      {"rgb.jpg", "64x48 248,0,0"},     {"cmyk.jpg", "64x48 248,0,0"},
      {"big.jpg", "1024x768 248,0,0"},  {"rgb.png", "64x48 248,0,0"},
      {"deep.png", "64x48 248,0,0"},    {"interlaced.png", "64x48 248,0,0"},
      {"palette.png", "64x48 248,0,0"}, {"grey.png", "1024x682 248,248,248"},
      {"cut.png", "refused"},           {"cut.jpg", "refused"},
      {"corrupt.png", "refused"},       {"huge.png", "refused"},
      {"claims.jpg", "refused"},        {"empty.jpg", "refused"},
      {"notes.jpg", "refused"},
  };
  for (const auto& [name, expected] : cases) {
    Photo photo;
    const std::string why = decoded(d + name, &photo);
    EXPECT_EQ(why.empty() ? described(photo) : "refused", expected) << name << ": " << why;
    EXPECT_EQ(why.empty() ? photo.rgb.size() : 0u,
              why.empty() ? 3u * photo.width * photo.height : 0u);
  }
}

// A folder removed while photos are shown: the photos held stay, the next asked for is not
// found, and that is said once, not once for every file.
TEST(PhotoLoading, AFolderThatGoesKeepsThePhotosHeldAndSaysSoOnce) {
  TemporaryFolder parent;
  const std::string folder = parent.path() + "/photos";
  std::filesystem::create_directory(folder);
  for (const char* name : {"a.png", "b.png", "c.png"}) {
    writePng(folder + "/" + name, 16, 16, PNG_COLOR_TYPE_RGB, 8, false, kRed);
  }
  std::vector<std::string> files, lines;
  std::string error;
  ASSERT_TRUE(findPhotoFiles(
      folder, &files, [&](const std::string& l) { lines.push_back(l); }, &error));
  EXPECT_EQ(files,
            (std::vector<std::string>{folder + "/a.png", folder + "/b.png", folder + "/c.png"}));
  PhotoLoader loader(
      folder, [&](const std::string& l) { lines.push_back(l); }, true);
  PhotoPixels held;
  loader.request(0, 0);
  ASSERT_TRUE(loader.ready(0, &held));
  std::filesystem::remove_all(folder);
  loader.request(1, 1);
  PhotoPixels none;
  EXPECT_FALSE(loader.ready(1, &none));
  EXPECT_EQ(lines,
            std::vector<std::string>{folder + " is gone; showing the photos already loaded"});
  EXPECT_EQ(std::vector<int>(held.rgb, held.rgb + 3), (std::vector<int>{250, 0, 0}));
}

// A snapshot of `photos` (none for "") at a fixed seed and time, taken by nobody when
// `asNobody` (root reads any file).
Frame photoSnapshot(const TemporaryFolder& folder, const std::string& photos, Exit* done,
                    bool asNobody = false) {
  static int taken = 0;
  const std::string file = folder.path() + "/shot" + std::to_string(++taken) + ".png";
  Arguments arguments = {"--snapshot", file,     "--at", "3",           "--size",
                         "320x240",    "--seed", "77",   "--resources", resourcesPath()};
  if (!photos.empty()) {
    arguments.insert(arguments.end(), {"--photos", photos});
  }
  *done = run(asNobody ? asUser(vantorCommand(arguments)) : vantorCommand(arguments), {}, 60.0);
  return done->status == 0 ? pngFrame(file) : Frame();
}

// Lit pixels (brighter than near-black) and those of them whose colour channel `c` leads.
std::pair<long, long> litAndLeading(const Frame& frame, int c) {
  long lit = 0, leading = 0;
  for (int y = 0; y < frame.height; y++) {
    for (int x = 0; x < frame.width; x++) {
      const std::uint8_t* p = frame.at(x, y);
      const bool on = p[0] + p[1] + p[2] > 60;
      lit += on;
      leading += on && p[c] > p[(c + 1) % 3] + 20 && p[c] > p[(c + 2) % 3] + 20;
    }
  }
  return {lit, leading};
}

// One red photo makes the lit pixels red; a red and a blue photo both show at once; a white
// photo covers what the tinted pieces cover at the same seed: the pieces move as without photos.
TEST(Photos, ThePhotosColoursShowWhereTheTintedPiecesWould) {
  TemporaryFolder folder;
  for (const char* name : {"red", "both", "white"}) {
    std::filesystem::create_directory(folder.path() + "/" + name);
  }
  const std::uint8_t blue[3] = {0, 0, 250}, white[3] = {255, 255, 255};
  writePng(folder.path() + "/red/r.png", 300, 200, PNG_COLOR_TYPE_RGB, 8, false, kRed);
  writePng(folder.path() + "/both/r.png", 300, 200, PNG_COLOR_TYPE_RGB, 8, false, kRed);
  writePng(folder.path() + "/both/b.png", 300, 200, PNG_COLOR_TYPE_RGB, 8, false, blue);
  writePng(folder.path() + "/white/w.png", 300, 200, PNG_COLOR_TYPE_RGB, 8, false, white);
  Exit done;
  const Frame red = photoSnapshot(folder, folder.path() + "/red", &done);
  ASSERT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(done.err, "");
  const auto [lit, reddish] = litAndLeading(red, 0);
  EXPECT_GT(lit, 320 * 240 / 20);
  EXPECT_GE(reddish, lit * 9 / 10) << "of " << lit << " lit pixels";
  EXPECT_TRUE(isSymmetricKaleidoscope(red));

  const Frame both = photoSnapshot(folder, folder.path() + "/both", &done);
  ASSERT_EQ(done.status, 0) << done.err;
  EXPECT_GT(litAndLeading(both, 0).second, 320 * 240 / 400);
  EXPECT_GT(litAndLeading(both, 2).second, 320 * 240 / 400);

  const Frame whitened = photoSnapshot(folder, folder.path() + "/white", &done);
  ASSERT_EQ(done.status, 0) << done.err;
  const Frame tinted = photoSnapshot(folder, "", &done);
  ASSERT_EQ(done.status, 0) << done.err;
  // Where the tinted pieces lie clearly lit, the white ones lie too (soft mask edges and dark
  // tints aside).
  long tintedLit = 0, missed = 0;
  for (int y = 0; y < tinted.height; y++) {
    for (int x = 0; x < tinted.width; x++) {
      const bool on = tinted.brightness(x, y) > 40;
      tintedLit += on;
      missed += on && whitened.brightness(x, y) < 8;
    }
  }
  EXPECT_GT(tintedLit, 320 * 240 / 20);
  EXPECT_LE(missed, tintedLit / 100) << "of " << tintedLit << " lit by tinted pieces";
}

// A folder of every bad kind and one photo: each bad file is skipped with one line naming it,
// the photo is shown, and the FIFO is never opened (its writer stays blocked). Run as a user
// other than root, who could read the unreadable file.
TEST(Photos, BadFilesAreSkippedWithALineEachAndTheRestShown) {
  TemporaryFolder folder;
  const std::string d = folder.path() + "/photos/";
  std::filesystem::create_directory(d);
  writePng(d + "good.png", 300, 200, PNG_COLOR_TYPE_RGB, 8, false, kRed);
  const std::string png = readFile(d + "good.png");
  ASSERT_TRUE(writeBytes(d + "cut.png", png.substr(0, png.size() / 2)));
  ASSERT_TRUE(writeBytes(d + "empty.jpg", ""));
  ASSERT_TRUE(writeBytes(d + "notes.jpg", "not a photo"));
  ASSERT_TRUE(writeBytes(d + "secret.png", png));
  chmod((d + "secret.png").c_str(), 0);
  ASSERT_EQ(symlink("loop.jpg", (d + "loop.jpg").c_str()), 0);
  ASSERT_EQ(mkfifo((d + "pipe.jpg").c_str(), 0666), 0);
  chmod(folder.path().c_str(), 0777);
  chmod(d.c_str(), 0755);
  Process writer({"/bin/sh", "-c", "echo photo > " + d + "pipe.jpg"});

  Exit done;
  const Frame shot = photoSnapshot(folder, d, &done, true);
  ASSERT_EQ(done.status, 0) << done.err;
  const auto [lit, reddish] = litAndLeading(shot, 0);
  EXPECT_GE(reddish, lit * 9 / 10) << "of " << lit << " lit pixels";
  // The skipping lines, each up to its reason (a slow machine adds progress lines).
  std::multiset<std::string> said;
  for (size_t at = 0, end; (end = done.err.find('\n', at)) != std::string::npos; at = end + 1) {
    if (done.err.compare(at, 17, "vantor: skipping ") == 0) {
      said.insert(done.err.substr(at, done.err.find(':', done.err.find(d, at)) - at));
    }
  }
  std::multiset<std::string> expected;
  for (const char* name :
       {"cut.png", "empty.jpg", "notes.jpg", "secret.png", "loop.jpg", "pipe.jpg"}) {
    expected.insert("vantor: skipping " + d + name);
  }
  EXPECT_EQ(said, expected) << done.err;
  EXPECT_TRUE(writer.running()) << "the FIFO was opened for reading";
  close(open((d + "pipe.jpg").c_str(), O_RDONLY | O_NONBLOCK));
  writer.wait(5.0);
}

// --photos naming nothing usable ends at once with status 2 and one line naming it (after the
// lines of the files it skipped).
TEST(Photos, NothingUsableExitsTwo) {
  TemporaryFolder folder;
  ASSERT_TRUE(writeBytes(folder.path() + "/notes.jpg", "not a photo"));
  std::filesystem::create_directory(folder.path() + "/empty");
  const std::pair<std::string, long> cases[] = {
      {folder.path(), 2}, {folder.path() + "/empty", 1}, {folder.path() + "/missing", 1}};
  for (const auto& [path, lines] : cases) {
    Exit done = run(vantorCommand({"--render", folder.path() + "/out", "--photos", path}));
    EXPECT_EQ(std::pair(done.status, lineCount(done.err)), std::pair(2, lines)) << done.err;
    EXPECT_NE(done.err.find("vantor: --photos " + path + ": "), std::string::npos) << done.err;
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "/out"));
  }
}

}  // namespace
