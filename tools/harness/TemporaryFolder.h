// A fresh empty folder under $TMPDIR (or /tmp), removed with everything in it when this goes.
#pragma once

#include <string>

class TemporaryFolder {
 public:
  // Named from `prefix` and six random characters. Throws std::runtime_error when no folder
  // can be made: nothing may then be written where one was meant to be.
  explicit TemporaryFolder(const std::string& prefix = "vantor");
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
