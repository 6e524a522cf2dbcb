// Where a window of Vantor's own goes on the screen and how large it is, as -geometry,
// --fullscreen and the default size say. Sizes and offsets are in pixels.
#pragma once

struct WindowPlacement {
  int width = 1024;
  int height = 768;
  // When hasPosition: offsets from the screen's left and top edges, or from its right
  // (xFromRight) and bottom (yFromBottom) edges to the window's. "+-5" gives -5: beyond the
  // left edge.
  int x = 0;
  int y = 0;
  bool xFromRight = false;
  bool yFromBottom = false;
  bool hasPosition = false;
  // The size follows the screen (1024x768 where that takes at most two thirds of it each way,
  // else the largest 4:3 size that does) rather than width and height: no -geometry given.
  bool sizeFromScreen = true;
  bool fullscreen = false;  // start filling the screen
};
