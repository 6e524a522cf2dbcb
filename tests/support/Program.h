// Where the program under test and the source tree are, and whether the full kaleidoscope
// (mirrors and scene) is there to be checked in pictures.
#pragma once

#include <string>

// The built vantor program.
std::string programPath();
// The build tree the program was built in.
std::string buildPath();
// The source tree's resources/ folder.
std::string resourcesPath();

// True once the mask atlas is in the source tree, which comes with the scene and its
// mirrors; until then frames are plain black and picture checks are skipped.
bool kaleidoscopeAvailable();

#define SKIP_WITHOUT_KALEIDOSCOPE()                                                         \
  if (!kaleidoscopeAvailable()) {                                                           \
    GTEST_SKIP() << "resources/DiscMasks.jpg is not in the tree yet: frames are black "     \
                    "until the scene and the mirrors land, so this picture is not checked"; \
  }
