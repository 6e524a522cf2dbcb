// Guards the drawn-size policy every surface follows: a scale asked for is kept; the automatic
// one is 1 on a graphics card and keeps a software renderer at 1920x1080 pixels or fewer, the
// largest share that fits, whatever the shape of the screen.
#include <gtest/gtest.h>

#include <tuple>

#include "host/DrawnSize.h"

namespace {

// The drawn size of a width x height picture on `renderer`, with `requested` (0: automatic).
std::pair<int, int> drawn(double requested, const char* renderer, int width, int height) {
  DrawnSize policy(requested);
  policy.setRenderer(renderer);
  const PixelSize size = policy.of(PixelSize{width, height});
  return {size.width, size.height};
}

TEST(DrawnSize, TheAutomaticScaleDrawsAtMostFullHdOnlyOnSoftwareRenderers) {
  const char* llvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits)";
  EXPECT_EQ(drawn(0.0, llvmpipe, 3840, 2160), std::pair(1920, 1080));
  EXPECT_EQ(drawn(0.0, llvmpipe, 1920, 1080), std::pair(1920, 1080));
  EXPECT_EQ(drawn(0.0, "AMD Radeon RX 6600 (radeonsi, navi23)", 3840, 2160), std::pair(3840, 2160));
  EXPECT_EQ(drawn(0.0, "softpipe", 7680, 4320), std::pair(1920, 1080)) << "a quarter at the least";
  EXPECT_EQ(drawn(0.0, "softpipe", 16384, 16384), std::pair(4096, 4096));
  EXPECT_EQ(drawn(0.75, "AMD Radeon", 640, 480), std::pair(480, 360));
  EXPECT_EQ(drawn(0.25, "AMD Radeon", 3, 2), std::pair(1, 1)) << "never less than a pixel a side";
  // Not 16:9: the largest scale whose area fits, within a pixel a side.
  const auto [width, height] = drawn(0.0, "swrast", 2560, 1600);
  EXPECT_LE(static_cast<long>(width) * height, 1920L * 1080L) << width << "x" << height;
  EXPECT_GT(static_cast<long>(width + 1) * (height + 1), 1920L * 1080L) << width << "x" << height;
  // Before the renderer is known, the threads are chosen for what may be drawn.
  EXPECT_EQ(DrawnSize().mostPixels(PixelSize{3840, 2160}), 1920.0 * 1080.0);
  EXPECT_EQ(DrawnSize(0.5).mostPixels(PixelSize{3840, 2160}), 1920.0 * 1080.0);
}

// One picture on screens of other shapes: each shows a centred part that covers it, and corner
// text goes where every one of them shows it.
TEST(DrawnSize, APictureCoversEachScreenCentredAndTheTextCornerShowsOnAll) {
  auto area = [](const PixelArea& a) { return std::tuple(a.left, a.bottom, a.width, a.height); };
  const PixelSize picture{1920, 1080};
  EXPECT_EQ(area(coverCrop(picture, PixelSize{800, 600})), std::tuple(240, 0, 1440, 1080));
  EXPECT_EQ(area(coverCrop(picture, PixelSize{1280, 720})), std::tuple(0, 0, 1920, 1080));
  EXPECT_EQ(area(coverCrop(picture, PixelSize{1080, 1920})), std::tuple(656, 0, 608, 1080));
  EXPECT_EQ(area(coverCrop(picture, PixelSize{3840, 1080})), std::tuple(0, 270, 1920, 540));
  const PixelArea whole{0, 0, 1920, 1080};
  const PixelArea first = alsoShownOn(whole, picture, PixelSize{800, 600});
  EXPECT_EQ(area(alsoShownOn(first, picture, PixelSize{3840, 1080})),
            std::tuple(240, 270, 1440, 540));
  EXPECT_EQ(area(alsoShownOn(whole, picture, PixelSize{1920, 1080})), area(whole));
}

}  // namespace
