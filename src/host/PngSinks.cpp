#include "host/PngSinks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "host/PngWriter.h"
#include "host/SafeFile.h"
#include "host/Say.h"

namespace {

const char kWriteAdvice[] = "; give a path you can write to, on a disk with room";

}  // namespace

std::string frameFileName(long frame) {
  char name[48];
  std::snprintf(name, sizeof name, "frame-%05ld.png", frame);
  return name;
}

std::string savedFrameName() {
  const std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "vantor-%Y%m%d-%H%M%S", std::localtime(&now));
  std::string name = std::string(stamp) + ".png";
  for (int more = 2; std::filesystem::exists(name); more++) {
    name = std::string(stamp) + "-" + std::to_string(more) + ".png";
  }
  return name;
}

bool PngFolder::prepare(std::string* error) {
  const std::string advice = "; give --render a folder you can write to";
  if (mkdir(folder_.c_str(), 0777) != 0 && errno != EEXIST) {
    *error = "cannot make the folder '" + folder_ + "': " + std::strerror(errno) + advice;
    return false;
  }
  struct stat info;
  if (stat(folder_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    *error = "'" + folder_ + "' is not a folder" + advice;
    return false;
  }
  if (access(folder_.c_str(), W_OK) != 0) {
    *error = "cannot write into '" + folder_ + "': " + std::strerror(errno) + advice;
    return false;
  }
  return true;
}

bool PngFolder::write(long number, const RgbImage& picture, int abortFd, std::string* error) {
  const std::string path = folder_ + "/" + frameFileName(number);
  if (!writePng(path, picture.width, picture.height, picture.rgb.data(), abortFd, error)) {
    *error += kWriteAdvice;
    return false;
  }
  written_++;
  lastWholeFile_ = path;
  width_ = picture.width;
  height_ = picture.height;
  return true;
}

std::string PngFolder::finished() const {
  return "wrote " + counted(written_, "frame") + " of " + std::to_string(width_) + "x" +
         std::to_string(height_) + " to " + folder_ + "/";
}

std::string PngFolder::kept() const {
  return "after " + std::to_string(written_) + " of " + counted(frames_, "frame") + "; " +
         (lastWholeFile_.empty() ? "no file was written"
                                 : "the last whole file is " + lastWholeFile_);
}

bool PngFile::prepare(std::string* error) {
  // A device or FIFO is written in place and needs no folder; anything else gets a temporary
  // beside its (resolved) target.
  const std::string folder = SafeFile::temporaryFolder(path_);
  if (!folder.empty() && access(folder.c_str(), W_OK) != 0) {
    *error = "cannot write into '" + folder + "': " + std::strerror(errno) +
             "; give --snapshot a file in a folder you can write to";
    return false;
  }
  return true;
}

bool PngFile::wants(long number) {
  reached_ = number;
  return number == frame_;
}

bool PngFile::write(long /*number*/, const RgbImage& picture, int abortFd, std::string* error) {
  if (!writePng(path_, picture.width, picture.height, picture.rgb.data(), abortFd, error)) {
    *error += kWriteAdvice;
    return false;
  }
  return true;
}

std::string PngFile::kept() const {
  if (reached_ >= frame_) {
    return "while writing " + label_ + "; no file was written";
  }
  char stepped[48];
  std::snprintf(stepped, sizeof stepped, "%.2f",
                static_cast<double>(std::max(reached_ - 1, 0L)) / rate_);
  return "after stepping " + std::string(stepped) + " s towards " + label_ +
         "; no file was written";
}
