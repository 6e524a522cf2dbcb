// Files for tests: JPEG images written on the spot, scratch folders, and the source tree's
// resources folder with the committed atlas.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes `pixels` (tightly packed rows, top row first; 1 component is grey, 3 are RGB) as a
// JPEG of the best quality. Returns false when the file cannot be written.
bool WriteJpeg(const std::string& path, int width, int height, int components,
               const std::vector<std::uint8_t>& pixels);

// Writes raw bytes. Returns false when the file cannot be written.
bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::string& path);

// A new, empty folder under the test run's temporary folder.
std::string MakeScratchFolder();

// Removes a folder and everything in it.
void RemoveFolder(const std::string& path);

// The folder holding DiscMasks.jpg in the source tree.
std::string ResourcesFolder();
