#include "photos/PhotoDecode.h"

#include <algorithm>
#include <cstring>

bool decodePhoto(std::FILE* file, Photo* photo, std::string* why, const std::atomic<bool>* stop,
                 bool headerOnly) {
  unsigned char magic[8] = {};
  const size_t got = std::fread(magic, 1, sizeof magic, file);
  if (got == 0) {
    *why = "empty file";
    return false;
  }
  std::rewind(file);
  if (got >= 3 && magic[0] == 0xff && magic[1] == 0xd8 && magic[2] == 0xff) {
    return decodeJpegPhoto(file, photo, why, stop, headerOnly);
  }
  static const unsigned char kPngMagic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (got == sizeof magic && std::memcmp(magic, kPngMagic, sizeof magic) == 0) {
    return decodePngPhoto(file, photo, why, stop, headerOnly);
  }
  *why = "not a JPEG or PNG file";
  return false;
}

BoxReducer::BoxReducer(int width, int height, int side, Photo* out)
    : width_(width), height_(height), out_(out) {
  const int longer = std::max(width, height);
  out->width = longer <= side ? width : std::max(1, static_cast<int>(1LL * width * side / longer));
  out->height =
      longer <= side ? height : std::max(1, static_cast<int>(1LL * height * side / longer));
  out->rgb.assign(static_cast<size_t>(out->width) * out->height * 3, 0);
  column_.resize(width);
  perColumn_.assign(out->width, 0);
  for (int x = 0; x < width; x++) {
    column_[x] = static_cast<int>(1LL * x * out->width / width);
    perColumn_[column_[x]]++;
  }
  sums_.assign(static_cast<size_t>(out->width) * 3, 0);
}

void BoxReducer::addRow(const unsigned char* rgb) {
  if (row_ >= height_) {
    return;
  }
  const int outRow = static_cast<int>(1LL * row_ * out_->height / height_);
  if (outRow != outRow_) {
    flush();
    outRow_ = outRow;
  }
  for (int x = 0; x < width_; x++) {
    unsigned* sum = &sums_[static_cast<size_t>(column_[x]) * 3];
    sum[0] += rgb[3 * x];
    sum[1] += rgb[3 * x + 1];
    sum[2] += rgb[3 * x + 2];
  }
  rowsIn_++;
  if (++row_ == height_) {
    flush();
  }
}

void BoxReducer::flush() {
  if (rowsIn_ == 0) {
    return;
  }
  unsigned char* out = &out_->rgb[static_cast<size_t>(outRow_) * out_->width * 3];
  for (int x = 0; x < out_->width; x++) {
    const unsigned count = perColumn_[x] * rowsIn_;
    for (int c = 0; c < 3; c++) {
      out[3 * x + c] = static_cast<unsigned char>((sums_[3 * x + c] + count / 2) / count);
    }
  }
  std::fill(sums_.begin(), sums_.end(), 0);
  rowsIn_ = 0;
}
