// The protocols the Wayland surface speaks beyond the core one, as wayland-scanner generated
// them at build time: xdg-shell (windows), viewporter (a buffer shown larger than it is) and
// wlr-layer-shell (wallpapers and savers).
#pragma once

#include <wayland-client.h>

#include "viewporter-client.h"
#include "xdg-shell-client.h"
// The protocol names a parameter `namespace`, a C++ keyword.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client.h"
#undef namespace
