// Where the program under test, its build tree and the source tree's resources are.
#pragma once

#include <string>

// The built vantor program.
std::string programPath();
// The build tree the program was built in.
std::string buildPath();
// The source tree's resources/ folder.
std::string resourcesPath();
