// How large the view draws, decided once for every surface: a share of each side of the picture
// a surface shows (--scale, 0.25 to 1), or a share chosen from the renderer, 1 on a graphics
// card and, on a software renderer (which draws every pixel on the processor), the largest that
// draws at most 1920x1080 pixels. The surface then enlarges what was drawn over what it shows,
// in present, each pixel repeated. Sizes are in pixels.
#pragma once

#include <string>

constexpr double kSmallestDrawScale = 0.25;

struct PixelSize {
  int width = 0;
  int height = 0;
  bool operator==(const PixelSize& other) const {
    return width == other.width && height == other.height;
  }
  bool operator!=(const PixelSize& other) const { return !(*this == other); }
};

// A part of a picture, in pixels from its bottom-left corner (OpenGL's way).
struct PixelArea {
  int left = 0;
  int bottom = 0;
  int width = 0;
  int height = 0;
};

// The part of a picture that a screen of another shape shows, decided once for every surface
// that shows one picture on several screens: the picture is scaled to cover the screen, by the
// larger of the two ratios, and the excess is cut evenly from the longer side (centred).
PixelArea coverCrop(PixelSize picture, PixelSize screen);
// The part of `common` (a part of a picture) that a `screen` also shows whole, as coverCrop crops
// the picture for it. Begun with the whole picture and narrowed by every screen, it is where
// corner text goes so that each screen shows all of it.
PixelArea alsoShownOn(PixelArea common, PixelSize picture, PixelSize screen);

// True for Mesa's software rasterisers (llvmpipe, softpipe, swrast), named by GL_RENDERER.
bool isSoftwareRenderer(const std::string& renderer);

// One side of the drawn picture: never more than side * scale, never less than 1.
int drawnSide(int side, double scale);

class DrawnSize {
 public:
  // `requested`: a share of each side (0.25 to 1), or 0 for the automatic choice.
  explicit DrawnSize(double requested = 0.0) : requested_(requested) {}

  // The renderer (GL_RENDERER) the automatic choice depends on; until it is known, a graphics
  // card is assumed.
  void setRenderer(const std::string& renderer) { software_ = isSoftwareRenderer(renderer); }
  bool requested() const { return requested_ > 0.0; }

  // The share of each side drawn of a picture shown at `shown`.
  double scale(PixelSize shown) const;
  // The size the view draws a picture shown at `shown` at.
  PixelSize of(PixelSize shown) const;
  // The most pixels a frame shown on a `screen` may be drawn with, before the renderer is known:
  // for choosing the renderer's threads before OpenGL starts.
  double mostPixels(PixelSize screen) const;

 private:
  double requested_;
  bool software_ = false;
};
