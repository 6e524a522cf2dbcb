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

// True when the file at `path` is a regular file that opens and is what the loader can draw as
// a mask: a grey (one-component) JPEG within the sizes above that libjpeg decodes without a
// fatal error. *warning then holds libjpeg's first warning about damaged or missing data ("" when
// none: the loader draws such a file as decoded). Otherwise false, with *problem saying why in a
// few words for a user ("a colour image with 3 components", "damaged (libjpeg: ...)"). Prints
// nothing.
bool isUsableMaskAtlas(const std::string& path, std::string* problem, std::string* warning);
