// Guards the --fps overlay as a user sees it, read back from pixels: three lines of text in the
// bottom-left corner, sized to the window's height, each line changing when its figure does
// (the frame rate once a second's window closes, the seed when another is shown), and the
// OpenGL state left as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <tuple>

#include "host/FpsOverlay.h"
#include "support/GlTest.h"

namespace {

class Overlay : public GlTest {
 protected:
  // The overlay drawn over black on a width x height surface.
  Frame drawn(const FpsOverlay& overlay, int width, int height) {
    resizeSurface(width, height);
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    overlay.draw(width, height, PixelArea{0, 0, width, height});
    return readFrame();
  }
};

// The lit pixels of each of the three text lines' rows (10 a line, counted from the bottom) as
// text: what changes when the text on that line changes.
std::array<std::string, 3> textLines(const Frame& frame) {
  std::array<std::string, 3> lines;
  for (int row = 0; row < 30; row++) {
    for (int x = 0; x < frame.width; x++) {
      lines[row / 10] += frame.brightness(x, frame.height - 1 - row) > 0 ? '#' : '.';
    }
  }
  return lines;
}

TEST_F(Overlay, ThreeLinesBottomLeftEachFollowingItsFigure) {
  FpsOverlay overlay;
  overlay.showSeed(1700000000);
  for (int height : {360, 1080}) {
    const int scale = height / 360, width = 640 * scale;
    const Frame frame = drawn(overlay, width, height);
    int right = 0, top = 0;
    for (int i = 0; i < width * height; i++) {
      const int x = i % width, y = i / width;
      right = std::max(right, frame.brightness(x, y) > 0 ? x : 0);
      top = std::max(top, frame.brightness(x, y) > 0 ? height - 1 - y : 0);
    }
    // Three lines of 7-pixel glyphs 10 apart, 4 from the edges, the longest of 16 characters.
    EXPECT_LT(right, (4 + 16 * 6) * scale) << height;
    EXPECT_LT(top, (4 + 2 * 10 + 7 + 1) * scale) << height;
    EXPECT_GT(yellowIn(frame, 0, 0, width, height), 100 * scale * scale) << height;
  }
  const auto before = textLines(drawn(overlay, 640, 360));
  overlay.showSeed(42);
  const auto seeded = textLines(drawn(overlay, 640, 360));
  EXPECT_NE(seeded[0], before[0]) << "the seed line";
  EXPECT_EQ(seeded[2], before[2]) << "the frame-rate line";
  for (int tick = 0; tick <= 30; tick++) {  // a second of ticks at 30 a second
    overlay.tickDrawn(tick / 30.0, 0.005);
  }
  const auto measured = textLines(drawn(overlay, 640, 360));
  EXPECT_NE(measured[2], seeded[2]) << "the frame-rate line";
  EXPECT_NE(measured[1], seeded[1]) << "the load line";
  EXPECT_EQ(measured[0], seeded[0]) << "the seed line";
}

TEST_F(Overlay, LeavesTheOpenGlStateAsItFoundIt) {
  FpsOverlay overlay;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-2, 2, -1, 1, 1, 9);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(1, 2, 3);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CLIP_PLANE0);
  glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
  const auto projection = floats(GL_PROJECTION_MATRIX), modelview = floats(GL_MODELVIEW_MATRIX);
  const auto colour = floats<4>(GL_CURRENT_COLOR);
  overlay.draw(kWidth, kHeight, PixelArea{0, 0, kWidth, kHeight});
  EXPECT_EQ(floats(GL_PROJECTION_MATRIX), projection);
  EXPECT_EQ(floats(GL_MODELVIEW_MATRIX), modelview);
  EXPECT_EQ(floats<4>(GL_CURRENT_COLOR), colour);
  EXPECT_EQ(
      std::tuple(integer(GL_MATRIX_MODE), glIsEnabled(GL_DEPTH_TEST), glIsEnabled(GL_CLIP_PLANE0)),
      std::tuple(GL_MODELVIEW, GL_TRUE, GL_TRUE));
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CLIP_PLANE0);
}

}  // namespace
