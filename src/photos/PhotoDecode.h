// Decoding a user's photo (JPEG or PNG, told apart by the first bytes) into RGB pixels at most
// kPhotoSide pixels a side: the JPEG decoder scales by its DCT while decoding, and a box filter
// reduces the rows as they come, so that a 50-megapixel photo never lies whole in memory.
// Absurd declared sizes are refused before anything is set aside for the picture.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

// The longest side of a decoded photo, in pixels.
constexpr int kPhotoSide = 1024;
// The most pixels a photo may declare, and the most an interlaced PNG (decoded whole before
// its reduction) may.
constexpr double kMostPhotoPixels = 150e6;
constexpr double kMostInterlacedPixels = 16e6;

struct Photo {
  std::vector<unsigned char> rgb;  // height rows of width RGB triples, top row first
  int width = 0;
  int height = 0;
};

// Decodes `file` (read from its current position) into *photo. False with *why, a short
// reason for a message ("not a JPEG or PNG file"), when it cannot; `stop`, when set, ends a
// long decode early (false, with why "stopped"). With `headerOnly` only the header is read and
// checked, and photo gets the declared size with no pixels.
bool decodePhoto(std::FILE* file, Photo* photo, std::string* why,
                 const std::atomic<bool>* stop = nullptr, bool headerOnly = false);

// Feeds rows of a width x height RGB picture, top row first, into a box-filtered reduction
// to at most `side` pixels on the longer side (a picture already small enough is copied).
class BoxReducer {
 public:
  BoxReducer(int width, int height, int side, Photo* out);
  void addRow(const unsigned char* rgb);

 private:
  void flush();

  int width_, height_;
  Photo* out_;
  std::vector<int> column_;          // the output column of each input column
  std::vector<unsigned> perColumn_;  // input columns in each output column
  std::vector<unsigned> sums_;       // the output row being gathered, per channel
  int row_ = 0;                      // input rows taken
  int outRow_ = 0;                   // the output row being gathered
  unsigned rowsIn_ = 0;              // input rows gathered into it
};

// The decoders, for decodePhoto and the fuzzer: each reads its format only.
bool decodeJpegPhoto(std::FILE* file, Photo* photo, std::string* why, const std::atomic<bool>* stop,
                     bool headerOnly);
bool decodePngPhoto(std::FILE* file, Photo* photo, std::string* why, const std::atomic<bool>* stop,
                    bool headerOnly);
