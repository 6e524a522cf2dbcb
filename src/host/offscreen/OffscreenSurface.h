// The headless surface: an offscreen OpenGL context with a colour and a depth buffer of the
// view's size, for tests and for --render / --snapshot. Ticks come as fast as frames are drawn
// (the run's simulated clock moves on 1/rate seconds per frame however long that takes). Each
// frame the
// view draws is read back, enlarged to the picture's size when it was drawn smaller (each pixel
// repeated), and handed to a frame sink, which also decides which frames are drawn at all.
//
// Supports: any picture size, a smaller drawable (--scale), a wake-up descriptor. Has no keys,
// no full screen and is never hidden.
#pragma once

#include <cstdint>
#include <string>

#include "host/FrameSink.h"
#include "host/RgbImage.h"
#include "host/Surface.h"
#include "host/offscreen/OffscreenContext.h"
#include "util/Clock.h"

class OffscreenSurface : public Surface {
 public:
  // `wakeFd` (may be -1) is polled before every tick; readable means Interrupt.
  explicit OffscreenSurface(int wakeFd = -1) : wakeFd_(wakeFd) {}
  ~OffscreenSurface() override = default;
  OffscreenSurface(const OffscreenSurface&) = delete;
  OffscreenSurface& operator=(const OffscreenSurface&) = delete;

  // Creates the context and makes it current. Frames are shown (written) at width x height
  // pixels; the drawable starts at that size.
  bool create(int width, int height, std::string* error);
  // Offers frames `first` to `last` (0: no end) to `sink` (not owned), then Finished; those
  // before `first` are stepped through undrawn. Without a sink every frame is drawn and kept.
  void setSink(FrameSink* sink, long first, long last) {
    sink_ = sink;
    first_ = first;
    last_ = last;
  }

  bool makeCurrent() override { return context_.makeCurrent(); }
  int shownWidth() const override { return shownWidth_; }
  int shownHeight() const override { return shownHeight_; }
  void setDrawableSize(int width, int height) override;
  int width() const override { return context_.width(); }
  int height() const override { return context_.height(); }
  SurfaceEvent waitForTick() override;
  bool present(std::string* error) override;

 private:
  void reportProgress(bool last);

  int wakeFd_;
  OffscreenContext context_;
  FrameSink* sink_ = nullptr;
  long first_ = 1;
  long last_ = 0;       // 0: no end
  long ticks_ = 0;      // ticks handed out so far: the number of the frame under way
  int shownWidth_ = 0;  // of the frames written
  int shownHeight_ = 0;
  RgbImage drawn_;
  RgbImage enlarged_;         // drawn_ at the shown size, when that is larger
  std::int64_t started_ = 0;  // monotonic microseconds
  std::int64_t lastProgress_ = 0;
};
