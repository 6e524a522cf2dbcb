// Keeps the OpenGL driver loaded until the process ends, in sanitizer builds only. Mesa unloads
// its driver when the display closes (X11) or EGL lets go of it (Wayland). LeakSanitizer,
// checking at exit, then no longer sees the driver's globals and reports the blocks they still
// point to as leaks, with stacks it cannot read (and so cannot suppress).
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>

#include <cstring>

inline int KeepMappedIfGlDriver(dl_phdr_info* info, size_t /*size*/, void* /*data*/) {
  const char* name = info->dlpi_name;
  if (name != nullptr && (std::strstr(name, "/dri/") || std::strstr(name, "GLX_mesa") ||
                          std::strstr(name, "EGL_mesa") || std::strstr(name, "libLLVM") ||
                          std::strstr(name, "libgallium"))) {
    dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  }
  return 0;
}

// Call once the driver is loaded (after the first context is made).
inline void KeepGlDriverMapped() { dl_iterate_phdr(KeepMappedIfGlDriver, nullptr); }
#else
inline void KeepGlDriverMapped() {}
#endif
