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

PixelArea coverCrop(PixelSize picture, PixelSize screen) {
  if (picture.width <= 0 || picture.height <= 0 || screen.width <= 0 || screen.height <= 0) {
    return PixelArea{0, 0, picture.width, picture.height};
  }
  const double scale = std::max(static_cast<double>(screen.width) / picture.width,
                                static_cast<double>(screen.height) / picture.height);
  const int width =
      std::clamp(static_cast<int>(std::lround(screen.width / scale)), 1, picture.width);
  const int height =
      std::clamp(static_cast<int>(std::lround(screen.height / scale)), 1, picture.height);
  return PixelArea{(picture.width - width) / 2, (picture.height - height) / 2, width, height};
}

PixelArea alsoShownOn(PixelArea common, PixelSize picture, PixelSize screen) {
  // Crops are centred, so the narrower of two is inside the wider.
  const PixelArea crop = coverCrop(picture, screen);
  if (crop.width < common.width) {
    common.left = crop.left;
    common.width = crop.width;
  }
  if (crop.height < common.height) {
    common.bottom = crop.bottom;
    common.height = crop.height;
  }
  return common;
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
