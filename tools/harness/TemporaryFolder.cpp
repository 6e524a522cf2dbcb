#include "TemporaryFolder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

TemporaryFolder::TemporaryFolder(const std::string& prefix)
    : path_((std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string()) {
  if (mkdtemp(&path_[0]) == nullptr) {
    throw std::runtime_error("cannot make a folder from " + path_ + ": " + std::strerror(errno));
  }
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
