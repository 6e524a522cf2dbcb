// Feeds arbitrary bytes to the JPEG texture loader as the atlas file: whatever the bytes, it
// must return without crashing, leaking or hanging, and a texture it reports is a real one.
#include <sys/mman.h>
#include <unistd.h>

#include <GL/gl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/offscreen/OffscreenContext.h"
#include "image/LoadJPEGMask.h"

namespace {

OffscreenContext* context = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  context = new OffscreenContext();
  std::string error;
  if (!context->create(16, 16, &error)) {
    std::fprintf(stderr, "jpeg_fuzzer: %s\n", error.c_str());
    std::exit(1);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The loader reads a path; an anonymous in-memory file gives it one without touching disk.
  int file = memfd_create("atlas.jpg", 0);
  if (file < 0) {
    std::abort();
  }
  if (size > 0 && write(file, data, size) != static_cast<ssize_t>(size)) {
    std::abort();
  }
  const std::string path = "/proc/self/fd/" + std::to_string(file);

  TextureImage texture = {};
  if (LoadJPEGTexture(&texture, path.c_str(), GL_ALPHA)) {
    if (texture.imageData != nullptr || !glIsTexture(texture.texID) || texture.width == 0 ||
        texture.height == 0) {
      std::abort();
    }
    glDeleteTextures(1, &texture.texID);
  } else if (texture.imageData != nullptr || texture.texID != 0) {
    std::abort();
  }
  close(file);
  return 0;
}
