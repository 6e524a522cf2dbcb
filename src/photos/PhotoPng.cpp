// The PNG half of the photo decoder: libpng with the transformations that make any PNG 8-bit
// RGBA (palette, grey, 16-bit, tRNS), composited over black, reduced row by row; interlaced
// files, which come whole only at the last pass, are decoded whole within a smaller bound.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>
#include <optional>

#include "photos/PhotoDecode.h"

namespace {

struct PngDecode {
  png_structp png = nullptr;
  png_infop info = nullptr;
  char message[200] = {};
  std::optional<BoxReducer> reducer;
  std::vector<unsigned char> rgba;  // one row, or the whole of an interlaced picture
  std::vector<unsigned char> rgb;   // one row
};

void failed(png_structp png, png_const_charp message) {
  PngDecode* decode = static_cast<PngDecode*>(png_get_error_ptr(png));
  // libpng's stdio reader says only "Read Error" when the file ends early.
  const bool cut = std::strcmp(message, "Read Error") == 0;
  std::snprintf(decode->message, sizeof decode->message, "%s",
                cut ? "the file ends early" : message);
  png_longjmp(png, 1);
}

void warned(png_structp /*png*/, png_const_charp /*message*/) {}

// Over black: a transparent part of a photo is the dark around the pieces.
void toRgb(const unsigned char* rgba, int width, unsigned char* rgb) {
  for (int x = 0; x < width; x++) {
    const unsigned alpha = rgba[4 * x + 3];
    for (int c = 0; c < 3; c++) {
      rgb[3 * x + c] = static_cast<unsigned char>((rgba[4 * x + c] * alpha + 127) / 255);
    }
  }
}

// Calls setjmp: holds no object with a destructor; everything lives in *d.
bool runPng(PngDecode* d, std::FILE* file, Photo* photo, std::string* why,
            const std::atomic<bool>* stop, bool headerOnly) {
  if (setjmp(png_jmpbuf(d->png))) {
    *why = d->message;
    return false;
  }
  png_init_io(d->png, file);
  // Refused before any row is set aside; ancillary chunks (text, profiles) are bounded too.
  png_set_user_limits(d->png, 65535, 65535);
  png_set_chunk_malloc_max(d->png, 8 << 20);
  png_read_info(d->png, d->info);
  const png_uint_32 width = png_get_image_width(d->png, d->info);
  const png_uint_32 height = png_get_image_height(d->png, d->info);
  const bool interlaced = png_get_interlace_type(d->png, d->info) != PNG_INTERLACE_NONE;
  const double pixels = 1.0 * width * height;
  if (pixels > (interlaced ? kMostInterlacedPixels : kMostPhotoPixels)) {
    *why = std::to_string(width) + "x" + std::to_string(height) + " is more than " +
           std::to_string(
               static_cast<long>((interlaced ? kMostInterlacedPixels : kMostPhotoPixels) / 1e6)) +
           " megapixels" + (interlaced ? " for an interlaced PNG" : "");
    return false;
  }
  photo->width = static_cast<int>(width);
  photo->height = static_cast<int>(height);
  if (headerOnly) {
    return true;
  }
  png_set_expand(d->png);
  png_set_scale_16(d->png);
  png_set_gray_to_rgb(d->png);
  png_set_add_alpha(d->png, 0xff, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(d->png);
  png_read_update_info(d->png, d->info);
  if (png_get_rowbytes(d->png, d->info) != static_cast<size_t>(width) * 4) {
    *why = "an unexpected pixel layout";
    return false;
  }
  d->reducer.emplace(static_cast<int>(width), static_cast<int>(height), kPhotoSide, photo);
  d->rgb.resize(static_cast<size_t>(width) * 3);
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  d->rgba.resize(passes > 1 ? rowBytes * height : rowBytes);
  for (int pass = 0; pass < passes; pass++) {
    for (png_uint_32 y = 0; y < height; y++) {
      if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
        *why = "stopped";
        return false;
      }
      unsigned char* row = d->rgba.data() + (passes > 1 ? rowBytes * y : 0);
      png_read_row(d->png, row, nullptr);
      if (pass + 1 == passes) {
        toRgb(row, static_cast<int>(width), d->rgb.data());
        d->reducer->addRow(d->rgb.data());
      }
    }
  }
  return true;
}

}  // namespace

bool decodePngPhoto(std::FILE* file, Photo* photo, std::string* why, const std::atomic<bool>* stop,
                    bool headerOnly) {
  PngDecode decode;
  decode.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &decode, failed, warned);
  decode.info = decode.png != nullptr ? png_create_info_struct(decode.png) : nullptr;
  bool decoded = false;
  if (decode.info == nullptr) {
    *why = "out of memory";
  } else {
    try {
      decoded = runPng(&decode, file, photo, why, stop, headerOnly);
    } catch (const std::bad_alloc&) {
      *why = "out of memory";
    }
  }
  png_destroy_read_struct(&decode.png, &decode.info, nullptr);
  if (!decoded) {
    photo->rgb.clear();
  }
  return decoded;
}
