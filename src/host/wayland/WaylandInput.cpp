// The Wayland surface's input: keys for the window (q, Escape, Ctrl-C close it) and, for the
// overlay saver, any key, button or move of the pointer, which end it.
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cmath>
#include <cstring>

#include "host/wayland/WaylandSurface.h"

namespace {

// A pointer that moves less than this (logical pixels) is a nudge of the desk, not a user.
constexpr double kPointerSlack = 8.0;

WaylandSurface* owner(void* data) { return static_cast<WaylandSurface*>(data); }

void keyboardKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
  owner(data)->keymap(format, fd, size);
}
void keyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void keyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void keyboardKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
  if (state == WL_KEYBOARD_KEY_STATE_PRESSED) {
    owner(data)->keyPressed(key);
  }
}
void keyboardModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                       uint32_t locked, uint32_t group) {
  owner(data)->modifiers(depressed, latched, locked, group);
}
void keyboardRepeat(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboardListener = {keyboardKeymap, keyboardEnter,     keyboardLeave,
                                                keyboardKey,    keyboardModifiers, keyboardRepeat};

void pointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface,
                  wl_fixed_t x, wl_fixed_t y) {
  wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);  // a saver shows no cursor
  owner(data)->pointerAt(surface, wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void pointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
void pointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
  owner(data)->pointerAt(nullptr, wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void pointerButtonEvent(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
  if (state == WL_POINTER_BUTTON_STATE_PRESSED) {
    owner(data)->pointerButton();
  }
}
void pointerAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
// Seats are bound at version 1: the later pointer events do not come.
const wl_pointer_listener kPointerListener = {
    pointerEnter, pointerLeave, pointerMotion, pointerButtonEvent, pointerAxis, nullptr, nullptr,
    nullptr,      nullptr,      nullptr};

}  // namespace

void WaylandSurface::seatCapabilities(uint32_t capabilities) {
  const bool keys = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  const bool pointing = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
  if (keys && keyboard_ == nullptr) {
    if (keyContext_ == nullptr) {
      keyContext_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    }
    keyboard_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_, &kKeyboardListener, this);
  } else if (!keys && keyboard_ != nullptr) {
    wl_keyboard_destroy(keyboard_);
    keyboard_ = nullptr;
  }
  // Only the saver listens to the pointer: a window ignores it, as on X11.
  if (pointing && pointer_ == nullptr && target_.kind == WaylandTarget::Overlay) {
    pointer_ = wl_seat_get_pointer(seat_);
    wl_pointer_add_listener(pointer_, &kPointerListener, this);
  } else if (!pointing && pointer_ != nullptr) {
    wl_pointer_destroy(pointer_);
    pointer_ = nullptr;
  }
}

void WaylandSurface::keymap(uint32_t format, int fd, uint32_t size) {
  // Each keyboard (a virtual one too) brings its own map from codes to symbols.
  xkb_state_unref(keyState_);
  keyState_ = nullptr;
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text != MAP_FAILED) {
      xkb_keymap* map =
          xkb_keymap_new_from_buffer(keyContext_, static_cast<const char*>(text),
                                     strnlen(static_cast<const char*>(text), size),
                                     XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
      munmap(text, size);
      if (map != nullptr) {
        keyState_ = xkb_state_new(map);
        xkb_keymap_unref(map);
      }
    }
  }
  close(fd);
}

void WaylandSurface::modifiers(uint32_t depressed, uint32_t latched, uint32_t locked,
                               uint32_t group) {
  if (keyState_ != nullptr) {
    xkb_state_update_mask(keyState_, depressed, latched, locked, 0, 0, group);
  }
}

void WaylandSurface::keyPressed(uint32_t key) {
  SurfaceEvent event;
  event.kind = SurfaceEvent::Key;
  if (keyState_ != nullptr) {
    // Wayland sends the kernel's key codes; XKB numbers them from 8.
    event.keysym = xkb_state_key_get_one_sym(keyState_, key + 8);
    event.control =
        xkb_state_mod_name_is_active(keyState_, XKB_MOD_NAME_CTRL, XKB_STATE_MODS_EFFECTIVE) > 0;
  }
  keys_.push_back(event);
}

void WaylandSurface::pointerAt(wl_surface* entered, double x, double y) {
  if (entered != nullptr) {
    // The first surface the pointer is seen on holds the place it started from; reaching
    // another means it crossed to another output.
    if (pointerSurface_ == nullptr) {
      pointerSurface_ = entered;
      pointerX_ = x;
      pointerY_ = y;
      return;
    }
    if (entered != pointerSurface_) {
      closeRequested_ = true;
      return;
    }
  }
  if (pointerSurface_ != nullptr && std::hypot(x - pointerX_, y - pointerY_) > kPointerSlack) {
    closeRequested_ = true;
  }
}

void WaylandSurface::pointerButton() { closeRequested_ = true; }
