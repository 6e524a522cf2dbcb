#include "image/LoadJPEGMask.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "util/KaleidoUtils.h"

namespace {

// libjpeg's error manager followed by the point my_error_exit jumps back to.
struct my_error_mgr {
  jpeg_error_mgr pub;
  jmp_buf setjmp_buffer;
};

// Everything one decode touches. It lives in the caller's frame rather than in the frame that
// calls setjmp, so its contents are still defined after my_error_exit's longjmp.
struct JpegDecode {
  jpeg_decompress_struct cinfo;
  my_error_mgr jerr;
  FILE* file;
  GLubyte* pixels;
};

// Releases what a decode holds; used on every way out of DecodeJPEG except success.
void AbandonDecode(JpegDecode* decode) {
  jpeg_destroy_decompress(&decode->cinfo);
  if (decode->file != nullptr) {
    fclose(decode->file);
    decode->file = nullptr;
  }
  free(decode->pixels);
  decode->pixels = nullptr;
}

// Decodes the file into texture->imageData. libjpeg's fatal errors longjmp back to the setjmp
// below across libjpeg's own frames, so this function and everything it calls hold plain C
// data only: no destructor may be skipped on the way back.
bool DecodeJPEG(JpegDecode* decode, TextureImage* texture, const char* maskname,
                GLint maxTextureSize) {
  decode->cinfo.err = jpeg_std_error(&decode->jerr.pub);
  decode->jerr.pub.error_exit = my_error_exit;
  if (setjmp(decode->jerr.setjmp_buffer)) {
    outlog("jpeg failed");
    AbandonDecode(decode);
    return false;
  }

  outlog("b");
  jpeg_create_decompress(&decode->cinfo);
  outlog("C");
  outlog("trying to open %s", maskname);
  decode->file = maskname != nullptr ? fopen(maskname, "rb") : nullptr;
  if (decode->file == nullptr) {
    outlog("Can't open %s\n", maskname);
    AbandonDecode(decode);
    return false;
  }
  outlog("Successfully opened %s", maskname);

  jpeg_stdio_src(&decode->cinfo, decode->file);
  jpeg_read_header(&decode->cinfo, TRUE);
  texture->width = decode->cinfo.image_width;
  texture->height = decode->cinfo.image_height;
  // The implementation would refuse the upload and leave an empty texture behind. Refused before
  // decompression starts: for a progressive file libjpeg first sets aside the coefficients of the
  // whole image, gigabytes for a few bytes of header.
  if (decode->cinfo.image_width > static_cast<JDIMENSION>(maxTextureSize) ||
      decode->cinfo.image_height > static_cast<JDIMENSION>(maxTextureSize)) {
    outlog("%ux%u is larger than the texture limit %d", decode->cinfo.image_width,
           decode->cinfo.image_height, maxTextureSize);
    AbandonDecode(decode);
    return false;
  }
  jpeg_start_decompress(&decode->cinfo);

  const JDIMENSION width = decode->cinfo.output_width;
  const JDIMENSION height = decode->cinfo.output_height;
  const int components = decode->cinfo.output_components;
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(components);
  texture->width = width;
  texture->height = height;
  texture->bpp = static_cast<GLuint>(components) * 8;

  decode->pixels = static_cast<GLubyte*>(calloc(height, rowBytes));
  if (decode->pixels == nullptr) {
    outlog("no memory for %ux%u pixels", width, height);
    AbandonDecode(decode);
    return false;
  }

  JSAMPARRAY row =
      (*decode->cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&decode->cinfo),
                                         JPOOL_IMAGE, static_cast<JDIMENSION>(rowBytes), 1);
  size_t y = 0;
  while (decode->cinfo.output_scanline < height) {
    jpeg_read_scanlines(&decode->cinfo, row, 1);
    memcpy(decode->pixels + y * rowBytes, row[0], rowBytes);
    y++;
  }

  jpeg_finish_decompress(&decode->cinfo);
  jpeg_destroy_decompress(&decode->cinfo);
  fclose(decode->file);
  decode->file = nullptr;
  texture->imageData = decode->pixels;
  decode->pixels = nullptr;
  return true;
}

}  // namespace

void my_error_exit(jpeg_common_struct* cinfo) {
  my_error_mgr* err = reinterpret_cast<my_error_mgr*>(cinfo->err);
  (*cinfo->err->output_message)(cinfo);
  longjmp(err->setjmp_buffer, 1);
}

bool LoadJPEGTexture(TextureImage* texture, const char* maskname, int /*glMode*/) {
  outlog("A");
  GLint maxTextureSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);

  JpegDecode decode;
  memset(&decode, 0, sizeof(decode));
  texture->imageData = nullptr;
  if (!DecodeJPEG(&decode, texture, maskname, maxTextureSize)) {
    texture->imageData = nullptr;
    return false;
  }
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
