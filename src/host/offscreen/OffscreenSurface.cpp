#include "host/offscreen/OffscreenSurface.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/PngWriter.h"
#include "util/LocalTiming.h"

OffscreenSurface::~OffscreenSurface() {
  if (clock_ != nullptr && TimerClock() == clock_.get()) {
    SetTimerClock(nullptr);
  }
}

std::string frameFileName(long frame, long frameCount) {
  int digits = 5;
  for (long limit = 100000; frameCount >= limit && digits < 19; limit *= 10) {
    digits++;
  }
  char name[48];
  std::snprintf(name, sizeof name, "frame-%0*ld.png", digits, frame);
  return name;
}

bool OffscreenSurface::create(int width, int height, std::string* error) {
  started_ = lastProgress_ = std::chrono::steady_clock::now();
  return context_.create(width, height, error);
}

void OffscreenSurface::useSimulatedClock(long long startSeconds, double rate, double speed) {
  clock_ = std::make_unique<SimulatedClock>(startSeconds, rate, speed);
  SetTimerClock(clock_.get());
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
  const std::string path = writeFrame
                               ? output_.renderFolder + "/" + frameFileName(ticks_, output_.frames)
                               : output_.snapshotFile;
  if (!writePng(path, width(), height(), rgb_.data(), wakeFd_, error)) {
    *error += "; give a path you can write to, on a disk with room";
    return false;
  }
  drawPending_ = false;
  lastWholeFile_ = path;
  reportProgress(last);
  return true;
}

bool OffscreenSurface::streamFrame(std::string* error) {
  std::string header;
  if (video_ == nullptr) {
    video_ = std::make_unique<VideoStream>(width(), height(), output_.rate);
    header = video_->header();
  }
  const std::vector<std::uint8_t>& frame = video_->frame(rgb_.data());
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
  const std::string target = output_.videoStream            ? "standard output"
                             : output_.renderFolder.empty() ? output_.snapshotFile
                                                            : output_.renderFolder;
  progressLineOpen_ = terminal && !last;
  std::fprintf(stderr, "%svantor: frame %ld of %ld (%s)%s", terminal ? "\r" : "", ticks_,
               output_.frames, target.c_str(), progressLineOpen_ ? "" : "\n");
}

void OffscreenSurface::endProgressLine() {
  if (progressLineOpen_) {
    std::fputc('\n', stderr);
    progressLineOpen_ = false;
  }
}
