#include "support/Program.h"

std::string programPath() { return VANTOR_PROGRAM; }

std::string buildPath() { return VANTOR_BUILD_DIR; }

std::string resourcesPath() { return std::string(VANTOR_SOURCE_DIR) + "/resources"; }
