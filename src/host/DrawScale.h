// How much of a window's pixels the kaleidoscope is drawn at before it is enlarged over the
// window. A scale is a share of each side, 0.25 to 1; 0 asks for the automatic choice.
#pragma once

constexpr double kSmallestDrawScale = 0.25;

// True for Mesa's software rasterisers (llvmpipe, softpipe, swrast), named by GL_RENDERER.
bool isSoftwareRenderer(const char* renderer);

// The scale to draw a width x height window at. A requested scale (0.25 to 1) is kept. The
// automatic one is 1 on a hardware renderer; a software one draws every pixel, so it gets the
// largest scale whose drawn area is at most 1920x1080 pixels.
double chooseDrawScale(double requested, const char* renderer, int width, int height);

// One side of the drawn picture, in pixels: never more than side * scale, never less than 1.
int drawnSide(int side, double scale);
