#include "host/DrawScale.h"

#include <algorithm>
#include <cmath>
#include <cstring>

bool isSoftwareRenderer(const char* renderer) {
  if (renderer == nullptr) {
    return false;
  }
  for (const char* name : {"llvmpipe", "softpipe", "swrast"}) {
    if (std::strstr(renderer, name) != nullptr) {
      return true;
    }
  }
  return false;
}

double chooseDrawScale(double requested, const char* renderer, int width, int height) {
  if (requested > 0.0) {
    return std::clamp(requested, kSmallestDrawScale, 1.0);
  }
  const double pixels = static_cast<double>(width) * static_cast<double>(height);
  const double budget = 1920.0 * 1080.0;
  if (!isSoftwareRenderer(renderer) || pixels <= budget) {
    return 1.0;
  }
  return std::max(kSmallestDrawScale, std::sqrt(budget / pixels));
}

int drawnSide(int side, double scale) {
  // The small allowance keeps an exact product (3840 * 0.5) from rounding down a pixel.
  return std::max(1, static_cast<int>(std::floor(side * scale + 1e-9)));
}
