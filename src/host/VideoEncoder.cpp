#include "host/VideoEncoder.h"

#include <dlfcn.h>

#include <filesystem>

#include "host/Resources.h"

namespace {

// The module's factory, loaded with FFmpeg's libraries on the first call and kept for the rest of
// the run (unloading them, with threads of theirs, is not safe); null with *error.
MakeVideoEncoding loadModule(std::string* error) {
  const std::filesystem::path program = currentExecutablePath();
  const std::string tree = std::string(VANTOR_BUILD_TREE) + "/";
  // The program in its build tree uses the module built with it; installed, its own.
  const std::string module = program.string().compare(0, tree.size(), tree) == 0
                                 ? std::string(VANTOR_BUILT_VIDEO_MODULE)
                                 : (program.parent_path() / VANTOR_VIDEO_MODULE).string();
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto make = handle != nullptr
                  ? reinterpret_cast<MakeVideoEncoding>(dlsym(handle, kMakeVideoEncoding))
                  : nullptr;
  if (make == nullptr) {
    const char* reason = dlerror();
    *error = "cannot load Vantor's video encoder (" +
             std::string(reason != nullptr ? reason : module) +
             "); reinstall Vantor with FFmpeg's libraries, or render PNG frames";
  }
  return make;
}

}  // namespace

VideoEncoder::VideoEncoder() = default;
VideoEncoder::~VideoEncoder() = default;

bool VideoEncoder::load(std::string* error) { return loadModule(error) != nullptr; }

bool VideoEncoder::open(const std::string& path, const VideoFormat& format, int width, int height,
                        double rate, VideoQuality quality, std::string* error) {
  if (encoding_ == nullptr) {
    const MakeVideoEncoding make = loadModule(error);
    encoding_.reset(make != nullptr ? make() : nullptr);
    if (make != nullptr && encoding_ == nullptr) {
      *error = "cannot start the " + std::string(format.name) + ": out of memory";
    }
    if (encoding_ == nullptr) {
      return false;
    }
  }
  return encoding_->open(path, format, width, height, rate, quality, error);
}

bool VideoEncoder::encode(const RgbImage& picture, std::string* error) {
  if (encoding_ == nullptr) {
    *error = "the video was not started";
    return false;
  }
  return encoding_->encode(picture, error);
}

bool VideoEncoder::finish(std::string* error, int abortFd) {
  if (encoding_ == nullptr) {
    *error = "the video was not started";
    return false;
  }
  return encoding_->finish(error, abortFd);
}
