// The --fps overlay: "FPS: x", "Load: y%" and "Seed: n" in the bottom-left corner, drawn with
// a small built-in pixel font. Load is the share of each tick spent drawing; the seed is the
// one the scene was drawn from, so a pattern someone likes can be found again with --seed. The
// text changes once a second; drawing it allocates nothing and leaves the OpenGL state as it
// found it.
#pragma once

#include "host/DrawnSize.h"

class FpsOverlay {
 public:
  // The seed the scene on screen was drawn from; the text is made again only when it changes.
  void showSeed(long long seed);

  // Records one tick that began at `tickStart` and spent `drawSeconds` drawing. Times are
  // seconds on any steady clock.
  void tickDrawn(double tickStart, double drawSeconds);
  // Draws on the current context, whose drawable is width x height pixels, with the text's
  // bottom-left corner in `area` (pixels from the drawable's bottom left).
  void draw(int width, int height, const PixelArea& area) const;

 private:
  double windowStart_ = -1.0;  // start of the current one-second window; < 0 before the first
  int ticks_ = 0;
  double busy_ = 0.0;  // seconds spent drawing in the window
  char fpsText_[32] = "FPS: -";
  char loadText_[32] = "Load: -";
  long long seed_ = -1;  // none shown yet
  char seedText_[32] = "Seed: -";
};
