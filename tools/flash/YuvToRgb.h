// From a stream's Y'CbCr to 8-bit sRGB, by the stream's matrix (BT.601 or BT.709) and range
// (full, or limited to 16..235 and 16..240), through tables made once.
#pragma once

#include <algorithm>
#include <cstdint>

#include "Y4mReader.h"

enum class YuvMatrix { Bt601, Bt709 };

class YuvToRgb {
 public:
  YuvToRgb(YuvMatrix matrix, bool fullRange);

  // One pixel, packed as 0x00BBGGRR.
  std::uint32_t pixel(int luma, int blueDifference, int redDifference) const {
    const std::int32_t y = luma_[luma];
    return Channel(y + redFromCr_[redDifference]) |
           Channel(y + greenFromCb_[blueDifference] + greenFromCr_[redDifference]) << 8 |
           Channel(y + blueFromCb_[blueDifference]) << 16;
  }
  // Every pixel of the reader's latest frame into `rgb` (width x height, rows top first). A
  // colour sample serves every pixel it covers.
  void convert(const Y4mReader& reader, std::uint32_t* rgb) const;

 private:
  static std::uint32_t Channel(std::int32_t fixed) {
    return static_cast<std::uint32_t>(std::clamp((fixed + (1 << 15)) >> 16, 0, 255));
  }

  // Contributions to R', G' and B' in 8-bit steps, fixed point with 16 fractional bits.
  std::int32_t luma_[256];
  std::int32_t redFromCr_[256];
  std::int32_t greenFromCb_[256];
  std::int32_t greenFromCr_[256];
  std::int32_t blueFromCb_[256];
};
