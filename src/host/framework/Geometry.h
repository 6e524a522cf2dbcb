// Rectangles and sizes of the framework stand-ins. Units are points, as floats; on this host
// one point is one pixel.
#pragma once

struct Point {
  float x = 0.0f;
  float y = 0.0f;
};

struct Size {
  float width = 0.0f;
  float height = 0.0f;
};

struct Rect {
  Point origin;
  Size size;
};

// The empty rectangle (0, 0, 0, 0).
constexpr Rect ZeroRect{};
