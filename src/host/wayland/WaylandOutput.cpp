#include "host/wayland/WaylandOutput.h"

#include <algorithm>

#include "host/wayland/Protocols.h"

namespace {

WaylandOutput* record(void* data) { return static_cast<WaylandOutput*>(data); }

void outputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                    const char*, int32_t) {}
void outputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
  if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
    record(data)->mode = PixelSize{width, height};
  }
}
void outputDone(void* data, wl_output* /*output*/) {
  WaylandOutput* output = record(data);
  output->described = true;
  if (output->canvas.surface != nullptr) {
    scaleCanvas(&output->canvas, output->scale);
  }
}
void outputScale(void* data, wl_output* /*output*/, int32_t factor) {
  record(data)->scale = std::max(1, factor);
}
void outputName(void* data, wl_output*, const char* name) { record(data)->outputName = name; }
void outputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {outputGeometry, outputMode, outputDone,
                                            outputScale,    outputName, outputDescription};

void layerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                    uint32_t height) {
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  configureCanvas(&record(data)->canvas, static_cast<int>(width), static_cast<int>(height));
}
void layerClosed(void* data, zwlr_layer_surface_v1* /*layer*/) { record(data)->layerClosed = true; }
const zwlr_layer_surface_v1_listener kLayerListener = {layerConfigure, layerClosed};

}  // namespace

void bindOutput(WaylandOutput* output, wl_registry* registry, uint32_t name, uint32_t version) {
  output->name = name;
  output->output = static_cast<wl_output*>(
      wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 4u)));
  wl_output_add_listener(output->output, &kOutputListener, output);
}

void addLayerSurface(WaylandOutput* output, wl_compositor* compositor,
                     zwlr_layer_shell_v1* layerShell, uint32_t layer) {
  WaylandCanvas& canvas = output->canvas;
  const bool overlay = layer == ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY;
  canvas.surface = wl_compositor_create_surface(compositor);
  canvas.scale = output->scale;
  output->layerClosed = false;
  output->layer =
      zwlr_layer_shell_v1_get_layer_surface(layerShell, canvas.surface, output->output, layer,
                                            overlay ? "vantor-saver" : "vantor-wallpaper");
  zwlr_layer_surface_v1_add_listener(output->layer, &kLayerListener, output);
  // Size 0x0 anchored to all four edges: the whole output, whatever its size; an exclusive
  // zone of -1 covers panels too.
  zwlr_layer_surface_v1_set_size(output->layer, 0, 0);
  zwlr_layer_surface_v1_set_anchor(
      output->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(output->layer, -1);
  if (overlay) {
    zwlr_layer_surface_v1_set_keyboard_interactivity(output->layer, 1);  // exclusive
  }
  wl_surface_commit(canvas.surface);
}

void removeLayerSurface(WaylandOutput* output, const WaylandEgl& egl) {
  if (output->layer != nullptr) {
    zwlr_layer_surface_v1_destroy(output->layer);  // the role goes before its surface
    output->layer = nullptr;
  }
  destroyCanvas(&output->canvas, egl);
  output->layerClosed = false;
}

void releaseOutput(WaylandOutput* output, const WaylandEgl& egl) {
  removeLayerSurface(output, egl);
  if (output->output != nullptr) {
    if (wl_output_get_version(output->output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
      wl_output_release(output->output);
    } else {
      wl_output_destroy(output->output);
    }
    output->output = nullptr;
  }
}
