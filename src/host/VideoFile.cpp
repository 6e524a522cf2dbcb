#include "host/VideoFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/Say.h"
#include "host/Surface.h"

namespace {

const char kWriteAdvice[] = "; give a path you can write to, on a disk with room";

}  // namespace

bool VideoFile::prepare(std::string* error) {
  struct stat info;
  existed_ = stat(path_.c_str(), &info) == 0;
  if (existed_ && S_ISDIR(info.st_mode)) {
    *error = "'" + path_ + "' is a folder; give --render a file name for the video";
    return false;
  }
  const std::string folder = SafeFile::temporaryFolder(path_);
  if (folder.empty() && !format_.streams) {
    *error = "'" + path_ + "' is not a regular file, and a " + format_.name +
             " is finished by going back to its start; give --render a file, or use --render - "
             "for a pipe";
    return false;
  }
  if (!folder.empty() && access(folder.c_str(), W_OK) != 0) {
    *error = "cannot write into '" + folder + "': " + std::strerror(errno) +
             "; give --render a file in a folder you can write to";
    return false;
  }
  return VideoEncoder::load(error);
}

bool VideoFile::write(long number, const RgbImage& picture, int abortFd, std::string* error) {
  std::string reason;
  if (!open_) {
    if (!file_.open(path_, error)) {
      *error += kWriteAdvice;
      return false;
    }
    if (!encoder_.open(file_.writingPath(), format_, picture.width, picture.height, rate_, quality_,
                       error)) {
      file_.discard();
      return false;
    }
    open_ = true;
    width_ = picture.width;
    height_ = picture.height;
  }
  if (!encoder_.encode(picture, &reason)) {
    *error = "cannot write '" + path_ + "': " + reason + kWriteAdvice;
    return false;
  }
  written_++;
  if (number < last_) {
    return true;
  }
  if (!encoder_.finish(&reason, -1)) {
    *error = "cannot write '" + path_ + "': " + reason + kWriteAdvice;
    return false;
  }
  ended_ = true;
  // A signal that came while the file was ended keeps it apart, as any run cut short.
  if (wakeFdReadable(abortFd)) {
    *error = "cannot write '" + path_ + "': " + std::strerror(EINTR);
    return false;
  }
  if (!file_.commit(error, abortFd)) {
    *error += kWriteAdvice;
    return false;
  }
  open_ = false;
  return true;
}

std::string VideoFile::finished() const {
  return "wrote " + counted(written_, "frame") + " of " + std::to_string(width_) + "x" +
         std::to_string(height_) + " to " + path_ + " (" + format_.name + ")";
}

std::string VideoFile::partialName(int attempt) const {
  const size_t dot = path_.rfind('.');
  return path_.substr(0, dot) + ".partial" + (attempt > 1 ? "-" + std::to_string(attempt) : "") +
         path_.substr(dot);
}

void VideoFile::interrupted(int abortFd) {
  if (!open_) {
    return;  // nothing begun, or the whole file is in place
  }
  open_ = false;
  if (written_ > 0 && (ended_ || encoder_.finish(&failure_, abortFd))) {
    keptIn_ =
        file_.commitUnderNewName([this](int attempt) { return partialName(attempt); }, &failure_);
  } else if (wakeFdReadable(abortFd)) {
    failure_ = "a second signal came first";
  }
  file_.discard();
}

std::string VideoFile::kept() const {
  const std::string line =
      "after " + std::to_string(written_) + " of " + counted(last_ - first_ + 1, "frame") + "; ";
  const std::string frames = "the " + counted(written_, "frame") + " done";
  if (written_ == 0) {
    return line + "no file was written";
  }
  if (keptIn_ == path_) {
    return line + frames + " went to " + path_;  // written in place
  }
  return line + path_ + (existed_ ? " is left as it was" : " was not made") +
         (keptIn_.empty() ? "; " + frames + " could not be kept (" + failure_ + ")"
                          : ", and " + frames + " are in " + keptIn_);
}
