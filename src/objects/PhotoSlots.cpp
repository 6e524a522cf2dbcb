#include "objects/PhotoSlots.h"

#include <algorithm>
#include <cmath>

namespace {

// A crop is half to nine tenths of the photo's shorter side: large enough that a face or a
// landscape is still one, small enough that pieces of one photo differ.
constexpr float kLeastCrop = 0.5f;
constexpr float kCropSpan = 0.4f;
// Mipmap levels the photo is drawn blurrier than the pixels allow: a sharp edge moving over a
// pixel flashes it, a soft one less.
constexpr float kPhotoBlur = 1.0f;

}  // namespace

PhotoSlots::~PhotoSlots() {
  if (textures_[0] != 0) {
    glDeleteTextures(kPhotoSlots, textures_);
  }
}

PhotoCrop PhotoSlots::pickCrop() {
  PhotoCrop crop;
  crop.slot = static_cast<int>(choices_.next() % kPhotoSlots);
  crop.side = kLeastCrop + kCropSpan * choices_.unit();
  crop.across = choices_.unit();
  crop.down = choices_.unit();
  return crop;
}

void PhotoSlots::update(PhotoFeed* feed, double now) {
  if (feed == nullptr) {
    return;
  }
  if (!started_) {
    started_ = true;
    for (int slot = 0; slot < kPhotoSlots; slot++) {
      feed->request(slot, choices_.next());
    }
    nextReplace_ = now + kReplaceSeconds;
  }
  if (now >= nextReplace_) {
    // The slot's texture keeps its photo until the next one is ready.
    feed->request(nextSlot_, choices_.next());
    nextSlot_ = (nextSlot_ + 1) % kPhotoSlots;
    nextReplace_ += kReplaceSeconds;
    // A clock that jumped (a suspended machine) asks for one photo, not for every one missed.
    nextReplace_ = std::max(nextReplace_, now);
  }
  for (int slot = 0; slot < kPhotoSlots; slot++) {
    PhotoPixels pixels;
    if (feed->ready(slot, &pixels)) {
      upload(slot, pixels);
    }
  }
}

void PhotoSlots::upload(int slot, const PhotoPixels& pixels) {
  if (textures_[0] == 0) {
    glGenTextures(kPhotoSlots, textures_);
    for (GLuint texture : textures_) {
      glBindTexture(GL_TEXTURE_2D, texture);
      // A photo sliding through its piece (lag) goes on in its mirror image at the edges.
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_MIRRORED_REPEAT);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_MIRRORED_REPEAT);
      // Mipmapped: a crop of hundreds of pixels drawn in tens would shimmer as it moves.
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    }
  }
  glBindTexture(GL_TEXTURE_2D, textures_[slot]);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, pixels.width, pixels.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
               pixels.rgb);
  glPopClientAttrib();
  width_[slot] = pixels.width;
  height_[slot] = pixels.height;
}

bool PhotoSlots::shows(const PhotoCrop& crop) const { return width_[crop.slot] > 0; }

void PhotoSlots::drawPiece(const PhotoCrop& crop, GLuint atlas, const float atlasRect[4],
                           float roll, float lag, float brightness, float alpha) const {
  const float width = static_cast<float>(width_[crop.slot]);
  const float height = static_cast<float>(height_[crop.slot]);
  const float side = crop.side * std::min(width, height);
  // The crop's centre and half its side, in texture coordinates.
  const float uc = (crop.across * (width - side) + side / 2.0f) / width, hu = side / width / 2.0f;
  const float vc = (crop.down * (height - side) + side / 2.0f) / height, hv = side / height / 2.0f;
  const float tx = atlasRect[0], ty = atlasRect[1], tw = atlasRect[2], th = atlasRect[3];
  // The photo stays upright while the mask turns: a photo's edges turning as fast as the masks
  // do (up to 225 degrees a second) would flash wherever they are sharp. Its corners, beyond
  // the mask's disc, may lie outside the crop.
  const float turn = -roll * static_cast<float>(M_PI) / 180.0f;
  const float c = std::cos(turn), s = std::sin(turn);

  glActiveTexture(GL_TEXTURE0);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, textures_[crop.slot]);
  glTexEnvf(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS, kPhotoBlur);
  if (atlas != 0) {
    // The mask as alpha: GL_MODULATE over an alpha texture keeps the photo's colours.
    glActiveTexture(GL_TEXTURE1);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, atlas);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_MODULATE));
  }
  glBegin(GL_QUADS);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glColor4f(brightness, brightness, brightness, alpha);
  const float corners[4][2] = {{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}};
  for (const auto& corner : corners) {
    const float right = (corner[0] + 1.0f) / 2.0f, bottom = (1.0f - corner[1]) / 2.0f;
    const float x = c * corner[0] - s * corner[1] + lag, y = s * corner[0] + c * corner[1];
    glMultiTexCoord2f(GL_TEXTURE0, uc + x * hu, vc - y * hv);
    glMultiTexCoord2f(GL_TEXTURE1, tx + right * tw, ty + bottom * th);
    glVertex3f(corner[0], corner[1], 0.0f);
  }
  glEnd();
  if (atlas != 0) {
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
  }
  glTexEnvf(GL_TEXTURE_FILTER_CONTROL, GL_TEXTURE_LOD_BIAS, 0.0f);
  if (atlas != 0) {
    glBindTexture(GL_TEXTURE_2D, atlas);
  } else {
    glDisable(GL_TEXTURE_2D);
  }
}
