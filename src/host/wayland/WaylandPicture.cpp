#include "host/wayland/WaylandPicture.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/wayland/Protocols.h"
#include "host/wayland/WaylandCanvas.h"

void WaylandPicture::released(void* data, wl_buffer* /*buffer*/) {
  static_cast<Buffer*>(data)->held = false;
}

bool WaylandPicture::make(Buffer* buffer, PixelSize size, std::string* error) {
  destroy(buffer);
  const std::size_t bytes = static_cast<std::size_t>(size.width) * size.height * 4;
  const int fd = memfd_create("vantor-picture", MFD_CLOEXEC);
  void* pixels = MAP_FAILED;
  if (fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes)) == 0) {
    pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  if (pixels == MAP_FAILED) {
    *error = "cannot keep a " + std::to_string(size.width) + "x" + std::to_string(size.height) +
             " picture for the other outputs: " + std::strerror(errno) +
             "; try a smaller --scale or fewer outputs";
    if (fd >= 0) {
      close(fd);
    }
    return false;
  }
  wl_shm_pool* pool = wl_shm_create_pool(shm_, fd, static_cast<int32_t>(bytes));
  buffer->buffer = wl_shm_pool_create_buffer(pool, 0, size.width, size.height, size.width * 4,
                                             WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);  // the buffer keeps what it needs of it
  close(fd);
  static const wl_buffer_listener kListener = {released};
  wl_buffer_add_listener(buffer->buffer, &kListener, buffer);
  buffer->pixels = pixels;
  buffer->bytes = bytes;
  buffer->size = size;
  return true;
}

void WaylandPicture::destroy(Buffer* buffer) {
  if (buffer->buffer != nullptr) {
    wl_buffer_destroy(buffer->buffer);
    munmap(buffer->pixels, buffer->bytes);
  }
  *buffer = Buffer();
}

wl_buffer* WaylandPicture::capture(const PixelArea& part, std::string* error) {
  const PixelSize size{part.width, part.height};
  Buffer* chosen = nullptr;  // a free one of the size, else a free one made for another or none
  for (Buffer& buffer : buffers_) {
    if (!buffer.held && (chosen == nullptr || (buffer.size == size && chosen->size != size) ||
                         (buffer.buffer == nullptr && chosen->size != size))) {
      chosen = &buffer;
    }
  }
  if (chosen == nullptr) {
    return nullptr;
  }
  if (chosen->size != size && !make(chosen, size, error)) {
    return nullptr;
  }
  // XRGB8888 is BGRA in memory on a little-endian machine, as OpenGL packs BGRA.
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(part.left, part.bottom, part.width, part.height, GL_BGRA,
               GL_UNSIGNED_INT_8_8_8_8_REV, chosen->pixels);
  chosen->held = true;
  return chosen->buffer;
}

void WaylandPicture::show(WaylandCanvas* canvas, wl_buffer* buffer, PixelSize size) {
  wp_viewport_set_destination(canvas->viewport, canvas->logicalWidth, canvas->logicalHeight);
  wl_surface_attach(canvas->surface, buffer, 0, 0);
  wl_surface_damage_buffer(canvas->surface, 0, 0, size.width, size.height);
  askForFrame(canvas);
  wl_surface_commit(canvas->surface);
}

void WaylandPicture::release() {
  for (Buffer& buffer : buffers_) {
    destroy(&buffer);
  }
}
