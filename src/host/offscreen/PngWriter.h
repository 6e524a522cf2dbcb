// Writes 8-bit RGB pictures as PNG files (libpng). Rows are given top row first, tightly
// packed (width * 3 bytes each). The file holds no time stamp, so equal pixels give equal bytes.
#pragma once

#include <cstdint>
#include <string>

// False with *error set (the path and the reason) when the file cannot be written.
bool writePng(const std::string& path, int width, int height, const std::uint8_t* rgb,
              std::string* error);
