#include "image/LoadJPEGMask.h"

#include <cerrno>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "util/KaleidoUtils.h"

namespace {

// libjpeg's error manager followed by the point my_error_exit jumps back to, and the record
// its messages are kept in.
struct my_error_mgr {
  jpeg_error_mgr pub;
  jmp_buf setjmp_buffer;
  DecodedJPEG* decoded;
};

static_assert(sizeof(DecodedJPEG::fatalMessage) >= JMSG_LENGTH_MAX, "room for libjpeg's text");
static_assert(sizeof(DecodedJPEG::firstWarning) >= JMSG_LENGTH_MAX, "room for libjpeg's text");

// Level -1 is a warning; levels from 0 up are trace output, of no interest here.
void keepWarning(j_common_ptr cinfo, int level) {
  DecodedJPEG* decoded = reinterpret_cast<my_error_mgr*>(cinfo->err)->decoded;
  if (level < 0 && decoded->warnings++ == 0) {
    (*cinfo->err->format_message)(cinfo, decoded->firstWarning);
  }
}

void printNothing(j_common_ptr /*cinfo*/) {}

// Everything one decode touches. It lives in the caller's frame rather than in the frame that
// calls setjmp, so its contents are still defined after my_error_exit's longjmp.
struct JPEGDecode {
  jpeg_decompress_struct cinfo;
  my_error_mgr jerr;
  FILE* file;
  unsigned char* pixels;
};

// Runs one decode as far as it goes; the caller releases what it holds. libjpeg's fatal errors
// longjmp back to the setjmp below across libjpeg's own frames, so this function holds plain C
// data only: no destructor may be skipped on the way back.
DecodeJPEGResult runDecode(JPEGDecode* decode, const char* path, const JPEGDecodeRules* rules,
                           DecodedJPEG* decoded) {
  decode->cinfo.err = jpeg_std_error(&decode->jerr.pub);
  decode->jerr.pub.error_exit = my_error_exit;
  decode->jerr.pub.emit_message = keepWarning;
  if (!rules->printFatal) {
    decode->jerr.pub.output_message = printNothing;
  }
  decode->jerr.decoded = decoded;
  if (setjmp(decode->jerr.setjmp_buffer)) {
    outlog("jpeg failed");
    return kJPEGFailed;
  }

  outlog("b");
  jpeg_create_decompress(&decode->cinfo);
  outlog("C");
  outlog("trying to open %s", path);
  decode->file = path != nullptr ? fopen(path, "rb") : nullptr;
  if (decode->file == nullptr) {
    decoded->openError = path != nullptr ? errno : ENOENT;
    outlog("Can't open %s\n", path);
    return kJPEGCannotOpen;
  }
  outlog("Successfully opened %s", path);

  jpeg_stdio_src(&decode->cinfo, decode->file);
  jpeg_read_header(&decode->cinfo, TRUE);
  decoded->headerRead = true;
  decoded->width = decode->cinfo.image_width;
  decoded->height = decode->cinfo.image_height;
  decoded->components = decode->cinfo.num_components;
  // Refused before decompression starts: for a progressive file libjpeg first sets aside the
  // coefficients of the whole image, gigabytes for a few bytes of header.
  if (decoded->width > rules->maxSide || decoded->height > rules->maxSide) {
    outlog("%ux%u is larger than %u on a side", decoded->width, decoded->height, rules->maxSide);
    return kJPEGRefused;
  }
  if (decoded->width < rules->minWidth || decoded->height < rules->minHeight ||
      (rules->components != 0 && decoded->components != rules->components)) {
    return kJPEGRefused;
  }
  jpeg_start_decompress(&decode->cinfo);

  const JDIMENSION height = decode->cinfo.output_height;
  decoded->width = decode->cinfo.output_width;
  decoded->height = height;
  decoded->components = decode->cinfo.output_components;
  const size_t rowBytes =
      static_cast<size_t>(decoded->width) * static_cast<size_t>(decoded->components);
  if (rules->keepPixels) {
    decode->pixels = static_cast<unsigned char*>(calloc(height, rowBytes));
    if (decode->pixels == nullptr) {
      outlog("no memory for %ux%u pixels", decoded->width, height);
      return kJPEGNoMemory;
    }
  }

  JSAMPARRAY row =
      (*decode->cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&decode->cinfo),
                                         JPOOL_IMAGE, static_cast<JDIMENSION>(rowBytes), 1);
  size_t y = 0;
  while (decode->cinfo.output_scanline < height) {
    // A stdio source never suspends: at the file's end libjpeg warns and pads the picture.
    jpeg_read_scanlines(&decode->cinfo, row, 1);
    if (decode->pixels != nullptr) {
      memcpy(decode->pixels + y * rowBytes, row[0], rowBytes);
    }
    y++;
  }
  jpeg_finish_decompress(&decode->cinfo);
  return kJPEGDecoded;
}

}  // namespace

void my_error_exit(jpeg_common_struct* cinfo) {
  my_error_mgr* err = reinterpret_cast<my_error_mgr*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->decoded->fatalMessage);
  (*cinfo->err->output_message)(cinfo);
  longjmp(err->setjmp_buffer, 1);
}

DecodeJPEGResult decodeJpegFile(const char* path, const JPEGDecodeRules& rules,
                                DecodedJPEG* decoded) {
  memset(decoded, 0, sizeof(*decoded));
  JPEGDecode decode;
  memset(&decode, 0, sizeof(decode));
  const DecodeJPEGResult result = runDecode(&decode, path, &rules, decoded);
  jpeg_destroy_decompress(&decode.cinfo);
  if (decode.file != nullptr) {
    fclose(decode.file);
  }
  if (result == kJPEGDecoded) {
    decoded->pixels = decode.pixels;
  } else {
    free(decode.pixels);
  }
  return result;
}

bool LoadJPEGTexture(TextureImage* texture, const char* maskname, int /*glMode*/) {
  outlog("A");
  GLint maxTextureSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);

  // The implementation would refuse a larger upload and leave an empty texture behind.
  JPEGDecodeRules rules = {};
  rules.maxSide = static_cast<unsigned>(maxTextureSize > 0 ? maxTextureSize : 0);
  rules.keepPixels = true;
  rules.printFatal = true;
  DecodedJPEG decoded;
  texture->imageData = nullptr;
  const DecodeJPEGResult result = decodeJpegFile(maskname, rules, &decoded);
  if (decoded.headerRead) {
    texture->width = decoded.width;
    texture->height = decoded.height;
  }
  if (result != kJPEGDecoded) {
    return false;
  }
  if (decoded.warnings > 0) {
    outlog("jpeg warning: %s", decoded.firstWarning);
  }
  texture->bpp = static_cast<GLuint>(decoded.components) * 8;
  texture->imageData = decoded.pixels;
  return FinishLoadingTexture(texture);
}

bool FinishLoadingTexture(TextureImage* texture) {
  glGenTextures(1, &texture->texID);
  glBindTexture(GL_TEXTURE_2D, texture->texID);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLfloat>(GL_LINEAR));
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLfloat>(GL_LINEAR));

  const GLenum format = texture->bpp == 24 ? GL_RGB : GL_ALPHA;
  // Rows are tightly packed: any width (a 30-pixel grey row is 30 bytes) must upload as it is.
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), static_cast<GLsizei>(texture->width),
               static_cast<GLsizei>(texture->height), 0, format, GL_UNSIGNED_BYTE,
               texture->imageData);
  glPopClientAttrib();

  free(texture->imageData);
  texture->imageData = nullptr;
  return true;
}
