// What a surface does to the OpenGL driver as it starts OpenGL, and why, in one place.
//
// Mesa's software renderer draws on a thread per core by default. On one core a frame of up to
// 1920x1200 still takes well under a tick at 30 a second, and handing every frame to other
// threads costs about a tenth more CPU than drawing it on ours; so when no more than that is
// drawn, unless the user chose otherwise, it draws on the calling thread. It reads the choice
// when OpenGL first touches the display, so chooseRasterThreads comes before any GL call.
// Hardware drivers ignore it.
//
// Mesa unloads its driver when the display closes (X11) or EGL lets go of it (Wayland).
// LeakSanitizer, checking at exit, then no longer sees the driver's globals and reports the
// blocks they still point to as leaks, with stacks it cannot read (and so cannot suppress); in
// sanitizer builds keepGlDriverMapped keeps the driver loaded until the process ends.
#pragma once

#include <cstdlib>

// `drawnPixels`: the most pixels a frame will be drawn with; 0 when known to be few.
inline void chooseRasterThreads(double drawnPixels) {
  if (drawnPixels <= 1920.0 * 1200.0) {
    setenv("LP_NUM_THREADS", "0", 0);
  }
}

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>

#include <cstring>

inline int keepMappedIfGlDriver(dl_phdr_info* info, size_t /*size*/, void* /*data*/) {
  const char* name = info->dlpi_name;
  if (name != nullptr && (std::strstr(name, "/dri/") || std::strstr(name, "GLX_mesa") ||
                          std::strstr(name, "EGL_mesa") || std::strstr(name, "libLLVM") ||
                          std::strstr(name, "libgallium"))) {
    dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  }
  return 0;
}

// Call once the driver is loaded (after the first context is made).
inline void keepGlDriverMapped() { dl_iterate_phdr(keepMappedIfGlDriver, nullptr); }
#else
inline void keepGlDriverMapped() {}
#endif
