// Encodes 8-bit RGB pictures into a video file through FFmpeg's libraries (libavformat,
// libavcodec, libswscale, and libavfilter's palettes for GIF), by a VideoFormat:
//
// - H.264 and VP9: 4:2:0, limited range, BT.709 from 1280 wide or 720 high up and BT.601
//   (SMPTE 170M) below, as players assume for untagged video of those sizes; the primaries,
//   transfer and matrix are tagged in the stream and the container either way.
// - FFV1: RGB, lossless, every frame a key frame (for editing).
// - GIF: a palette of its own for every frame (libavfilter's palettegen and paletteuse), looping
//   forever. The kaleidoscope's colours drift, so one palette for the whole render would give
//   each frame fewer of its own; per frame, the file streams out with no second pass.
// - WebP: animated and lossy (libwebp's animation encoder), looping forever.
//
// Frame i (from 0) shows at i / rate seconds. Buffers are made when the file is opened; a frame
// reuses them (what the encoders allocate for themselves aside).
//
// The encoder is a module loaded on first use (see VideoEncoding.h): the installed program finds
// it in its lib/vantor folder, the program in its build tree beside itself.
#pragma once

#include <memory>
#include <string>

#include "host/VideoEncoding.h"

class VideoEncoder {
 public:
  VideoEncoder();
  // Frees everything. A file not finished is left as it is, for its owner to drop.
  ~VideoEncoder();
  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  // Loads the encoder module; false with *error (why, and what to do) when it cannot be.
  static bool load(std::string* error);

  // Creates (or truncates) `path` and starts a `format` video of width x height pixels, `rate`
  // frames a second (positive, to a thousandth). False with *error (FFmpeg's reason).
  bool open(const std::string& path, const VideoFormat& format, int width, int height, double rate,
            VideoQuality quality, std::string* error);
  // Adds a picture of the opened size as the next frame.
  bool encode(const RgbImage& picture, std::string* error);
  // Encodes what the encoder still holds, ends the file and closes it: the file is whole. A
  // readable `abortFd` (may be -1) stops it half-way. The encoder is done either way; encode and
  // finish then fail.
  bool finish(std::string* error, int abortFd);

 private:
  std::unique_ptr<VideoEncoding> encoding_;
};
