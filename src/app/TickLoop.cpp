#include "app/TickLoop.h"

#include <GL/gl.h>

#include <csignal>
#include <exception>
#include <new>

#include "app/Signals.h"
#include "host/FpsOverlay.h"
#include "host/GlErrors.h"
#include "host/Keys.h"
#include "host/PngSinks.h"
#include "host/RgbImage.h"
#include "host/Say.h"
#include "host/ScopeView.h"
#include "host/Surface.h"
#include "util/Clock.h"

namespace {

double seconds() { return static_cast<double>(monotonicMicroseconds()) / 1e6; }

// The view's frame for what the surface shows: the drawn size the policy gives, or all of it
// where the surface cannot enlarge, which is said once for each reason it gives (unless the size
// was chosen, not asked for, and the surface could never enlarge).
class FrameSizer {
 public:
  explicit FrameSizer(const DrawnSize& policy) : policy_(policy) {}

  Size frameFor(const Surface& surface) {
    const PixelSize shown{surface.shownWidth(), surface.shownHeight()};
    PixelSize drawn = policy_.of(shown);
    const std::string problem = surface.cannotEnlarge();
    if (drawn != shown && !problem.empty()) {
      if (problem != said_ && (policy_.requested() || !first_)) {
        say(problem + "; drawing at full size");
      }
      said_ = problem;
      drawn = shown;
    }
    first_ = false;
    return Size{static_cast<float>(drawn.width), static_cast<float>(drawn.height)};
  }

 private:
  const DrawnSize& policy_;
  std::string said_;
  bool first_ = true;
};

// One frame of the view, drawn or only stepped through. Building the engine can run out of
// memory: that ends the run with one line, and the loop still releases what it holds.
bool animateFrame(Vantor& view, bool draw, std::string* error) {
  try {
    draw ? view.animateOneFrame() : view.skipOneFrame();
    return true;
  } catch (const std::bad_alloc&) {
    *error = "out of memory while building the kaleidoscope; close other programs and try again";
  } catch (const std::exception& problem) {
    *error = std::string("cannot build the kaleidoscope: ") + problem.what() +
             "; close other programs and try again";
  }
  return false;
}

// Writes what the surface shows (the frame just drawn, enlarged to the shown size) as a PNG file
// in the current folder, through the same sink a snapshot uses, and says where.
void saveShownFrame(const Surface& surface) {
  RgbImage drawn, shown;
  readDrawnImage(surface.width(), surface.height(), &drawn);
  enlargeImage(drawn, surface.shownWidth(), surface.shownHeight(), &shown);
  PngFile file(savedFrameName(), 1, 1.0, "the frame on screen");
  std::string error;
  file.wants(1);
  if (file.write(1, shown, -1, &error)) {
    say(file.finished(), stdout);
  } else {
    say("cannot save the frame: " + error);
  }
}

// True, with the line in *end, when the run checks for OpenGL errors and frame `frame` raised
// one.
bool glErrorEnds(const LoopSettings& settings, long frame, LoopEnd* end) {
  const std::string error = settings.checkGl ? takeGlError() : "";
  if (error.empty()) {
    return false;
  }
  end->status = 1;
  end->message = "OpenGL raised " + error + " by frame " + std::to_string(frame) +
                 "; a fault of Vantor's (VANTOR_GL_CHECK=1 looks for them): please report it";
  return true;
}

}  // namespace

LoopEnd runTicks(Surface& surface, SignalPipe& signals, const LoopSettings& settings) {
  LoopEnd end;
  surface.makeCurrent();
  DrawnSize drawnSize = settings.drawnSize;
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  drawnSize.setRenderer(renderer != nullptr ? renderer : "");
  FrameSizer sizer(drawnSize);
  const Size frame = sizer.frameFor(surface);
  Vantor view;
  view.attachToSurface(&surface);
  if (!view.initWithFrame(Rect{Point{}, frame}, surface.isPreview())) {
    end.status = 1;
    end.message = "the saver view could not be set up";
    return end;
  }
  view.setFrameSize(frame);
  view.setSceneSettings(settings.scene);
  view.startAnimation();
  FpsOverlay overlay;
  bool saveWanted = false;  // s was pressed: the next frame drawn is saved
  long frames = 0;

  for (bool running = true; running;) {
    SurfaceEvent event = surface.waitForTick();
    switch (event.kind) {
      case SurfaceEvent::Tick: {
        double start = seconds();
        if (frames++ > 0 && settings.clock != nullptr) {
          settings.clock->nextFrame();  // the first frame shows the start time
        }
        if (!animateFrame(view, event.draw, &end.message)) {
          end.status = 1;
          running = false;
          break;
        }
        if (!event.draw) {
          running = !glErrorEnds(settings, frames, &end);
          break;
        }
        if (settings.showFps) {
          overlay.showSeed(view.seed());
          overlay.draw(surface.width(), surface.height(), surface.shownEverywhere());
        }
        if (saveWanted) {
          saveShownFrame(surface);
          saveWanted = false;
        }
        if (!surface.present(&end.message)) {
          // A write cut short by a signal (SIGPIPE, SIGXFSZ, or any that came before the
          // rename) is that interruption, not a failure of its own.
          end.signal = signals.take();
          end.status = end.signal == 0 ? 1 : 0;
          running = false;
        }
        overlay.tickDrawn(start, seconds() - start);
        running = running && !glErrorEnds(settings, frames, &end);
        break;
      }
      case SurfaceEvent::Resized:
        view.setFrameSize(sizer.frameFor(surface));
        break;
      case SurfaceEvent::Hidden:
        // The picture goes on from where it was when it shows again.
        if (settings.clock != nullptr) {
          settings.clock->hold();
        }
        break;
      case SurfaceEvent::Shown:
        if (settings.clock != nullptr) {
          settings.clock->resume();
        }
        break;
      case SurfaceEvent::Key:
        switch (keyAction(event.keysym, event.control, settings.anyKeyCloses)) {
          case KeyAction::Close:
            running = false;
            break;
          case KeyAction::SaveFrame:
            saveWanted = true;
            break;
          case KeyAction::ToggleFullscreen:
            surface.toggleFullscreen();
            break;
          case KeyAction::None:
            break;
        }
        break;
      case SurfaceEvent::Close:
      case SurfaceEvent::Finished:
        running = false;
        break;
      case SurfaceEvent::Lost:
        end.status = 1;
        end.message = event.message;
        running = false;
        break;
      case SurfaceEvent::Interrupt:
        end.signal = signals.take();
        running = false;
        break;
    }
  }
  surface.makeCurrent();  // the engine releases its OpenGL objects on this context
  view.stopAnimation();
  return end;
}
