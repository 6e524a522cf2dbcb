// Writing JPEG files: the mask atlas the tool draws, and the atlases and bad files the tests
// make. Quality 100, so that masks keep their edges.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes a width x height JPEG, grey, RGB or CMYK by `components` (1, 3 or 4), baseline or
// progressive. `pixels` holds tightly packed rows, top row first; its rows repeat when it holds
// fewer than the picture's. Returns false when the file cannot be written.
bool writeJpeg(const std::string& path, int width, int height, int components,
               const std::vector<std::uint8_t>& pixels, bool progressive = false);
