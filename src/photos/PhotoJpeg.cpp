// The JPEG half of the photo decoder: libjpeg with DCT scaling to the smallest scale still at
// least the target, then the box reduction; grey, RGB, CMYK and YCCK (Adobe's inverted CMYK).
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

#include "photos/PhotoDecode.h"

// After <cstdio>: libjpeg's header needs FILE.
#include <jerror.h>
#include <jpeglib.h>

namespace {

// libjpeg's error manager followed by the point the fatal handler jumps back to.
struct PhotoJpegErrors {
  jpeg_error_mgr pub;
  jmp_buf back;
  char message[JMSG_LENGTH_MAX];
};

void jumpBack(j_common_ptr cinfo) {
  PhotoJpegErrors* errors = reinterpret_cast<PhotoJpegErrors*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  longjmp(errors->back, 1);
}

// A file that ends early is padded by libjpeg with grey: shown, it would be a photo half grey,
// so the end of the data is as fatal here as any error. Other warnings (extraneous bytes, as
// many cameras write) are not.
void warningsFatalAtEnd(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
    jumpBack(cinfo);
  }
}

void printNothing(j_common_ptr /*cinfo*/) {}

// Everything one decode touches, in the caller's frame, so that it stays defined across the
// longjmp. runJpeg below, which calls setjmp, holds no object with a destructor.
struct JpegDecode {
  jpeg_decompress_struct cinfo;
  PhotoJpegErrors errors;
  std::optional<BoxReducer> reducer;
  std::vector<unsigned char> rgbRow;
};

// The smallest n in 1..8 whose scale n/8 keeps the longer side at least `target`.
int scaleEighths(unsigned longer, unsigned target) {
  for (int n = 1; n < 8; n++) {
    if ((longer * n + 7) / 8 >= target) {
      return n;
    }
  }
  return 8;
}

bool runJpeg(JpegDecode* d, std::FILE* file, long fileBytes, Photo* photo, std::string* why,
             const std::atomic<bool>* stop, bool headerOnly) {
  jpeg_decompress_struct* cinfo = &d->cinfo;
  cinfo->err = jpeg_std_error(&d->errors.pub);
  d->errors.pub.error_exit = jumpBack;
  d->errors.pub.emit_message = warningsFatalAtEnd;
  d->errors.pub.output_message = printNothing;
  if (setjmp(d->errors.back)) {
    *why = d->errors.message;
    return false;
  }
  jpeg_create_decompress(cinfo);
  jpeg_stdio_src(cinfo, file);
  jpeg_read_header(cinfo, TRUE);
  const unsigned width = cinfo->image_width, height = cinfo->image_height;
  if (1.0 * width * height > kMostPhotoPixels) {
    *why = std::to_string(width) + "x" + std::to_string(height) + " is more than " +
           std::to_string(static_cast<long>(kMostPhotoPixels / 1e6)) + " megapixels";
    return false;
  }
  // A progressive file has libjpeg set aside every coefficient of the picture at the start:
  // a few bytes claiming a large picture would take hundreds of megabytes. No real photo
  // holds a thousand pixels in a byte.
  if (cinfo->progressive_mode && 1.0 * width * height > 1000.0 * fileBytes) {
    *why = std::to_string(width) + "x" + std::to_string(height) + " claimed by " +
           std::to_string(fileBytes) + " bytes";
    return false;
  }
  photo->width = static_cast<int>(width);
  photo->height = static_cast<int>(height);
  if (headerOnly) {
    return true;
  }
  const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  cinfo->scale_num = static_cast<unsigned>(
      scaleEighths(width > height ? width : height, static_cast<unsigned>(kPhotoSide)));
  cinfo->scale_denom = 8;
  // A progressive file keeps every coefficient of the picture: past this, libjpeg gives up
  // rather than take the machine's memory.
  cinfo->mem->max_memory_to_use = 256L << 20;
  jpeg_start_decompress(cinfo);
  const int outWidth = static_cast<int>(cinfo->output_width);
  d->reducer.emplace(outWidth, static_cast<int>(cinfo->output_height), kPhotoSide, photo);
  d->rgbRow.resize(static_cast<size_t>(outWidth) * 3);
  JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                               cinfo->output_width * cinfo->output_components, 1);
  // Adobe writes CMYK inverted: 0 is full ink. Without its marker the values are plain.
  const bool inverted = cinfo->saw_Adobe_marker;
  while (cinfo->output_scanline < cinfo->output_height) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
      *why = "stopped";
      return false;
    }
    jpeg_read_scanlines(cinfo, row, 1);
    const unsigned char* rgb = row[0];
    if (cmyk) {
      for (int x = 0; x < outWidth; x++) {
        const unsigned char* ink = row[0] + 4 * x;
        const unsigned k = inverted ? ink[3] : 255u - ink[3];
        for (int c = 0; c < 3; c++) {
          const unsigned paper = inverted ? ink[c] : 255u - ink[c];
          d->rgbRow[3 * x + c] = static_cast<unsigned char>((paper * k + 127) / 255);
        }
      }
      rgb = d->rgbRow.data();
    }
    d->reducer->addRow(rgb);
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

}  // namespace

bool decodeJpegPhoto(std::FILE* file, Photo* photo, std::string* why, const std::atomic<bool>* stop,
                     bool headerOnly) {
  JpegDecode decode;
  std::memset(&decode.cinfo, 0, sizeof decode.cinfo);
  std::memset(&decode.errors, 0, sizeof decode.errors);
  const long start = std::ftell(file);
  std::fseek(file, 0, SEEK_END);
  const long fileBytes = std::ftell(file) - start;
  std::fseek(file, start, SEEK_SET);
  bool decoded = false;
  try {
    decoded = runJpeg(&decode, file, fileBytes, photo, why, stop, headerOnly);
  } catch (const std::bad_alloc&) {
    *why = "out of memory";
  }
  jpeg_destroy_decompress(&decode.cinfo);
  if (!decoded) {
    photo->rgb.clear();
  }
  return decoded;
}
