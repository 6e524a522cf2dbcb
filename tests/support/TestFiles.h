// Files for tests: where the program under test and the source tree's resources
// (with the committed atlas) are; reading and writing whole files, JPEG images written on the
// spot, and temporary folders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::string programPath() { return VANTOR_PROGRAM; }
inline std::string resourcesPath() { return std::string(VANTOR_SOURCE_DIR) + "/resources"; }

// The whole file, or "" when it cannot be read.
std::string readFile(const std::string& path);
// Returns false when the file cannot be written.
bool WriteBytes(const std::string& path, const std::string& bytes);

// Writes a JPEG of the best quality, grey, RGB or CMYK by `components` (1, 3 or 4), baseline or
// progressive. `pixels` holds tightly packed rows, top row first; its rows repeat when it holds
// fewer than the picture's. Returns false when the file cannot be written.
bool WriteJpeg(const std::string& path, int width, int height, int components,
               const std::vector<std::uint8_t>& pixels, bool progressive = false);

// A fresh empty folder under $TMPDIR (or /tmp), removed with its contents when this goes.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
