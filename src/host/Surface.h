// The seam between the saver view and where its pixels go: one interface, three surfaces
// (x11: a window on an X display; wayland: a window or layer surfaces on a Wayland
// compositor; offscreen: a headless context whose frames go to a frame sink). A surface only
// turns its window system's events into SurfaceEvents and puts pixels on its screen; what a
// key means, when a tick is due and how large the view draws are decided above it.
//
// Two sizes, in pixels: the shown size, the picture on screen (a window's, an output's, the
// picture a render writes), which the window system or the command line decides; and the
// drawable, what the view draws into, which follows the view's frame and is never larger.
// present() enlarges the drawable over the shown size, each pixel repeated. The drawable is
// always an OpenGL default framebuffer with a back buffer: the engine asks for the back buffer at
// every frame, which a framebuffer object does not have.
//
// A surface owns its OpenGL context; the context is created with the surface, so a surface that
// exists can always be made current.
#pragma once

#include <poll.h>

#include <string>

#include "host/DrawnSize.h"

// What a surface reports while the host waits for the next tick.
struct SurfaceEvent {
  enum Kind {
    Tick,       // time to draw the next frame
    Resized,    // the shown size is now width x height pixels
    Close,      // the user asked to quit (the window manager's close; a saver's user is back)
    Lost,       // the drawable or the display went away; `message` says what happened
    Finished,   // an offscreen run has written everything it was asked for
    Interrupt,  // a signal arrived on the wake-up descriptor
    Hidden,     // nothing of the drawable can be seen (unmapped or covered): no ticks come
    Shown,      // part of it can be seen again; ticks resume at once
    Key,        // a key was pressed: `keysym`, with Ctrl held or not (`control`)
  };
  Kind kind = Tick;
  // For a Tick: false when the frame is only to be advanced, not drawn (nothing will show it).
  bool draw = true;
  int width = 0;
  int height = 0;
  std::string message;
  unsigned long keysym = 0;  // X11 and XKB number keysyms alike; 0 when the key has none
  bool control = false;
};

class Surface {
 public:
  virtual ~Surface() = default;

  // Makes the surface's context current on the calling thread, with the drawable to draw in.
  virtual bool makeCurrent() = 0;
  // The size the frame is shown at.
  virtual int shownWidth() const = 0;
  virtual int shownHeight() const = 0;
  // The drawable follows the view's frame (at most the shown size).
  virtual void setDrawableSize(int width, int height) = 0;
  virtual int width() const = 0;
  virtual int height() const = 0;
  // The part of the drawable that every screen it is shown on shows whole, where corner text
  // goes: all of it, unless the surface shows the picture cropped on some screens.
  virtual PixelArea shownEverywhere() const { return PixelArea{0, 0, width(), height()}; }
  // Why this surface cannot show a drawable smaller than the shown size, or "" when it can.
  virtual std::string cannotEnlarge() const { return ""; }
  // True for the preview in xscreensaver's settings dialog.
  virtual bool isPreview() const { return false; }
  // Blocks until the next tick is due or something else happens. Never sleeps while the
  // wake-up descriptor given to the surface is readable.
  virtual SurfaceEvent waitForTick() = 0;
  // Shows (or writes) the frame that animateOneFrame has just finished, enlarged over the shown
  // size. False with *error set when the frame could not be delivered.
  virtual bool present(std::string* error) = 0;
  // Switches the window between filling the screen and its own size, where there is a window
  // manager to ask; nothing elsewhere.
  virtual void toggleFullscreen() {}
};

// True when the wake-up descriptor given to a surface has something to read; false for -1.
inline bool wakeFdReadable(int fd) {
  if (fd < 0) {
    return false;
  }
  pollfd entry = {fd, POLLIN, 0};
  return poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN) != 0;
}
