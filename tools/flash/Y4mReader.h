// Reading a YUV4MPEG2 stream, as Vantor's --render - and ffmpeg write it: the header (size,
// rate, chroma layout, colour range), then one frame at a time into planes allocated once.
// Only 8-bit 4:4:4, 4:2:2, 4:2:0 and mono are read; anything else is refused with a reason.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct Y4mFormat {
  enum Range { Unspecified, Full, Limited };

  int width = 0;  // pixels
  int height = 0;
  long rateNumerator = 0;  // frames per second, as the fraction the header gives
  long rateDenominator = 1;
  bool mono = false;     // no colour planes: every pixel is grey
  int chromaShiftX = 0;  // a colour sample covers 2^shift pixels across (1 for 4:2:2 and 4:2:0)
  int chromaShiftY = 0;  // ... and down (1 for 4:2:0)
  Range range = Unspecified;  // XCOLORRANGE, when the header gives it

  double rate() const { return static_cast<double>(rateNumerator) / rateDenominator; }
  int chromaWidth() const { return mono ? 0 : (width + (1 << chromaShiftX) - 1) >> chromaShiftX; }
  int chromaHeight() const { return mono ? 0 : (height + (1 << chromaShiftY) - 1) >> chromaShiftY; }
};

class Y4mReader {
 public:
  // Frames larger than this many pixels are refused, before anything is allocated for them.
  static constexpr long kMaxPixels = 3840L * 2160L;

  // Reads from `in`, which stays the caller's.
  explicit Y4mReader(std::FILE* in) : in_(in) {}

  // Reads and checks the header. False with *error set (a phrase without the program's name)
  // when the stream is not one this reads.
  bool readHeader(std::string* error);
  const Y4mFormat& format() const { return format_; }

  enum Result { Frame, End, Bad };
  // Reads the next frame into the planes. End when the stream ends cleanly before a frame;
  // Bad with *error set for a bad frame marker or a frame cut short.
  Result readFrame(std::string* error);
  long framesRead() const { return frames_; }

  // The planes of the latest frame, rows top first, tightly packed: luma width x height, each
  // colour plane chromaWidth x chromaHeight; null for mono.
  const std::uint8_t* luma() const { return planes_.data(); }
  const std::uint8_t* blueDifference() const;
  const std::uint8_t* redDifference() const;

 private:
  // Reads up to the end of the line into `line` (without the newline). False at the end of the
  // stream or past `limit` characters.
  bool readLine(std::string* line, std::size_t limit);
  bool parseParameter(const std::string& token, std::string* error);

  std::FILE* in_;
  Y4mFormat format_;
  std::vector<std::uint8_t> planes_;
  std::string line_;
  long frames_ = 0;
};
