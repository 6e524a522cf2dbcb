// The video file sink: a render's frames encoded into one .mp4, .webm, .mkv, .gif or .webp
// file (see VideoEncoder), written as every file is, through SafeFile: into a temporary beside
// the target, renamed over it once the last frame is in and the file is whole. A FIFO or a
// device is written in place, for the formats that stream.
//
// Cut short by a signal, the target stays as it was; the frames done so far are ended as a
// playable shorter video under a name of their own that replaces nothing ("out.partial.mp4",
// then "out.partial-2.mp4", ...), and the line says where.
#pragma once

#include <string>

#include "host/FrameSink.h"
#include "host/SafeFile.h"
#include "host/VideoEncoder.h"
#include "host/VideoFormat.h"

class VideoFile : public FrameSink {
 public:
  // Frames `first` to `last` of the render (the first shows at 0 s), `rate` a second.
  VideoFile(std::string path, const VideoFormat& format, VideoQuality quality, double rate,
            long first, long last)
      : path_(std::move(path)),
        format_(format),
        quality_(quality),
        rate_(rate),
        first_(first),
        last_(last) {}
  // The target must be a file (or a new name) in a folder that takes new files, or a FIFO or
  // device for a format that streams; false with *error.
  bool prepare(std::string* error);

  bool wants(long /*number*/) override { return true; }
  // The first frame opens the file; the last ends it and renames it into place.
  bool write(long number, const RgbImage& picture, int abortFd, std::string* error) override;
  std::string target() const override { return path_; }
  std::string finished() const override;
  void interrupted(int abortFd) override;
  std::string kept() const override;

 private:
  std::string partialName(int attempt) const;

  std::string path_;
  const VideoFormat& format_;
  VideoQuality quality_;
  double rate_;
  long first_;
  long last_;
  bool existed_ = false;  // the target was there before the run
  SafeFile file_;
  VideoEncoder encoder_;
  bool open_ = false;   // the encoder writes into file_
  bool ended_ = false;  // the encoder has ended the file (it may still wait to be renamed)
  long written_ = 0;
  int width_ = 0;  // of the frames written
  int height_ = 0;
  std::string keptIn_;   // where interrupted() kept the frames done, or ""
  std::string failure_;  // why it could not
};
