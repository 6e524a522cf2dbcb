#include "host/PngWriter.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/SafeFile.h"

namespace {

// Failures are reported once, by the caller; libpng's own messages would add a second line.
[[noreturn]] void jumpOnError(png_structp png, png_const_charp /*message*/) { png_longjmp(png, 1); }

void ignoreWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// libpng reports errors by longjmp; this C-style function keeps only plain values alive
// across the jump, so no destructor is skipped.
const char* writeRows(FILE* file, int width, int height, const std::uint8_t* rgb) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOnError, ignoreWarning);
  if (png == nullptr) {
    return "out of memory";
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return "out of memory";
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return "write failed";
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; y++) {
    png_write_row(png, rgb + rowBytes * static_cast<size_t>(y));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return nullptr;
}

}  // namespace

bool writePng(const std::string& path, int width, int height, const std::uint8_t* rgb, int abortFd,
              std::string* error) {
  SafeFile file;
  if (!file.open(path, error)) {
    return false;
  }
  errno = 0;
  const char* failure = writeRows(file.stream(), width, height, rgb);
  if (failure != nullptr) {
    // The stream's own reason (a full disk, a closed pipe) says more than libpng's.
    const int reason = errno;
    file.discard();
    *error = "cannot write '" + path + "': " + (reason != 0 ? std::strerror(reason) : failure);
    return false;
  }
  return file.commit(error, abortFd);
}
