// A picture in memory: 8-bit RGB, top row first, rows tightly packed (width * 3 bytes). What the
// frame sinks write; read back from the drawable the view has just drawn.
#pragma once

#include <cstdint>
#include <vector>

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

// The width x height pixels at the lower-left corner of the current context's read buffer
// (what the view has just drawn) into *picture, top row first. The buffer is reused.
void readDrawnImage(int width, int height, RgbImage* picture);

// `from` made width x height by repeating pixels (nearest neighbour; at a factor of exactly 2
// every pixel becomes a 2x2 block) into *to, whose buffer is reused.
void enlargeImage(const RgbImage& from, int width, int height, RgbImage* to);
