// The scene's photos: the slots it shows them from, their textures, the random sequence that
// picks photos, crops and replacements (its own, so that the scene's rand() draws the same
// with photos as without), and the drawing of one piece as a crop of a photo through its mask.
#pragma once

#include <GL/gl.h>

#include <cstdint>

#include "objects/PhotoFeed.h"

// SplitMix64: small, fast, and the same on every machine.
class PhotoChoices {
 public:
  void seed(std::uint64_t value) { state_ = value; }
  std::uint32_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
  }
  // From 0 to 1, 1 excluded.
  float unit() { return static_cast<float>(next() >> 8) / 16777216.0f; }

 private:
  std::uint64_t state_ = 0;
};

// Where a piece's square lies in its photo, as shares of the photo's shorter side and of the
// room left around the square.
struct PhotoCrop {
  int slot = 0;
  float side = 1.0f;  // the square's side over the photo's shorter side
  float across = 0.5f, down = 0.5f;
};

class PhotoSlots {
 public:
  PhotoSlots() = default;
  ~PhotoSlots();
  PhotoSlots(const PhotoSlots&) = delete;
  PhotoSlots& operator=(const PhotoSlots&) = delete;

  void seed(long long value) { choices_.seed(static_cast<std::uint64_t>(value)); }
  // A new crop for a piece, drawn whether or not there are photos.
  PhotoCrop pickCrop();
  // Once a frame, at scene time `now`, before the frame is recorded: the first requests,
  // replacements every kReplaceSeconds, and the photos that came in, uploaded (with a feed,
  // the context must be current).
  void update(PhotoFeed* feed, double now);
  // Whether the crop's slot has a photo to show this frame.
  bool shows(const PhotoCrop& crop) const;
  // Records the square of side 2 about the origin, as the tinted piece is drawn, with the
  // photo's crop on unit 0 and the mask (`atlas`, 0 for none) on unit 1, the atlas rectangle
  // tx, ty, tw, th; `roll` is the piece's turn (degrees, as it is drawn turned by -roll), which
  // the photo does not follow; `lag` is how far (in the square's half sides, along the
  // wedge's x axis) the photo lags behind the square as it slides through it; `brightness` and
  // `alpha` are the pulse's. Leaves unit 0 active with the atlas bound (or texturing off
  // without one), as the tinted pieces expect.
  void drawPiece(const PhotoCrop& crop, GLuint atlas, const float atlasRect[4], float roll,
                 float lag, float brightness, float alpha) const;

 private:
  void upload(int slot, const PhotoPixels& pixels);

  PhotoChoices choices_;
  bool started_ = false;
  double nextReplace_ = 0.0;
  int nextSlot_ = 0;
  GLuint textures_[kPhotoSlots] = {};
  int width_[kPhotoSlots] = {};  // of each slot's texture; 0 while it has none
  int height_[kPhotoSlots] = {};
};

// Scene seconds between two replacements of one of the photos held.
constexpr double kReplaceSeconds = 20.0;
