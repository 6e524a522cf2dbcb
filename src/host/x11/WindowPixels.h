// Reading what a window shows: its pixels as 8-bit RGB, top row first, whatever the visual's
// channel layout.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

// The width x height pixels of `window` from its top-left corner into *rgb. False with *error
// when the server cannot give them (the window is gone, or not viewable).
bool readWindowPixels(Display* display, Window window, int width, int height,
                      std::vector<std::uint8_t>* rgb, std::string* error);
