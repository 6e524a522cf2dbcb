// Feeds arbitrary bytes to the photo decoders (PNG and JPEG, told apart by their first bytes,
// as --photos reads a file): whatever the bytes, the decode must return without crashing,
// leaking or hanging, and a photo it reports is whole and at most 1024 pixels a side.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "photos/PhotoDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) {
    return 0;
  }
  Photo photo;
  std::string why;
  const bool decoded = decodePhoto(file, &photo, &why);
  std::fclose(file);
  if (decoded && (photo.width < 1 || photo.height < 1 || photo.width > kPhotoSide ||
                  photo.height > kPhotoSide ||
                  photo.rgb.size() != static_cast<size_t>(photo.width) * photo.height * 3)) {
    std::fprintf(stderr, "photo_fuzzer: decoded %dx%d with %zu bytes\n", photo.width, photo.height,
                 photo.rgb.size());
    std::abort();
  }
  return 0;
}
