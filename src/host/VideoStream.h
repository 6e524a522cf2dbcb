// The video stream sink: frames as YUV4MPEG2 on a descriptor (standard output), the raw video
// format that ffmpeg and mpv read without options: a header with the size, the rate and the
// colour range, then per frame "FRAME" and the Y, U and V planes. Colour is full-range BT.601
// (as JPEG) with a colour sample for every pixel (4:4:4), so that a frame decodes to its PNG twin
// but for rounding; players that want 4:2:0 get it from ffmpeg's -pix_fmt yuv420p.
//
// The descriptor is written in place, as SafeFile writes a pipe or a device; a frame is written
// whole even when a signal arrives on the way, so that the stream never ends inside one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/FrameSink.h"

class VideoStream : public FrameSink {
 public:
  // `frames` frames, `rate` a second (positive; stored as a fraction to a thousandth), on `fd`.
  VideoStream(int fd, double rate, long frames) : fd_(fd), rate_(rate), frames_(frames) {}

  // The stream's header for pictures of this size.
  std::string header(int width, int height) const;
  // One frame's bytes, "FRAME" and the planes, converted from `picture`. The buffer is reused:
  // the result stays valid until the next call.
  const std::vector<std::uint8_t>& convert(const RgbImage& picture);

  bool wants(long /*number*/) override { return true; }
  // The header goes before the first frame.
  bool write(long number, const RgbImage& picture, int abortFd, std::string* error) override;
  std::string target() const override { return "standard output"; }
  std::string finished() const override;
  // Standard output holds the stream; the line goes to standard error.
  std::FILE* finishedStream() const override { return stderr; }
  std::string kept() const override;
  bool readerGone() const override { return readerGone_; }

 private:
  int fd_;
  double rate_;
  long frames_;
  long written_ = 0;
  int width_ = 0;  // of the frames written
  int height_ = 0;
  bool readerGone_ = false;
  std::vector<std::uint8_t> bytes_;
};
