#include "host/DrawnSize.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kSoftwareBudget = 1920.0 * 1080.0;  // pixels a software renderer draws a frame

}  // namespace

bool isSoftwareRenderer(const std::string& renderer) {
  for (const char* name : {"llvmpipe", "softpipe", "swrast"}) {
    if (renderer.find(name) != std::string::npos) {
      return true;
    }
  }
  return false;
}

int drawnSide(int side, double scale) {
  // The small allowance keeps an exact product (3840 * 0.5) from rounding down a pixel.
  return std::max(1, static_cast<int>(std::floor(side * scale + 1e-9)));
}

double DrawnSize::scale(PixelSize shown) const {
  if (requested()) {
    return std::clamp(requested_, kSmallestDrawScale, 1.0);
  }
  const double pixels = static_cast<double>(shown.width) * static_cast<double>(shown.height);
  if (!software_ || pixels <= kSoftwareBudget) {
    return 1.0;
  }
  return std::max(kSmallestDrawScale, std::sqrt(kSoftwareBudget / pixels));
}

PixelSize DrawnSize::of(PixelSize shown) const {
  const double share = scale(shown);
  if (share >= 1.0) {
    return shown;
  }
  return PixelSize{drawnSide(shown.width, share), drawnSide(shown.height, share)};
}

double DrawnSize::mostPixels(PixelSize screen) const {
  const double pixels = static_cast<double>(screen.width) * static_cast<double>(screen.height);
  // The automatic choice draws the budget at most where drawing costs: on a software renderer.
  return requested() ? pixels * requested_ * requested_ : std::min(pixels, kSoftwareBudget);
}
