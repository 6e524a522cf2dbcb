#include "host/TickPacer.h"

#include <poll.h>

#include <algorithm>

#include "host/Surface.h"

TickPacer::TickPacer(long intervalMicroseconds, int wakeFd, Now now)
    : interval_(intervalMicroseconds), wakeFd_(wakeFd), now_(std::move(now)), deadline_(now_()) {}

bool TickPacer::woken() const { return wakeFdReadable(wakeFd_); }

bool TickPacer::see(bool seen, SurfaceEvent* event) {
  if (seen == seen_) {
    return false;
  }
  seen_ = seen;
  if (seen) {
    deadline_ = now_();  // back in view: the next frame is due at once
  }
  if (event == nullptr) {
    return false;
  }
  event->kind = seen ? SurfaceEvent::Shown : SurfaceEvent::Hidden;
  return true;
}

void TickPacer::takeTick() { deadline_ = std::max(deadline_ + interval_, now_()); }

std::int64_t TickPacer::overdue() const { return now_() - deadline_; }

int TickPacer::millisecondsUntilOverdue(std::int64_t late) const {
  if (!seen_) {
    return -1;
  }
  const std::int64_t wait = late - overdue();
  return wait <= 0 ? 0 : static_cast<int>(wait / 1000 + 1);
}

bool TickPacer::wait(int connectionFd, int milliseconds, int otherFd) const {
  // poll skips entries with a negative descriptor.
  pollfd fds[3] = {{connectionFd, POLLIN, 0}, {wakeFd_, POLLIN, 0}, {otherFd, POLLIN, 0}};
  const int ready = poll(fds, 3, milliseconds);
  return ready > 0 && (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
}
