// What a key does, decided once for every surface: close, save the frame on screen, or switch
// full screen. Surfaces report keys as keysyms, which X11 and XKB number alike.
#pragma once

enum class KeyAction { None, Close, SaveFrame, ToggleFullscreen };

// The action of `keysym` (the symbol the keyboard's layout and modifiers make of the key),
// with `control` held or not. q, Q, Escape and Ctrl-C close; s saves the frame, f switches full
// screen. A screen saver (`anyKeyCloses`) ends on any key at all.
KeyAction keyAction(unsigned long keysym, bool control, bool anyKeyCloses);
