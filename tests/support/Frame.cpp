#include "support/Frame.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

double Frame::litShare() const {
  long lit = 0;
  for (size_t i = 0; i < rgb.size(); i += 3) {
    lit += rgb[i] + rgb[i + 1] + rgb[i + 2] > 0;
  }
  return rgb.empty() ? 0.0 : 3.0 * lit / rgb.size();
}

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

static bool Differs(const std::uint8_t* a, const std::uint8_t* b, int tolerance) {
  return std::abs(a[0] - b[0]) > tolerance || std::abs(a[1] - b[1]) > tolerance ||
         std::abs(a[2] - b[2]) > tolerance;
}

double MirrorMismatch(const Frame& frame, int tolerance) {
  long differing = 0;
  for (int i = 0; i < frame.width * frame.height; i++) {
    const int x = i % frame.width, y = i / frame.width;
    differing += Differs(frame.at(x, y), frame.at(frame.width - 1 - x, y), tolerance);
  }
  return static_cast<double>(differing) / (frame.width * frame.height);
}

double RotationMismatch(const Frame& frame, double degrees, double innerRadius, double outerRadius,
                        int tolerance) {
  const double turn = degrees * M_PI / 180.0, cx = frame.width / 2.0, cy = frame.height / 2.0;
  long compared = 0, differing = 0;
  for (int i = 0; i < frame.width * frame.height; i++) {
    const int x = i % frame.width, y = i / frame.width;
    const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, r = std::hypot(dx, dy);
    const int tx = static_cast<int>(std::floor(cx + dx * std::cos(turn) - dy * std::sin(turn)));
    const int ty = static_cast<int>(std::floor(cy + dx * std::sin(turn) + dy * std::cos(turn)));
    if (r >= innerRadius && r <= outerRadius && tx >= 0 && ty >= 0 && tx < frame.width &&
        ty < frame.height) {
      compared++;
      differing += Differs(frame.at(x, y), frame.at(tx, ty), tolerance);
    }
  }
  return compared == 0 ? 1.0 : static_cast<double>(differing) / compared;
}

::testing::AssertionResult IsSymmetricKaleidoscope(const Frame& frame) {
  long lit = 0;  // brighter than near-black in some channel
  for (size_t i = 0; i < frame.rgb.size(); i += 3) {
    lit += std::max({frame.rgb[i], frame.rgb[i + 1], frame.rgb[i + 2]}) > 16;
  }
  const double mismatch = frame.rgb.empty() ? 1.0 : MirrorMismatch(frame, 48);
  if (frame.rgb.empty() || lit < 0.01 * frame.width * frame.height || mismatch > 0.02) {
    return ::testing::AssertionFailure()
           << lit << " of " << frame.width << "x" << frame.height << " pixels lit, "
           << mismatch * 100 << "% differ from their mirror image";
  }
  return ::testing::AssertionSuccess();
}
