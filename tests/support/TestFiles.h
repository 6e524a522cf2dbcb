// Files for tests: where the program under test and the source tree's resources (with the
// committed atlas) are; reading and writing whole files, JPEG images written on the spot, and
// temporary folders.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "JpegWriter.h"
#include "Process.h"

inline std::string programPath() { return VANTOR_PROGRAM; }
inline std::string resourcesPath() { return std::string(VANTOR_SOURCE_DIR) + "/resources"; }

// Returns false when the file cannot be written.
inline bool WriteBytes(const std::string& path, const std::string& bytes) {
  return static_cast<bool>(std::ofstream(path, std::ios::binary) << bytes);
}

// A fresh empty folder under $TMPDIR (or /tmp), removed with its contents when this goes.
class TemporaryFolder {
 public:
  TemporaryFolder() : path_(std::filesystem::temp_directory_path() / "vantor-test-XXXXXX") {
    EXPECT_NE(mkdtemp(&path_[0]), nullptr) << "cannot make a folder from " << path_;
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
