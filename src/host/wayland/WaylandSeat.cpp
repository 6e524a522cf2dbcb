#include "host/wayland/WaylandSeat.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cmath>
#include <cstring>

namespace {

// A pointer that moves less than this (logical pixels) is a nudge of the desk, not a user.
constexpr double kPointerSlack = 8.0;

WaylandSeat* record(void* data) { return static_cast<WaylandSeat*>(data); }

void keyboardKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
  // Each keyboard (a virtual one too) brings its own map from codes to symbols.
  WaylandSeat* seat = record(data);
  xkb_state_unref(seat->keyState);
  seat->keyState = nullptr;
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text != MAP_FAILED) {
      xkb_keymap* map =
          xkb_keymap_new_from_buffer(seat->keyContext, static_cast<const char*>(text),
                                     strnlen(static_cast<const char*>(text), size),
                                     XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
      munmap(text, size);
      if (map != nullptr) {
        seat->keyState = xkb_state_new(map);
        xkb_keymap_unref(map);
      }
    }
  }
  close(fd);
}
void keyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void keyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void keyboardKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
  if (state != WL_KEYBOARD_KEY_STATE_PRESSED) {
    return;
  }
  WaylandSeat* seat = record(data);
  SurfaceEvent event;
  event.kind = SurfaceEvent::Key;
  if (seat->keyState != nullptr) {
    // Wayland sends the kernel's key codes; XKB numbers them from 8.
    event.keysym = xkb_state_key_get_one_sym(seat->keyState, key + 8);
    event.control = xkb_state_mod_name_is_active(seat->keyState, XKB_MOD_NAME_CTRL,
                                                 XKB_STATE_MODS_EFFECTIVE) > 0;
  }
  seat->keys.push_back(event);
}
void keyboardModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                       uint32_t locked, uint32_t group) {
  if (record(data)->keyState != nullptr) {
    xkb_state_update_mask(record(data)->keyState, depressed, latched, locked, 0, 0, group);
  }
}
void keyboardRepeat(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboardListener = {keyboardKeymap, keyboardEnter,     keyboardLeave,
                                                keyboardKey,    keyboardModifiers, keyboardRepeat};

// The first surface the pointer is seen on holds the place it started from; reaching another
// means it crossed to another output.
void pointerAt(WaylandSeat* seat, wl_surface* entered, double x, double y) {
  if (entered != nullptr && seat->pointerSurface == nullptr) {
    seat->pointerSurface = entered;
    seat->pointerX = x;
    seat->pointerY = y;
    return;
  }
  if ((entered != nullptr && entered != seat->pointerSurface) ||
      (seat->pointerSurface != nullptr &&
       std::hypot(x - seat->pointerX, y - seat->pointerY) > kPointerSlack)) {
    seat->saverDone = true;
  }
}
void pointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface,
                  wl_fixed_t x, wl_fixed_t y) {
  wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);  // a saver shows no cursor
  pointerAt(record(data), surface, wl_fixed_to_double(x), wl_fixed_to_double(y));
}
// The pointer leaves a saver that covers its output only when the user moves it onto something
// else, or when a screen locker takes the input (wlr-input-inhibitor clears the pointer from
// every other client); on sway 1.7 that is the one sign a client gets of a layer-shell lock,
// which the saver would otherwise hide, being older on the overlay layer. Either way it ends.
void pointerLeave(void* data, wl_pointer*, uint32_t, wl_surface*) {
  record(data)->saverDone = true;
}
void pointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
  pointerAt(record(data), nullptr, wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void pointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
  if (state == WL_POINTER_BUTTON_STATE_PRESSED) {
    record(data)->saverDone = true;
  }
}
void pointerAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
// Seats are bound at version 1: the later pointer events do not come.
const wl_pointer_listener kPointerListener = {
    pointerEnter, pointerLeave, pointerMotion, pointerButton, pointerAxis,
    nullptr,      nullptr,      nullptr,       nullptr,       nullptr};

void seatCapabilities(void* data, wl_seat* /*seat*/, uint32_t capabilities) {
  WaylandSeat* seat = record(data);
  const bool keys = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  const bool pointing = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
  if (keys && seat->keyboard == nullptr) {
    if (seat->keyContext == nullptr) {
      seat->keyContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    }
    seat->keyboard = wl_seat_get_keyboard(seat->seat);
    wl_keyboard_add_listener(seat->keyboard, &kKeyboardListener, seat);
  } else if (!keys && seat->keyboard != nullptr) {
    wl_keyboard_destroy(seat->keyboard);
    seat->keyboard = nullptr;
  }
  if (pointing && seat->pointer == nullptr && seat->watchPointer) {
    seat->pointer = wl_seat_get_pointer(seat->seat);
    wl_pointer_add_listener(seat->pointer, &kPointerListener, seat);
  } else if (!pointing && seat->pointer != nullptr) {
    wl_pointer_destroy(seat->pointer);
    seat->pointer = nullptr;
  }
}
void seatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {seatCapabilities, seatName};

}  // namespace

void bindSeat(WaylandSeat* seat, wl_registry* registry, uint32_t name, bool watchPointer) {
  seat->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  seat->name = name;
  seat->watchPointer = watchPointer;
  wl_seat_add_listener(seat->seat, &kSeatListener, seat);
}

void releaseSeat(WaylandSeat* seat) {
  seatCapabilities(seat, seat->seat, 0);  // the keyboard and the pointer go first
  xkb_state_unref(seat->keyState);
  xkb_context_unref(seat->keyContext);
  if (seat->seat != nullptr) {
    wl_seat_destroy(seat->seat);
  }
  *seat = WaylandSeat();
}
