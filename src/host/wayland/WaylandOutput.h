// One output of the compositor and, in a layer mode, the layer surface Vantor draws on it: a
// record that the output's and the layer's listeners fill in and the Wayland surface acts on,
// one for each output, made when the output's global comes and released when it goes.
#pragma once

#include <cstdint>
#include <string>

#include "host/DrawnSize.h"
#include "host/wayland/WaylandCanvas.h"

struct wl_compositor;
struct wl_output;
struct wl_registry;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

struct WaylandOutput {
  std::uint32_t name = 0;  // the registry's name for the global
  wl_output* output = nullptr;
  std::string outputName;  // the compositor's name for it ("DP-1"; wl_output 4), or ""
  PixelSize mode;          // the current mode: the output's pixels
  int scale = 1;           // as announced; the canvas takes it when the output is described
  bool described = false;  // the output has said once that its description is complete
  zwlr_layer_surface_v1* layer = nullptr;
  bool layerClosed = false;  // the compositor took the layer away (its output is going, as a rule)
  WaylandCanvas canvas;
};

// Binds the output global `name` into `output` and listens to its description. The record must
// not move while it lives.
void bindOutput(WaylandOutput* output, wl_registry* registry, std::uint32_t name,
                std::uint32_t version);
// Gives a described output a layer surface that covers it whole, panels too: on the overlay
// layer, taking the keyboard, for a saver; else on `layer` (background or bottom), for a
// wallpaper. `layer` is a zwlr_layer_shell_v1 layer.
void addLayerSurface(WaylandOutput* output, wl_compositor* compositor,
                     zwlr_layer_shell_v1* layerShell, std::uint32_t layer);
// Drops the layer surface and its canvas; the output keeps its record and can get a new one.
void removeLayerSurface(WaylandOutput* output, const WaylandEgl& egl);
// Releases each of the output's objects in turn; the record can go after.
void releaseOutput(WaylandOutput* output, const WaylandEgl& egl);
