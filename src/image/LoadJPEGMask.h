// Decoding a JPEG file into an OpenGL texture: grey files become alpha-only textures (masks),
// colour files RGB textures. Sizes are in pixels; rows run top row first, so the file's top
// row is texel row t = 0.
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
// allocated, or the image is larger than the OpenGL implementation's texture limit.
// The texture's context must be current.
bool LoadJPEGTexture(TextureImage* texture, const char* maskname, int glMode);

// Uploads texture->imageData as a new texture, stores its name in texID and frees the pixels.
bool FinishLoadingTexture(TextureImage* texture);

// libjpeg's fatal-error handler: prints the library's message to stderr and jumps back into
// the loader. Does not return.
void my_error_exit(jpeg_common_struct* cinfo);
