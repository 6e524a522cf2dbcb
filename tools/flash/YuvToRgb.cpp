#include "YuvToRgb.h"

#include <cmath>

namespace {

constexpr double kOne = 65536.0;

}  // namespace

YuvToRgb::YuvToRgb(YuvMatrix matrix, bool fullRange) {
  // The weights of red and blue in luma; green's is the rest.
  const double kr = matrix == YuvMatrix::Bt601 ? 0.299 : 0.2126;
  const double kb = matrix == YuvMatrix::Bt601 ? 0.114 : 0.0722;
  const double kg = 1.0 - kr - kb;
  for (int i = 0; i < 256; i++) {
    // Luma from 0 to 1 and colour differences from -0.5 to 0.5, in 8-bit steps of 0 to 255.
    const double luma = fullRange ? i : (i - 16) * 255.0 / 219.0;
    const double difference = fullRange ? i - 128.0 : (i - 128) * 255.0 / 224.0;
    luma_[i] = static_cast<std::int32_t>(std::lround(luma * kOne));
    redFromCr_[i] = static_cast<std::int32_t>(std::lround(2.0 * (1.0 - kr) * difference * kOne));
    blueFromCb_[i] = static_cast<std::int32_t>(std::lround(2.0 * (1.0 - kb) * difference * kOne));
    greenFromCb_[i] =
        static_cast<std::int32_t>(std::lround(-2.0 * kb * (1.0 - kb) / kg * difference * kOne));
    greenFromCr_[i] =
        static_cast<std::int32_t>(std::lround(-2.0 * kr * (1.0 - kr) / kg * difference * kOne));
  }
}

void YuvToRgb::convert(const Y4mReader& reader, std::uint32_t* rgb) const {
  const Y4mFormat& format = reader.format();
  const std::uint8_t* luma = reader.luma();
  if (format.mono) {
    for (long i = 0, n = static_cast<long>(format.width) * format.height; i < n; i++) {
      rgb[i] = pixel(luma[i], 128, 128);
    }
    return;
  }
  const int chromaWidth = format.chromaWidth();
  for (int y = 0; y < format.height; y++) {
    const long row = static_cast<long>(y >> format.chromaShiftY) * chromaWidth;
    const std::uint8_t* cb = reader.blueDifference() + row;
    const std::uint8_t* cr = reader.redDifference() + row;
    for (int x = 0; x < format.width; x++) {
      const int c = x >> format.chromaShiftX;
      *rgb++ = pixel(*luma++, cb[c], cr[c]);
    }
  }
}
