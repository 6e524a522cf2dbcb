#include "host/offscreen/OffscreenSurface.h"

#include "host/Say.h"

bool OffscreenSurface::create(int width, int height, std::string* error) {
  started_ = lastProgress_ = monotonicMicroseconds();
  shownWidth_ = width;
  shownHeight_ = height;
  return context_.create(width, height, error);
}

void OffscreenSurface::setDrawableSize(int width, int height) {
  std::string error;
  // A failed resize keeps the old buffer, so the view still has somewhere to draw.
  if (!context_.resize(width, height, &error)) {
    say(error + "; drawing at " + std::to_string(context_.width()) + "x" +
        std::to_string(context_.height()) + " instead");
  }
}

SurfaceEvent OffscreenSurface::waitForTick() {
  SurfaceEvent event;
  if (wakeFdReadable(wakeFd_)) {
    event.kind = SurfaceEvent::Interrupt;
  } else if (last_ > 0 && ticks_ >= last_) {
    event.kind = SurfaceEvent::Finished;
  } else {
    ticks_++;
    // Frames before the run's first, and those the sink does not want (a snapshot's before its
    // own), are stepped through undrawn.
    event.draw = sink_ == nullptr || (ticks_ >= first_ && sink_->wants(ticks_));
    if (!event.draw) {
      reportProgress(false);
    }
  }
  return event;
}

bool OffscreenSurface::present(std::string* error) {
  if (sink_ == nullptr) {
    return true;
  }
  readDrawnImage(width(), height(), &drawn_);
  const RgbImage* picture = &drawn_;
  if (width() < shownWidth_ || height() < shownHeight_) {
    enlargeImage(drawn_, shownWidth_, shownHeight_, &enlarged_);
    picture = &enlarged_;
  }
  if (!sink_->write(ticks_, *picture, wakeFd_, error)) {
    return false;
  }
  reportProgress(last_ > 0 && ticks_ >= last_);
  return true;
}

void OffscreenSurface::reportProgress(bool last) {
  const std::int64_t now = monotonicMicroseconds();
  // Quick runs stay silent; long ones say how far they are about once a second.
  if (sink_ == nullptr || last_ <= 0 || now - started_ < 1000000) {
    return;
  }
  if (!last && now - lastProgress_ < 1000000) {
    return;
  }
  lastProgress_ = now;
  sayInPlace("frame " + std::to_string(ticks_) + " of " + std::to_string(last_) + " (" +
                 sink_->target() + ")",
             !last);
}
