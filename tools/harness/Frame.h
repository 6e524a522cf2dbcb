// One RGB frame, 8 bits a channel, top row first: read back from OpenGL, from a PNG file or
// from a compositor's capture.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

struct Frame {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;

  const std::uint8_t* at(int x, int y) const {
    return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
  }
  // Sum of the three channels, 0 for black.
  int brightness(int x, int y) const { return at(x, y)[0] + at(x, y)[1] + at(x, y)[2]; }
  // The width x height part of the frame from (left, top).
  Frame part(int left, int top, int partWidth, int partHeight) const {
    Frame piece;
    piece.width = partWidth;
    piece.height = partHeight;
    for (int y = top; y < top + partHeight; y++) {
      piece.rgb.insert(piece.rgb.end(), at(left, y), at(left, y) + partWidth * 3);
    }
    return piece;
  }
  // Share (0..1) of pixels of exactly this colour.
  double shareOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) const {
    long same = 0;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
      same += rgb[i] == red && rgb[i + 1] == green && rgb[i + 2] == blue;
    }
    return rgb.empty() ? 0.0 : 3.0 * static_cast<double>(same) / static_cast<double>(rgb.size());
  }
  // Share (0..1) of pixels that are not black.
  double litShare() const {
    return share([](int brightest) { return brightest > 0; });
  }
  // Share (0..1) of pixels that are near-black (at most 16) in every channel: the
  // kaleidoscope's ground, where a compositor's own background is grey.
  double darkShare() const {
    return share([](int brightest) { return brightest <= 16; });
  }

 private:
  // Share (0..1) of pixels whose brightest channel passes `test`.
  template <typename Test>
  double share(Test test) const {
    long passing = 0;
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
      passing += test(std::max({rgb[i], rgb[i + 1], rgb[i + 2]}));
    }
    return rgb.empty() ? 0.0 : 3.0 * static_cast<double>(passing) / static_cast<double>(rgb.size());
  }
};
