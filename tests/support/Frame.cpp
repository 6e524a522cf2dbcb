#include "support/Frame.h"

#include <cmath>
#include <cstdlib>

namespace {

bool Differs(const std::uint8_t* a, const std::uint8_t* b, int tolerance) {
  for (int c = 0; c < 3; c++) {
    if (std::abs(a[c] - b[c]) > tolerance) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool Frame::isBlack() const { return litShare() == 0.0; }

double Frame::litShare() const {
  long lit = 0;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      lit += brightness(x, y) > 0;
    }
  }
  return width * height == 0 ? 0.0 : static_cast<double>(lit) / (width * height);
}

double MirrorMismatch(const Frame& frame, int tolerance) {
  long differing = 0;
  for (int y = 0; y < frame.height; y++) {
    for (int x = 0; x < frame.width; x++) {
      differing += Differs(frame.at(x, y), frame.at(frame.width - 1 - x, y), tolerance);
    }
  }
  return static_cast<double>(differing) / (frame.width * frame.height);
}

double RotationMismatch(const Frame& frame, double degrees, double innerRadius, double outerRadius,
                        int tolerance) {
  const double turn = degrees * M_PI / 180.0;
  const double cx = frame.width / 2.0;
  const double cy = frame.height / 2.0;
  long compared = 0;
  long differing = 0;
  for (int y = 0; y < frame.height; y++) {
    for (int x = 0; x < frame.width; x++) {
      double dx = x + 0.5 - cx;
      double dy = y + 0.5 - cy;
      double r = std::hypot(dx, dy);
      if (r < innerRadius || r > outerRadius) {
        continue;
      }
      int tx = static_cast<int>(std::floor(cx + dx * std::cos(turn) - dy * std::sin(turn)));
      int ty = static_cast<int>(std::floor(cy + dx * std::sin(turn) + dy * std::cos(turn)));
      if (tx < 0 || ty < 0 || tx >= frame.width || ty >= frame.height) {
        continue;
      }
      compared++;
      differing += Differs(frame.at(x, y), frame.at(tx, ty), tolerance);
    }
  }
  return compared == 0 ? 1.0 : static_cast<double>(differing) / compared;
}
