#include "host/offscreen/OffscreenSurface.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "host/offscreen/PngWriter.h"
#include "util/DrawScale.h"

bool OffscreenSurface::create(int width, int height, std::string* error, double scale) {
  started_ = lastProgress_ = std::chrono::steady_clock::now();
  scale_ = scale;
  outputWidth_ = width;
  outputHeight_ = height;
  return context_.create(DrawnSide(width, scale), DrawnSide(height, scale), error);
}

void OffscreenSurface::useSimulatedClock(long long startSeconds, double rate) {
  clock_.reset();  // the old one must be gone before the new one installs itself
  clock_ = std::make_unique<SimulatedClock>(startSeconds, rate);
}

void OffscreenSurface::setDrawableSize(int width, int height) {
  std::string error;
  // A failed resize keeps the old buffer, so the view still has somewhere to draw.
  if (!context_.resize(width, height, &error)) {
    std::fprintf(stderr, "vantor: %s; drawing at %dx%d instead\n", error.c_str(), context_.width(),
                 context_.height());
  }
}

SurfaceEvent OffscreenSurface::waitForTick() {
  SurfaceEvent event;
  if (wakeFdReadable(wakeFd_)) {
    event.kind = SurfaceEvent::Interrupt;
  } else if (output_.frames > 0 && ticks_ >= output_.frames) {
    event.kind = SurfaceEvent::Finished;
  } else {
    // The first frame shows the start time; each later one is 1/rate on.
    if (clock_ != nullptr && ticks_ > 0) {
      clock_->advance();
    }
    ticks_++;
  }
  return event;
}

bool OffscreenSurface::present(std::string* error) {
  const bool last = output_.frames > 0 && ticks_ >= output_.frames;
  const bool writeFrame = !output_.renderFolder.empty();
  const bool writeSnapshot = !output_.snapshotFile.empty() && last;
  if (!writeFrame && !writeSnapshot) {
    return true;
  }
  context_.readRgb(&rgb_);
  const std::uint8_t* frame = outputFrame();
  if (writeFrame) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05ld.png", ticks_);
    if (!writePng(output_.renderFolder + name, outputWidth_, outputHeight_, frame, error)) {
      return false;
    }
  }
  if (writeSnapshot && !writePng(output_.snapshotFile, outputWidth_, outputHeight_, frame, error)) {
    return false;
  }
  reportProgress(last);
  return true;
}

const std::uint8_t* OffscreenSurface::outputFrame() {
  const int drawnWidth = width();
  const int drawnHeight = height();
  if (scale_ >= 1.0) {
    outputWidth_ = drawnWidth;  // the view may have resized the buffer: write what it drew
    outputHeight_ = drawnHeight;
    return rgb_.data();
  }
  const size_t rowBytes = static_cast<size_t>(outputWidth_) * 3;
  enlarged_.resize(rowBytes * static_cast<size_t>(outputHeight_));
  int lastSource = -1;
  for (int y = 0; y < outputHeight_; y++) {
    std::uint8_t* row = enlarged_.data() + rowBytes * static_cast<size_t>(y);
    const int source = static_cast<int>(static_cast<long>(y) * drawnHeight / outputHeight_);
    if (source == lastSource) {
      std::memcpy(row, row - rowBytes, rowBytes);
      continue;
    }
    lastSource = source;
    const std::uint8_t* in = rgb_.data() + static_cast<size_t>(source) * drawnWidth * 3;
    for (int x = 0; x < outputWidth_; x++) {
      std::memcpy(row + 3 * x, in + 3 * (static_cast<long>(x) * drawnWidth / outputWidth_), 3);
    }
  }
  return enlarged_.data();
}

void OffscreenSurface::reportProgress(bool last) {
  using std::chrono::seconds;
  auto now = std::chrono::steady_clock::now();
  // Quick runs stay silent; long ones say how far they are about once a second.
  if (output_.frames <= 0 || now - started_ < seconds(1)) {
    return;
  }
  if (!last && now - lastProgress_ < seconds(1)) {
    return;
  }
  lastProgress_ = now;
  const bool terminal = isatty(STDERR_FILENO) == 1;
  const std::string& target =
      output_.renderFolder.empty() ? output_.snapshotFile : output_.renderFolder;
  std::fprintf(stderr, "%svantor: frame %ld of %ld (%s)%s", terminal ? "\r" : "", ticks_,
               output_.frames, target.c_str(), terminal && !last ? "" : "\n");
}
