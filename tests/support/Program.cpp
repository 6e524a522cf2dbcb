#include "support/Program.h"

#include <sys/stat.h>

std::string programPath() { return VANTOR_PROGRAM; }

std::string buildPath() { return VANTOR_BUILD_DIR; }

std::string resourcesPath() { return std::string(VANTOR_SOURCE_DIR) + "/resources"; }

bool kaleidoscopeAvailable() {
  struct stat info;
  return stat((resourcesPath() + "/DiscMasks.jpg").c_str(), &info) == 0;
}
