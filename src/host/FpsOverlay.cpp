#include "host/FpsOverlay.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

// 5 x 7 glyphs, one byte per row from the top, the leftmost pixel in bit 4.
struct Glyph {
  char character;
  std::uint8_t rows[7];
};

constexpr Glyph kGlyphs[] = {
    {'0', {0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e}},
    {'1', {0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e}},
    {'2', {0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f}},
    {'3', {0x1f, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0e}},
    {'4', {0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02}},
    {'5', {0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e}},
    {'6', {0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e}},
    {'7', {0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e}},
    {'9', {0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c}},
    {'F', {0x1f, 0x10, 0x10, 0x1e, 0x10, 0x10, 0x10}},
    {'P', {0x1e, 0x11, 0x11, 0x1e, 0x10, 0x10, 0x10}},
    {'S', {0x0f, 0x10, 0x10, 0x0e, 0x01, 0x01, 0x1e}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1f}},
    {'o', {0x00, 0x00, 0x0e, 0x11, 0x11, 0x11, 0x0e}},
    {'a', {0x00, 0x00, 0x0e, 0x01, 0x0f, 0x11, 0x0f}},
    {'e', {0x00, 0x00, 0x0e, 0x11, 0x1f, 0x10, 0x0e}},
    {'d', {0x01, 0x01, 0x0d, 0x13, 0x11, 0x11, 0x0f}},
    {':', {0x00, 0x0c, 0x0c, 0x00, 0x0c, 0x0c, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x0c}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {'-', {0x00, 0x00, 0x00, 0x1f, 0x00, 0x00, 0x00}},
};

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

const Glyph* findGlyph(char character) {
  for (const Glyph& glyph : kGlyphs) {
    if (glyph.character == character) {
      return &glyph;
    }
  }
  return nullptr;  // a space, or a character the font lacks: left blank
}

// One line of text with its bottom-left corner at (x, y), `scale` pixels per font pixel.
void drawText(const char* text, int x, int y, int scale) {
  glBegin(GL_QUADS);
  for (const char* c = text; *c != '\0'; c++, x += (kGlyphWidth + 1) * scale) {
    const Glyph* glyph = findGlyph(*c);
    if (glyph == nullptr) {
      continue;
    }
    for (int row = 0; row < kGlyphHeight; row++) {
      int top = y + (kGlyphHeight - row) * scale;
      for (int column = 0; column < kGlyphWidth; column++) {
        if ((glyph->rows[row] >> (kGlyphWidth - 1 - column)) & 1) {
          int left = x + column * scale;
          glVertex2i(left, top - scale);
          glVertex2i(left + scale, top - scale);
          glVertex2i(left + scale, top);
          glVertex2i(left, top);
        }
      }
    }
  }
  glEnd();
}

}  // namespace

void FpsOverlay::showSeed(long long seed) {
  if (seed != seed_) {
    seed_ = seed;
    std::snprintf(seedText_, sizeof seedText_, "Seed: %lld", seed);
  }
}

void FpsOverlay::tickDrawn(double tickStart, double drawSeconds) {
  if (windowStart_ < 0.0) {
    windowStart_ = tickStart;
  }
  double length = tickStart - windowStart_;
  if (length >= 1.0) {
    std::snprintf(fpsText_, sizeof fpsText_, "FPS: %.1f", ticks_ / length);
    std::snprintf(loadText_, sizeof loadText_, "Load: %.1f%%",
                  std::min(100.0, 100.0 * busy_ / length));
    windowStart_ = tickStart;
    ticks_ = 0;
    busy_ = 0.0;
  }
  ticks_++;
  busy_ += drawSeconds;
}

void FpsOverlay::draw(int width, int height, const PixelArea& area) const {
  if (width <= 0 || height <= 0) {
    return;
  }
  // Everything changed here is put back, so the engine's next frame finds its own state.
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_POLYGON_BIT | GL_TRANSFORM_BIT |
               GL_VIEWPORT_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT |
               GL_LIGHTING_BIT | GL_FOG_BIT);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glViewport(0, 0, width, height);

  const GLenum off[] = {GL_TEXTURE_1D,   GL_TEXTURE_2D,   GL_DEPTH_TEST,     GL_BLEND,
                        GL_LIGHTING,     GL_FOG,          GL_CULL_FACE,      GL_ALPHA_TEST,
                        GL_STENCIL_TEST, GL_SCISSOR_TEST, GL_COLOR_LOGIC_OP, GL_POLYGON_STIPPLE,
                        GL_CLIP_PLANE0,  GL_CLIP_PLANE1,  GL_CLIP_PLANE2,    GL_CLIP_PLANE3,
                        GL_CLIP_PLANE4,  GL_CLIP_PLANE5};
  for (GLenum capability : off) {
    glDisable(capability);
  }
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glDepthMask(GL_FALSE);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

  const int scale = std::max(1, std::min(3, area.height / 360));
  const int left = area.left + 4 * scale;
  const int margin = area.bottom + 4 * scale;
  const int line = (kGlyphHeight + 3) * scale;
  // A dark shadow one font pixel down and right keeps the text readable on bright frames.
  const float colours[2][3] = {{0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f}};
  for (int pass = 0; pass < 2; pass++) {
    int shift = pass == 0 ? scale : 0;
    glColor3fv(colours[pass]);
    drawText(seedText_, left + shift, margin - shift, scale);
    drawText(loadText_, left + shift, margin + line - shift, scale);
    drawText(fpsText_, left + shift, margin + 2 * line - shift, scale);
  }

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
}
