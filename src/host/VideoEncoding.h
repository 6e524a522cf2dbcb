// What the program asks of its video encoder (see VideoEncoder, which loads it). The encoder is a
// module of its own, made by the C function named kMakeVideoEncoding, so that FFmpeg's libraries
// and the 150 more they bring are loaded only by a render into a video file, never by a saver
// starting on each activation.
#pragma once

#include <string>

#include "host/RgbImage.h"
#include "host/VideoFormat.h"

class VideoEncoding {
 public:
  virtual ~VideoEncoding() = default;
  virtual bool open(const std::string& path, const VideoFormat& format, int width, int height,
                    double rate, VideoQuality quality, std::string* error) = 0;
  virtual bool encode(const RgbImage& picture, std::string* error) = 0;
  virtual bool finish(std::string* error, int abortFd) = 0;
};

// A new encoder, or null when memory runs out.
using MakeVideoEncoding = VideoEncoding* (*)();
constexpr char kMakeVideoEncoding[] = "vantorMakeVideoEncoding";
