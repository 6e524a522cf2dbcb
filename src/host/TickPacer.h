// When the next tick is due, whether anyone can see the picture, and waiting for either: decided
// once for the surfaces that pace their own ticks (X11, Wayland), which only say what their
// window system reports. Times are monotonic microseconds.
//
// A tick is due one interval after the last one was, never in the past: a slow frame delays
// the ones after it instead of leaving a backlog to catch up on. While nothing of the picture
// can be seen no tick is due, and the loop sleeps until the window system or a signal has news;
// seen again, a tick is due at once.
#pragma once

#include <cstdint>
#include <functional>

#include "util/Clock.h"

struct SurfaceEvent;

class TickPacer {
 public:
  using Now = std::function<std::int64_t()>;

  // `intervalMicroseconds` from the start of one tick to the start of the next. `wakeFd` (may
  // be -1) ends every wait when readable: signals come through it. The picture counts as seen.
  TickPacer(long intervalMicroseconds, int wakeFd, Now now = monotonicMicroseconds);

  // True when the wake-up descriptor is readable: the loop is wanted for something else.
  bool woken() const;

  // Records whether any of the picture can be seen. True when that changed, with Hidden or
  // Shown in *event (null: recorded without an event, for the state a surface starts in).
  bool see(bool seen, SurfaceEvent* event);
  bool seen() const { return seen_; }

  // True when the next tick is due now. takeTick() then moves the deadline on.
  bool tickDue() const { return seen_ && overdue() >= 0; }
  void takeTick();
  // Microseconds the next tick is overdue by; negative before it is due.
  std::int64_t overdue() const;
  // Milliseconds from now until the next tick is `late` microseconds overdue, rounded up so that
  // a wait that long ends past it; -1 (no limit) while the picture is unseen.
  int millisecondsUntilOverdue(std::int64_t late = 0) const;

  // Blocks until `connectionFd`, `otherFd` (a second source of news; -1 for none) or the wake-up
  // descriptor is readable, at most `milliseconds` (-1: no limit). True when the connection has
  // something to read, or has failed.
  bool wait(int connectionFd, int milliseconds, int otherFd = -1) const;

 private:
  std::int64_t interval_;
  int wakeFd_;
  Now now_;
  std::int64_t deadline_;
  bool seen_ = true;
};
