#include "host/offscreen/OffscreenSurface.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/DrawScale.h"
#include "host/PngWriter.h"
#include "host/Say.h"

std::string frameFileName(long frame, long frameCount) {
  int digits = 5;
  for (long limit = 100000; frameCount >= limit && digits < 19; limit *= 10) {
    digits++;
  }
  char name[48];
  std::snprintf(name, sizeof name, "frame-%0*ld.png", digits, frame);
  return name;
}

bool OffscreenSurface::create(int width, int height, std::string* error, double scale) {
  started_ = lastProgress_ = monotonicMicroseconds();
  scale_ = scale;
  outputWidth_ = width;
  outputHeight_ = height;
  return context_.create(drawnSide(width, scale), drawnSide(height, scale), error);
}

void OffscreenSurface::useSimulatedClock(long long startSeconds, double rate, double speed) {
  timerClock_.reset();
  clock_ = std::make_unique<SimulatedClock>(startSeconds, rate, speed);
  timerClock_ = std::make_unique<ScopedTimerClock>(*clock_);
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
  } else if (output_.frames > 0 && ticks_ >= output_.frames) {
    event.kind = SurfaceEvent::Finished;
  } else {
    // The first frame shows the start time; each later one is 1/rate on.
    if (clock_ != nullptr && ticks_ > 0) {
      clock_->advance();
    }
    ticks_++;
    // A snapshot shows only its last frame: the ones before are stepped through undrawn.
    event.draw = output_.snapshotFile.empty() || ticks_ >= output_.frames;
    drawPending_ = event.draw;
    if (!event.draw) {
      reportProgress(false);
    }
  }
  return event;
}

bool OffscreenSurface::present(std::string* error) {
  const bool last = output_.frames > 0 && ticks_ >= output_.frames;
  if (output_.videoStream) {
    context_.readRgb(&rgb_);
    if (!streamFrame(error)) {
      return false;
    }
    drawPending_ = false;
    reportProgress(last);
    return true;
  }
  const bool writeFrame = !output_.renderFolder.empty();
  const bool writeSnapshot = !output_.snapshotFile.empty() && last;
  if (!writeFrame && !writeSnapshot) {
    drawPending_ = false;
    return true;
  }
  context_.readRgb(&rgb_);
  const std::uint8_t* frame = outputFrame();
  const std::string path = writeFrame
                               ? output_.renderFolder + "/" + frameFileName(ticks_, output_.frames)
                               : output_.snapshotFile;
  if (!writePng(path, outputWidth_, outputHeight_, frame, wakeFd_, error)) {
    *error += "; give a path you can write to, on a disk with room";
    return false;
  }
  drawPending_ = false;
  lastWholeFile_ = path;
  reportProgress(last);
  return true;
}

bool OffscreenSurface::streamFrame(std::string* error) {
  const std::uint8_t* pixels = outputFrame();
  std::string header;
  if (video_ == nullptr) {
    video_ = std::make_unique<VideoStream>(outputWidth_, outputHeight_, output_.rate);
    header = video_->header();
  }
  const std::vector<std::uint8_t>& frame = video_->frame(pixels);
  // A frame is written whole even when a signal arrives on the way, so the stream never ends
  // inside one; the tick loop notices the signal before the next.
  for (const auto& [data, size] :
       {std::pair{reinterpret_cast<const std::uint8_t*>(header.data()), header.size()},
        std::pair{frame.data(), frame.size()}}) {
    for (size_t done = 0; done < size;) {
      const ssize_t written = write(STDOUT_FILENO, data + done, size - done);
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written < 0) {
        readerGone_ = errno == EPIPE;
        *error = std::string("cannot write the video to standard output: ") + std::strerror(errno);
        return false;
      }
      done += static_cast<size_t>(written);
    }
  }
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
  const std::int64_t now = monotonicMicroseconds();
  // Quick runs stay silent; long ones say how far they are about once a second.
  if (output_.frames <= 0 || now - started_ < 1000000) {
    return;
  }
  if (!last && now - lastProgress_ < 1000000) {
    return;
  }
  lastProgress_ = now;
  const std::string target = output_.videoStream            ? "standard output"
                             : output_.renderFolder.empty() ? output_.snapshotFile
                                                            : output_.renderFolder;
  sayInPlace("frame " + std::to_string(ticks_) + " of " + std::to_string(output_.frames) + " (" +
                 target + ")",
             !last);
}
