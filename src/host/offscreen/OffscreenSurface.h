// The headless surface: an offscreen OpenGL context with a colour and a depth buffer of the
// view's size, for tests and for --render / --snapshot. Ticks come as fast as frames are
// drawn; with a simulated clock the animation still advances 1/rate seconds per tick.
// Frames are read back top row first and written as PNG. A frame may be drawn at a smaller
// scale; it is then enlarged (each pixel repeated) to the output size before it is written.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/Surface.h"
#include "host/offscreen/OffscreenContext.h"
#include "host/offscreen/SimulatedClock.h"

// What an offscreen run writes. With neither folder nor file set, frames are drawn and kept.
struct OffscreenOutput {
  long frames = 0;           // ticks to run before Finished; 0 runs until stopped
  std::string renderFolder;  // every frame, as frame-00001.png, frame-00002.png, ...
  std::string snapshotFile;  // the last frame only
};

class OffscreenSurface : public Surface {
 public:
  // `wakeFd` (may be -1) is polled before every tick; readable means Interrupt.
  explicit OffscreenSurface(int wakeFd = -1) : wakeFd_(wakeFd) {}

  // Creates the context and makes it current. Frames are width x height pixels; the view
  // draws them at `scale` (0.25 to 1) of each side.
  bool create(int width, int height, std::string* error, double scale = 1.0);
  void setOutput(OffscreenOutput output) { output_ = std::move(output); }
  // Drives the frame timer from a simulated clock while this surface lives.
  void useSimulatedClock(long long startSeconds, double rate);

  bool makeCurrent() override { return context_.makeCurrent(); }
  void setDrawableSize(int width, int height) override;
  int width() const override { return context_.width(); }
  int height() const override { return context_.height(); }
  SurfaceEvent waitForTick() override;
  bool present(std::string* error) override;

  long framesDrawn() const { return ticks_; }
  // The last frame read back by present (empty before), RGB, top row first, at the drawn size.
  const std::vector<std::uint8_t>& lastFrame() const { return rgb_; }

 private:
  void reportProgress(bool last);
  // The last frame, enlarged from the drawn size to the output size when they differ.
  const std::uint8_t* outputFrame();

  int wakeFd_;
  OffscreenContext context_;
  OffscreenOutput output_;
  std::unique_ptr<SimulatedClock> clock_;
  long ticks_ = 0;  // ticks handed out so far
  std::vector<std::uint8_t> rgb_;
  double scale_ = 1.0;
  int outputWidth_ = 0;  // of the frames written
  int outputHeight_ = 0;
  std::vector<std::uint8_t> enlarged_;  // rgb_ at the output size, when that is larger
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point lastProgress_;
};
