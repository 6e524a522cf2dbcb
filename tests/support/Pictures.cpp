#include "support/Pictures.h"

#include <png.h>

#include <algorithm>

bool readPng(const std::string& path, Frame* frame, std::string* error) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str())) {
    image.format = PNG_FORMAT_RGB;
    frame->width = static_cast<int>(image.width);
    frame->height = static_cast<int>(image.height);
    frame->rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, frame->rgb.data(), 0, nullptr)) {
      return true;
    }
  }
  *error = path + ": " + image.message;
  png_image_free(&image);
  return false;
}

::testing::AssertionResult IsSymmetricKaleidoscope(const Frame& frame, int skipBottomRows) {
  Frame top = frame;
  top.height = std::max(0, frame.height - skipBottomRows);
  top.rgb.resize(static_cast<size_t>(top.width) * top.height * 3);
  long lit = 0;  // brighter than near-black in some channel
  for (size_t i = 0; i < top.rgb.size(); i += 3) {
    lit += std::max({top.rgb[i], top.rgb[i + 1], top.rgb[i + 2]}) > 16;
  }
  const double mismatch = top.rgb.empty() ? 1.0 : MirrorMismatch(top, 48);
  if (top.rgb.empty() || lit < 0.01 * top.width * top.height || mismatch > 0.02) {
    return ::testing::AssertionFailure()
           << lit << " of " << top.width << "x" << top.height << " pixels lit, " << mismatch * 100
           << "% differ from their mirror image";
  }
  return ::testing::AssertionSuccess();
}
