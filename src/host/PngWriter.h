// Writes 8-bit RGB pictures as PNG files (libpng). Rows are given top row first, tightly
// packed (width * 3 bytes each). The file holds no time stamp, so equal pixels give equal bytes.
#pragma once

#include <cstdint>
#include <string>

// Written through SafeFile: a file already there stays intact until a whole new one replaces
// it. A readable `abortFd` (may be -1) just before that drops the new file. False with *error
// set (the path and the reason) when the file cannot be written.
bool writePng(const std::string& path, int width, int height, const std::uint8_t* rgb, int abortFd,
              std::string* error);
