// Whether a file can serve as the mask atlas (DiscMasks.jpg). The program asks before it hands
// the resource folder to the view, so that a bad file costs one clear warning rather than
// libjpeg's own messages or a garbled texture. Sizes are in pixels.
#pragma once

#include <string>

// The pieces take their masks from 64x64 cells along the atlas's top row, eight of them.
constexpr unsigned kAtlasMinimumWidth = 512;
constexpr unsigned kAtlasMinimumHeight = 64;
// Larger than any real atlas, and about as large as a texture gets on common drivers.
constexpr unsigned kAtlasMaximumSide = 16384;

// True when the file at `path` is a regular file that opens, is a grey (one-component) JPEG
// within the sizes above, and decodes to its end without a libjpeg error or warning.
// Otherwise false, with *problem saying why in a few words for a user ("a colour image with
// 3 components", "damaged or cut short (libjpeg: Premature end of JPEG file)"). Prints nothing.
bool IsUsableMaskAtlas(const std::string& path, std::string* problem);
