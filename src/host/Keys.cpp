#include "host/Keys.h"

namespace {

// The few keysyms the actions use (X11's keysymdef.h and XKB's xkbcommon-keysyms.h agree).
constexpr unsigned long kEscape = 0xff1b;

bool isLetter(unsigned long keysym, char letter) {
  return keysym == static_cast<unsigned long>(letter) ||
         keysym == static_cast<unsigned long>(letter - 'a' + 'A');
}

}  // namespace

KeyAction keyAction(unsigned long keysym, bool control, bool anyKeyCloses) {
  if (anyKeyCloses || keysym == kEscape || isLetter(keysym, 'q') ||
      (control && isLetter(keysym, 'c'))) {
    return KeyAction::Close;
  }
  if (isLetter(keysym, 's')) {
    return KeyAction::SaveFrame;
  }
  if (isLetter(keysym, 'f')) {
    return KeyAction::ToggleFullscreen;
  }
  return KeyAction::None;
}
