// --photos: how long one photo takes to decode and reduce to 1024 a side (a 12-megapixel and a
// 50-megapixel JPEG, a 12-megapixel PNG), and the program's peak resident memory after a
// simulated minute and a simulated hour of replacements (one every 20 s), which must be flat.
#include <benchmark/benchmark.h>
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "JpegWriter.h"
#include "Process.h"
#include "TemporaryFolder.h"
#include "photos/PhotoDecode.h"

namespace {

// A row of a photo-like gradient, repeated down the picture.
std::vector<std::uint8_t> gradientRow(int width) {
  std::vector<std::uint8_t> row;
  for (int x = 0; x < width; x++) {
    row.insert(row.end(), {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x / 17), 90});
  }
  return row;
}

void writePng(const std::string& path, int width, int height) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<std::uint8_t> row = gradientRow(width);
  for (int y = 0; y < height; y++) {
    row[0] = static_cast<std::uint8_t>(y);
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

TemporaryFolder& benchFolder() {
  static TemporaryFolder folder("vantor-photos-bench");
  return folder;
}

void Decode(benchmark::State& state, const char* kind) {
  const std::string path = benchFolder().path() + "/" + kind;
  const std::string name = kind;
  if (name == "jpeg12mp.jpg") {
    writeJpeg(path, 4000, 3000, 3, gradientRow(4000));
  } else if (name == "jpeg50mp.jpg") {
    writeJpeg(path, 8660, 5774, 3, gradientRow(8660));
  } else {
    writePng(path, 4000, 3000);
  }
  Photo photo;
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::string why;
    if (file == nullptr || !decodePhoto(file, &photo, &why)) {
      state.SkipWithError(("cannot decode " + path + ": " + why).c_str());
    }
    if (file != nullptr) {
      std::fclose(file);
    }
  }
  state.counters["side"] = std::max(photo.width, photo.height);
}
BENCHMARK_CAPTURE(Decode, Jpeg12MP, "jpeg12mp.jpg")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(Decode, Jpeg50MP, "jpeg50mp.jpg")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Decode, Png12MP, "png12mp.png")->Unit(benchmark::kMillisecond)->Iterations(3);

// The peak resident memory of a snapshot at `seconds` with a folder of 24 photos of 12
// megapixels: every frame before it is stepped through, and every replacement decoded and
// uploaded, as in a window.
void ReplacementsMemory(benchmark::State& state) {
  const std::string folder = benchFolder().path() + "/many";
  static bool made = false;
  if (!made) {
    mkdir(folder.c_str(), 0755);
    for (int i = 0; i < 24; i++) {
      std::vector<std::uint8_t> row = gradientRow(4000);
      row[0] = static_cast<std::uint8_t>(i * 10);
      writeJpeg(folder + "/" + std::to_string(100 + i) + ".jpg", 4000, 3000, 3, row);
    }
    made = true;
  }
  double peak = 0.0;
  for (auto _ : state) {
    Process program({VANTOR_PROGRAM, "--snapshot", benchFolder().path() + "/shot.png", "--at",
                     std::to_string(state.range(0)), "--rate", "2", "--size", "320x240", "--seed",
                     "1000", "--photos", folder});
    while (program.running()) {
      peak = std::max(peak, peakResidentMegabytes(program.pid()));
      sleepFor(0.05);
    }
    const Exit end = program.wait(1.0);
    if (end.status != 0) {
      state.SkipWithError(("the snapshot failed: " + end.err).c_str());
    }
  }
  state.counters["peak_rss_mb"] = peak;
}
BENCHMARK(ReplacementsMemory)->Arg(60)->Arg(3600)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
