#include "app/TickLoop.h"

#include <chrono>

#include "app/Signals.h"
#include "host/FpsOverlay.h"
#include "host/ScopeView.h"
#include "host/Surface.h"

namespace {

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Size SurfaceSize(const Surface& surface) {
  return Size{static_cast<float>(surface.width()), static_cast<float>(surface.height())};
}

}  // namespace

LoopEnd runTicks(Surface& surface, SignalPipe& signals, bool showFps) {
  LoopEnd end;
  Vantor view;
  view.attachToSurface(&surface);
  if (!view.initWithFrame(Rect{Point{}, SurfaceSize(surface)}, surface.isPreview())) {
    end.status = 1;
    end.message = "the saver view could not be set up";
    return end;
  }
  view.setFrameSize(SurfaceSize(surface));
  view.startAnimation();
  FpsOverlay overlay;

  for (bool running = true; running;) {
    SurfaceEvent event = surface.waitForTick();
    switch (event.kind) {
      case SurfaceEvent::Tick: {
        if (!event.draw) {
          view.skipOneFrame();
          break;
        }
        double start = Seconds();
        view.animateOneFrame();
        if (showFps) {
          overlay.draw(surface.width(), surface.height());
        }
        if (!surface.present(&end.message)) {
          // A write cut short by a signal (SIGPIPE, SIGXFSZ, or any that came before the
          // rename) is that interruption, not a failure of its own.
          end.signal = signals.take();
          end.status = end.signal == 0 ? 1 : 0;
          running = false;
        }
        overlay.tickDrawn(start, Seconds() - start);
        break;
      }
      case SurfaceEvent::Resized:
        view.setFrameSize(Size{static_cast<float>(event.width), static_cast<float>(event.height)});
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
