// The seat: its keyboard, with the key map that turns key codes into keysyms, and, for a screen
// saver, its pointer. A record its listeners fill in (keys pressed, the user coming back) and
// the Wayland surface reports from; keys mean what host/Keys says, as on X11.
#pragma once

#include <cstdint>
#include <deque>

#include "host/Surface.h"

struct wl_keyboard;
struct wl_pointer;
struct wl_registry;
struct wl_seat;
struct wl_surface;
struct xkb_context;
struct xkb_state;

struct WaylandSeat {
  wl_seat* seat = nullptr;
  std::uint32_t name = 0;     // the registry's name for the global
  bool watchPointer = false;  // a saver listens to the pointer; a window ignores it, as on X11
  wl_keyboard* keyboard = nullptr;
  wl_pointer* pointer = nullptr;
  xkb_context* keyContext = nullptr;
  xkb_state* keyState = nullptr;  // the keyboard's map and modifiers; null until it sends one
  std::deque<SurfaceEvent> keys;  // Key events not yet reported
  // The saver's job is done (watchPointer only): a button, the pointer moved more than a nudge
  // or away from the saver, or a screen locker took the pointer from it.
  bool saverDone = false;
  // Where the pointer was first seen (surface-local, logical pixels).
  wl_surface* pointerSurface = nullptr;
  double pointerX = 0.0;
  double pointerY = 0.0;
};

// Binds the seat global `name` into `seat` and listens to its keyboard (and pointer, with
// `watchPointer`) as they come and go. The record must not move while it lives.
void bindSeat(WaylandSeat* seat, wl_registry* registry, std::uint32_t name, bool watchPointer);
// Releases each of the seat's objects in turn; the record is empty after.
void releaseSeat(WaylandSeat* seat);
