// Draws the mask atlas DiscMasks.jpg: a one-component JPEG of eight 64x64 cells side by side,
// white where a piece is opaque, with soft edges. Cell order, left to right: disc, ring,
// six-petal flower, five-pointed star, drop, crescent, hexagon, heart. Shapes are centred in
// their cells and keep a clear margin, so linear filtering never picks up a neighbour.
//
// Usage: make-disc-masks OUTPUT.jpg
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "JpegWriter.h"

namespace {

constexpr int kCell = 64;
constexpr int kCells = 8;
constexpr int kWidth = kCell * kCells;
constexpr int kHeight = kCell;
constexpr int kSamples = 8;  // per pixel and axis, for the anti-aliased edge
constexpr double kPi = 3.14159265358979323846;

// Cell coordinates: origin at the cell's centre, y up, one unit per pixel.
using Shape = std::function<bool(double x, double y)>;

bool inCircle(double x, double y, double cx, double cy, double r) {
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

// Inside the polygon given by its corners (even-odd rule).
bool inPolygon(double x, double y, const std::vector<double>& xs, const std::vector<double>& ys) {
  bool inside = false;
  for (size_t i = 0, j = xs.size() - 1; i < xs.size(); j = i++) {
    if ((ys[i] > y) != (ys[j] > y) && x < (xs[j] - xs[i]) * (y - ys[i]) / (ys[j] - ys[i]) + xs[i]) {
      inside = !inside;
    }
  }
  return inside;
}

bool disc(double x, double y) { return inCircle(x, y, 0, 0, 27); }

bool ring(double x, double y) { return inCircle(x, y, 0, 0, 27) && !inCircle(x, y, 0, 0, 17); }

// Six round petals around a small heart, with a hole in the middle.
bool flower(double x, double y) {
  double r = std::hypot(x, y);
  double a = std::atan2(y, x);
  double edge = 14.0 + 13.0 * std::pow(std::fabs(std::cos(3.0 * a)), 0.7);
  return r <= edge && r >= 4.0;
}

bool star(double x, double y) {
  std::vector<double> xs, ys;
  for (int i = 0; i < 10; i++) {
    double radius = i % 2 == 0 ? 28.0 : 12.0;
    double a = kPi / 2 + i * kPi / 5;
    xs.push_back(radius * std::cos(a));
    ys.push_back(radius * std::sin(a) - 2.0);
  }
  return inPolygon(x, y, xs, ys);
}

// A round body at the bottom and a point at the top, joined along the body's tangents.
bool drop(double x, double y) {
  const double cy = -9.0, r = 18.0, tipY = 28.0;
  if (inCircle(x, y, 0, cy, r)) {
    return true;
  }
  double d = tipY - cy;
  double halfAngle = std::asin(r / d);
  double length = std::sqrt(d * d - r * r);
  double leftX = -length * std::sin(halfAngle), leftY = tipY - length * std::cos(halfAngle);
  return inPolygon(x, y, {0.0, leftX, -leftX}, {tipY, leftY, leftY});
}

bool crescent(double x, double y) { return inCircle(x, y, 0, 0, 27) && !inCircle(x, y, 11, 7, 22); }

bool hexagon(double x, double y) {
  std::vector<double> xs, ys;
  for (int i = 0; i < 6; i++) {
    double a = i * kPi / 3;
    xs.push_back(28.0 * std::cos(a));
    ys.push_back(28.0 * std::sin(a));
  }
  return inPolygon(x, y, xs, ys);
}

// The classic implicit heart, (u^2 + v^2 - 1)^3 <= u^2 v^3, scaled to the cell.
bool heart(double x, double y) {
  double u = x / 22.0;
  double v = (y + 3.0) / 22.0;
  double k = u * u + v * v - 1.0;
  return k * k * k <= u * u * v * v * v;
}

// Coverage of one cell, 0..1 per pixel, top row first.
std::vector<double> rasterize(const Shape& inside) {
  std::vector<double> coverage(kCell * kCell, 0.0);
  for (int row = 0; row < kCell; row++) {
    for (int column = 0; column < kCell; column++) {
      int hits = 0;
      for (int sy = 0; sy < kSamples; sy++) {
        for (int sx = 0; sx < kSamples; sx++) {
          double x = column + (sx + 0.5) / kSamples - kCell / 2.0;
          double y = kCell / 2.0 - (row + (sy + 0.5) / kSamples);
          hits += inside(x, y) ? 1 : 0;
        }
      }
      coverage[row * kCell + column] = static_cast<double>(hits) / (kSamples * kSamples);
    }
  }
  return coverage;
}

// A small [1 2 1] blur in both directions: edges a little softer than the bare coverage.
std::vector<double> soften(const std::vector<double>& coverage) {
  auto at = [&](const std::vector<double>& image, int column, int row) {
    column = std::clamp(column, 0, kCell - 1);
    row = std::clamp(row, 0, kCell - 1);
    return image[row * kCell + column];
  };
  std::vector<double> across(coverage.size()), soft(coverage.size());
  for (int row = 0; row < kCell; row++) {
    for (int column = 0; column < kCell; column++) {
      across[row * kCell + column] =
          (at(coverage, column - 1, row) + 2 * at(coverage, column, row) +
           at(coverage, column + 1, row)) /
          4;
    }
  }
  for (int row = 0; row < kCell; row++) {
    for (int column = 0; column < kCell; column++) {
      soft[row * kCell + column] = (at(across, column, row - 1) + 2 * at(across, column, row) +
                                    at(across, column, row + 1)) /
                                   4;
    }
  }
  return soft;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.jpg\n", argv[0]);
    return 2;
  }
  const Shape shapes[kCells] = {disc, ring, flower, star, drop, crescent, hexagon, heart};
  std::vector<std::uint8_t> pixels(kWidth * kHeight, 0);
  for (int cell = 0; cell < kCells; cell++) {
    std::vector<double> mask = soften(rasterize(shapes[cell]));
    for (int row = 0; row < kCell; row++) {
      for (int column = 0; column < kCell; column++) {
        double value = std::lround(mask[row * kCell + column] * 255.0);
        pixels[row * kWidth + cell * kCell + column] = static_cast<std::uint8_t>(value);
      }
    }
  }
  if (!writeJpeg(argv[1], kWidth, kHeight, 1, pixels)) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
