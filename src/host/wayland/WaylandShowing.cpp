// How the Wayland surface shows one picture on every canvas: which canvas the view draws on and
// the size of each, when a tick may be drawn over outputs that each pace their own frame
// callbacks, and presenting the frame on all of them (WaylandSurface.h says why so).
#include <algorithm>
#include <cerrno>

#include "host/wayland/Protocols.h"
#include "host/wayland/WaylandSurface.h"
#include "util/Clock.h"

WaylandCanvas* WaylandSurface::drawingCanvas() {
  WaylandCanvas* largest = nullptr;
  forEachCanvas([&](WaylandCanvas* canvas) {
    if (canvas->sized() &&
        (largest == nullptr ||
         static_cast<long>(canvas->pixelWidth()) * canvas->pixelHeight() >
             static_cast<long>(largest->pixelWidth()) * largest->pixelHeight())) {
      largest = canvas;
    }
  });
  return largest;
}

void WaylandSurface::sizeCanvases() {
  const WaylandCanvas* drawing = drawingCanvas();
  forEachCanvas([&](WaylandCanvas* canvas) {
    if (canvas != drawing) {
      shareCanvas(canvas, egl_, picture_.available() ? viewporter_ : nullptr);
      return;
    }
    // Until the view's drawable follows a new largest canvas, that canvas keeps its own size.
    const bool drawn = canvas->pixels() == shown_;
    sizeCanvas(canvas, egl_, viewporter_, drawn ? drawable_ : PixelSize{});
  });
}

PixelArea WaylandSurface::shownEverywhere() const {
  PixelArea common{0, 0, drawable_.width, drawable_.height};
  for (const WaylandOutput& output : outputs_) {
    if (output.canvas.shared) {
      common = alsoShownOn(common, drawable_, output.canvas.pixels());
    }
  }
  return common;
}

void WaylandSurface::setDrawableSize(int width, int height) {
  drawable_ = PixelSize{width, height};
  sizeCanvases();
}

std::string WaylandSurface::cannotEnlarge() const {
  return viewporter_ != nullptr ? ""
                                : "the Wayland compositor offers no wp_viewporter, which showing "
                                  "a picture drawn smaller needs";
}

bool WaylandSurface::followLargest() {
  const WaylandCanvas* largest = drawingCanvas();
  // With no canvas left, the last size stays until one comes.
  if (largest == nullptr || PixelSize{largest->pixelWidth(), largest->pixelHeight()} == shown_) {
    return false;
  }
  shown_ = PixelSize{largest->pixelWidth(), largest->pixelHeight()};
  return true;
}

bool WaylandSurface::canvasesReady(bool* any, std::int64_t* awaited) {
  // One tick serves every output: it waits for the frame callbacks of all of them, but not for
  // one the compositor has kept waiting for two ticks (hidden, or slower than we draw).
  const std::int64_t now = monotonicMicroseconds();
  const std::int64_t patience = std::max<std::int64_t>(2 * tickMicroseconds_, 50000);
  bool all = true;
  *any = false;
  *awaited = 0;
  forEachCanvas([&](WaylandCanvas* canvas) {
    const std::int64_t left = canvas->askedAt + patience - now;
    if (canvas->covered) {
      return;  // nobody sees it: it neither asks for a tick nor holds one back
    }
    if (canvas->ready()) {
      *any = true;
    } else if ((canvas->drawable() || canvas->shared) && canvas->frame != nullptr && left > 0) {
      all = false;
      *awaited = std::max(*awaited, left);
    }
  });
  return *any && all;
}

bool WaylandSurface::present(std::string* error) {
  WaylandCanvas* drawing = drawingCanvas();
  // Each shape of output its part, read back once before the swap, which leaves the back buffer
  // undefined.
  struct Read {
    PixelArea part;
    wl_buffer* buffer;
  };
  Read reads[8];  // more shapes of output than that wait for a free buffer
  int readCount = 0;
  std::string problem;
  forEachCanvas([&](WaylandCanvas* canvas) {
    if (drawing == nullptr || canvas == drawing || !canvas->shared || !canvas->ready()) {
      return;
    }
    const PixelArea part = coverCrop(drawable_, canvas->pixels());
    Read* read = std::find_if(reads, reads + readCount, [&](const Read& r) {
      return r.part.left == part.left && r.part.bottom == part.bottom &&
             r.part.width == part.width && r.part.height == part.height;
    });
    if (read == reads + readCount && readCount < 8) {
      *read = Read{part, picture_.capture(part, &problem)};
      readCount++;
    }
    if (read != reads + 8 && read->buffer != nullptr) {
      WaylandPicture::show(canvas, read->buffer, PixelSize{part.width, part.height});
    }
  });
  if (!problem.empty()) {
    *error = problem;
    return false;
  }
  if (drawing != nullptr && drawing->ready() && !drawing->dirty) {
    swapCanvas(drawing, egl_);
  }
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
    *error = connectionFailure();
    return false;
  }
  return true;
}
