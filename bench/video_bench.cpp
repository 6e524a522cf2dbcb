// Video files at 1280x720, by format at the default quality: what encoding costs per frame
// (colour conversion, encoding and muxing, as the CPU of the whole process: the encoders run
// threads of their own), the bytes per frame, and the PSNR of frame 15 decoded as a player
// would decode it (ffmpeg, by the file's tags; animated WebP by ImageMagick, as this ffmpeg reads
// none) against the frame it was made from. The frames are 30 of the real scene, drawn once.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchScene.h"
#include "TemporaryFolder.h"
#include "host/RgbImage.h"
#include "host/VideoFile.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720, kFrames = 30, kCompared = 14;

double processCpuSeconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// The frames every format encodes; empty when no headless context can be made.
const std::vector<RgbImage>& sceneFrames() {
  static const std::vector<RgbImage> frames = [] {
    std::vector<RgbImage> drawn;
    BenchScene scene;
    std::string error;
    if (scene.create(kWidth, kHeight, &error)) {
      drawn.resize(kFrames);
      for (RgbImage& picture : drawn) {
        scene.frame();
        readDrawnImage(kWidth, kHeight, &picture);
      }
    }
    return drawn;
  }();
  return frames;
}

// Frame `index` of `video` as 8-bit RGB, decoded by a program a user has; empty on failure.
std::vector<unsigned char> decoded(const std::string& video, int index) {
  const size_t size = static_cast<size_t>(kWidth) * kHeight * 3;
  const std::string command = video.substr(video.size() - 5) == ".webp"
                                  ? "convert '" + video + "' -coalesce rgb:-"
                                  : "ffmpeg -v error -i '" + video + "' -vf 'select=eq(n\\," +
                                        std::to_string(index) +
                                        ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 -";
  std::vector<unsigned char> all;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    unsigned char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      all.insert(all.end(), buffer, buffer + got);
    }
    pclose(pipe);
  }
  const size_t skipped = video.substr(video.size() - 5) == ".webp" ? index * size : 0;
  if (all.size() < skipped + size) {
    return {};
  }
  return std::vector<unsigned char>(all.begin() + skipped, all.begin() + skipped + size);
}

double psnr(const std::vector<unsigned char>& a, const std::vector<std::uint8_t>& b) {
  double squares = 0;
  for (size_t i = 0; i < a.size(); i++) {
    squares += (a[i] - b[i]) * (a[i] - b[i]);
  }
  return squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * a.size() / squares);
}

void VideoFileAt720p(benchmark::State& state, const char* extension) {
  const std::vector<RgbImage>& frames = sceneFrames();
  if (frames.empty()) {
    state.SkipWithError("no headless OpenGL context");
    return;
  }
  TemporaryFolder folder("vantor-video-bench");
  const std::string path = folder.path() + "/bench" + extension;
  const double cpuBefore = processCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    VideoFile file(path, *videoFormatOf(path), VideoQuality::Medium, 30.0, 1, kFrames);
    std::string error;
    bool written = file.prepare(&error);
    for (int i = 0; written && i < kFrames; i++) {
      written = file.write(i + 1, frames[i], -1, &error);
    }
    if (!written) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  const double encoded = static_cast<double>(state.iterations()) * kFrames;
  state.counters["cpu_ms_per_frame"] = (processCpuSeconds() - cpuBefore) * 1000.0 / encoded;
  state.counters["ms_per_frame"] =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
      encoded;
  state.counters["kb_per_frame"] = std::filesystem::file_size(path) / 1000.0 / kFrames;
  const std::vector<unsigned char> picture = decoded(path, kCompared);
  state.counters["psnr_db"] = picture.empty() ? 0.0 : psnr(picture, frames[kCompared].rgb);
}

BENCHMARK_CAPTURE(VideoFileAt720p, mp4, ".mp4")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VideoFileAt720p, webm, ".webm")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VideoFileAt720p, mkv, ".mkv")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VideoFileAt720p, gif, ".gif")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VideoFileAt720p, webp, ".webp")->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
