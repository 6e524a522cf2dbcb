// Files for tests: where the program under test and the source tree's resources (with the
// committed atlas) are; reading and writing whole files, JPEG images written on the spot, and
// temporary folders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "JpegWriter.h"
#include "Process.h"
#include "TemporaryFolder.h"

inline std::string programPath() { return VANTOR_PROGRAM; }
inline std::string resourcesPath() { return std::string(VANTOR_SOURCE_DIR) + "/resources"; }

// Returns false when the file cannot be written.
inline bool writeBytes(const std::string& path, const std::string& bytes) {
  return static_cast<bool>(std::ofstream(path, std::ios::binary) << bytes);
}
