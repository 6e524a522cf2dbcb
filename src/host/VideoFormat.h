// The video files a render can write, known by the target's extension: what each holds and
// what it asks of the options. Plain data, no FFmpeg: the command line checks options against
// it before anything runs, and the video file sink encodes by it.
#pragma once

#include <string>

struct VideoFormat {
  const char* extension;  // lower case, with the dot: ".mp4"
  const char* name;       // for people: "H.264 video"
  const char* muxer;      // libavformat's name for the container
  const char* encoder;    // libavcodec's name for the encoder
  bool lossless;          // every frame decodes to its PNG twin: --quality has no say
  bool evenSides;         // colour at half size needs even widths and heights
  double highestRate;     // frames a second a browser shows at their own pace; 0: any
  bool streams;           // can be written in place, in one pass (a FIFO); else it seeks back
};

// How much a lossy format keeps, for --quality: a smaller file, or a picture closer to the PNG.
enum class VideoQuality { Low, Medium, High };

// The format `path`'s extension names (in any case), or null for a path that names none: a
// folder of PNG files, or "-", the stream.
const VideoFormat* videoFormatOf(const std::string& path);

// ".mp4, .webm, .mkv, .gif or .webp", and the same of the lossy ones only, for messages.
std::string videoExtensions(bool lossyOnly);
