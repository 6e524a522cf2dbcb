// Frames as a YUV4MPEG2 stream, the raw video format that ffmpeg and mpv read without options:
// a header with the size, the rate and the colour range, then per frame "FRAME" and the Y, U
// and V planes. Colour is full-range BT.601 (as JPEG) with a colour sample for every pixel
// (4:4:4), so that a frame decodes to its PNG twin but for rounding; players that want 4:2:0
// get it from ffmpeg's -pix_fmt yuv420p. Input frames are 8-bit RGB, top row first, tightly
// packed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class VideoStream {
 public:
  // `rate` in frames per second, positive; stored as a fraction to a thousandth.
  VideoStream(int width, int height, double rate);

  // The stream header, to be written once before the first frame.
  const std::string& header() const { return header_; }
  // One frame's bytes, converted from `rgb`. The buffer is allocated once and reused: the
  // result stays valid until the next call.
  const std::vector<std::uint8_t>& frame(const std::uint8_t* rgb);

 private:
  int width_;
  int height_;
  std::string header_;
  std::vector<std::uint8_t> bytes_;
};
