// Decoding a JPEG file into an OpenGL texture: grey files become alpha-only textures (masks),
// colour files RGB textures; and the one decode beneath it, for checking a file beforehand. Sizes
// are in pixels; rows run top row first, so the file's top row is texel row t = 0.
#pragma once

#include <GL/gl.h>

struct jpeg_common_struct;

// Decoded pixels and the texture made from them. The caller allocates the record (zero-filled)
// and owns it, and deletes texID with glDeleteTextures when done.
struct TextureImage {
  GLubyte* imageData;  // height rows of width * bpp / 8 bytes, tightly packed; null once uploaded
  GLuint bpp;          // bits per pixel: 8 for grey, 24 for RGB
  GLuint width;
  GLuint height;
  GLuint texID;  // 0 until a texture was made
};

// Decodes the file at `maskname` and uploads it as a new 2D texture (repeat wrapping, linear
// filtering, no mipmaps) that is left bound. `glMode` is not consulted: the format follows
// from the file's component count. Returns false, with imageData null, no texture made and
// nothing left allocated, when the file cannot be opened or decoded, the pixels cannot be
// allocated, or the image is larger than the OpenGL implementation's texture limit. libjpeg's
// fatal message goes to stderr; its warnings do not stop the load and are not printed.
// The texture's context must be current.
bool LoadJPEGTexture(TextureImage* texture, const char* maskname, int glMode);

// Uploads texture->imageData as a new texture, stores its name in texID and frees the pixels.
bool FinishLoadingTexture(TextureImage* texture);

// One decode of a JPEG file, for the loader and for anyone who must know beforehand what the
// loader will make of a file. Plain data, so that it can be filled across libjpeg's longjmp.
struct DecodedJPEG {
  unsigned char* pixels;  // height rows of width * components bytes, top row first, tightly
                          // packed; malloc'ed and the caller's to free; null unless decoded
                          // with keepPixels
  unsigned width;         // in pixels, once the header was read
  unsigned height;
  int components;          // 1 grey, 3 colour, 4 CMYK; once the header was read
  bool headerRead;         // the file began as a JPEG image
  int openError;           // errno of a file that would not open, else 0
  int warnings;            // data libjpeg found damaged or missing and papered over
  char fatalMessage[200];  // libjpeg's reason for giving up, "" when it did not
  char firstWarning[200];  // the first warning's text, "" when there was none
};

// What a decode accepts once it has read the header; anything else is refused before libjpeg
// sets memory aside for the picture. Sizes in pixels.
struct JPEGDecodeRules {
  unsigned maxSide;    // largest width or height
  unsigned minWidth;   // 0 for any
  unsigned minHeight;  // 0 for any
  int components;      // 0 for any count
  bool keepPixels;     // false decodes every row only to see that it can be decoded
  bool printFatal;     // libjpeg's fatal message also goes to stderr, as libjpeg prints it
};

enum DecodeJPEGResult {
  kJPEGDecoded,
  kJPEGCannotOpen,  // openError says why
  kJPEGFailed,      // libjpeg gave up: fatalMessage says why
  kJPEGRefused,     // the header does not meet the rules
  kJPEGNoMemory,    // no room for the pixels
};

// Decodes the file at `path` (libjpeg's default output: one byte per component) into *decoded.
// Warnings never stop a decode; they are kept as text, not printed.
DecodeJPEGResult decodeJpegFile(const char* path, const JPEGDecodeRules& rules,
                                DecodedJPEG* decoded);

// libjpeg's fatal-error handler: keeps the library's message, passes it to the error
// manager's output_message (stderr, unless the decode was asked to be quiet) and jumps back
// into the decoder. Does not return.
void my_error_exit(jpeg_common_struct* cinfo);
