// The headless surface: an offscreen OpenGL context with a colour and a depth buffer of the
// view's size, for tests and for --render / --snapshot. Ticks come as fast as frames are
// drawn; with a simulated clock the animation still advances 1/rate seconds per tick.
// Frames are read back top row first and written as PNG files, or as a video stream to
// standard output. A frame may be drawn at a smaller scale; it is then enlarged (each pixel
// repeated) to the output size before it is written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/Surface.h"
#include "host/offscreen/OffscreenContext.h"
#include "host/offscreen/VideoStream.h"
#include "util/Clock.h"
#include "util/LocalTiming.h"

// What an offscreen run writes. With neither folder nor file set, frames are drawn and kept.
struct OffscreenOutput {
  long frames = 0;           // ticks to run before Finished; 0 runs until stopped
  std::string renderFolder;  // every frame, named by frameFileName
  std::string snapshotFile;  // the last frame only; the ticks before it are not drawn
  bool videoStream = false;  // every frame, as YUV4MPEG2 on standard output
  double rate = 30.0;        // frames per simulated second, for the stream's header
};

// "frame-00001.png" for frame 1 of `frameCount`: five digits, more when the count needs them,
// so that the names sort in frame order.
std::string frameFileName(long frame, long frameCount);

class OffscreenSurface : public Surface {
 public:
  // `wakeFd` (may be -1) is polled before every tick; readable means Interrupt.
  explicit OffscreenSurface(int wakeFd = -1) : wakeFd_(wakeFd) {}
  ~OffscreenSurface() override = default;
  OffscreenSurface(const OffscreenSurface&) = delete;
  OffscreenSurface& operator=(const OffscreenSurface&) = delete;

  // Creates the context and makes it current. Frames are width x height pixels; the view
  // draws them at `scale` (0.25 to 1) of each side.
  bool create(int width, int height, std::string* error, double scale = 1.0);
  void setOutput(OffscreenOutput output) { output_ = std::move(output); }
  // Drives the frame timer from a simulated clock, owned here, while this surface lives.
  void useSimulatedClock(long long startSeconds, double rate, double speed = 1.0);

  bool makeCurrent() override { return context_.makeCurrent(); }
  void setDrawableSize(int width, int height) override;
  int width() const override { return context_.width(); }
  int height() const override { return context_.height(); }
  SurfaceEvent waitForTick() override;
  bool present(std::string* error) override;

  long framesWanted() const { return output_.frames; }
  // Ticks whose work is whole: drawn and written, or skipped.
  long framesDone() const { return drawPending_ ? ticks_ - 1 : ticks_; }
  // The last file written whole, or "" when none was.
  const std::string& lastWholeFile() const { return lastWholeFile_; }
  // Whether the reader of the video stream went away (a broken pipe).
  bool readerGone() const { return readerGone_; }

 private:
  void reportProgress(bool last);
  // The last frame, enlarged from the drawn size to the output size when they differ.
  const std::uint8_t* outputFrame();
  // One frame onto standard output, the stream's header before the first. Waits for a slow
  // reader; false with *error when the reader went away or the write failed.
  bool streamFrame(std::string* error);

  int wakeFd_;
  OffscreenContext context_;
  OffscreenOutput output_;
  std::unique_ptr<SimulatedClock> clock_;
  std::unique_ptr<ScopedTimerClock> timerClock_;  // made after clock_, so it goes before it
  long ticks_ = 0;                                // ticks handed out so far
  bool drawPending_ = false;  // the last tick handed out is to be drawn, and not yet written
  std::string lastWholeFile_;
  std::vector<std::uint8_t> rgb_;
  std::unique_ptr<VideoStream> video_;  // made with the first streamed frame
  bool readerGone_ = false;
  double scale_ = 1.0;
  int outputWidth_ = 0;  // of the frames written
  int outputHeight_ = 0;
  std::vector<std::uint8_t> enlarged_;  // rgb_ at the output size, when that is larger
  std::int64_t started_ = 0;            // monotonic microseconds
  std::int64_t lastProgress_ = 0;
};
