// Where Vantor's resources are: the folder holding DiscMasks.jpg, the mask atlas. It is found
// and the atlas checked once per run, so that the engine only ever sees an atlas it can use,
// and the program's bundle (host/framework/Bundle) is loaded with it for the view to look up.
#pragma once

#include <string>
#include <vector>

// The program's own build tree, for the program that runs inside it: the only copy that may
// take its atlas from the source tree. Both empty for an installed program.
struct BuildTree {
  std::string folder;     // where the program was built
  std::string resources;  // the source tree's resources/
};

// Where the resources may be, in the order they are searched: the --resources folder (when
// given), $VANTOR_RESOURCES (when set), ../share/vantor beside the executable (the daemon's
// link in libexec/xscreensaver/ resolved), the build tree's resources/ (when known). Empty
// entries are left out.
std::vector<std::string> resourceSearchPath(const std::string& option, const char* environment,
                                            const std::string& executablePath,
                                            const std::string& buildTreeResources);

// The first folder of `searchPath` with anything named `fileName` in it, or "" when none has.
// Whatever is found there was meant as that file: a folder or a broken file stops the search,
// so that it can be reported rather than passed over.
std::string findResourceFolder(const std::vector<std::string>& searchPath,
                               const std::string& fileName);

// The running program's own path (/proc/self/exe), or "" when it cannot be read.
std::string currentExecutablePath();

// Loads the program's bundle with its resource folder. A folder the user `named` (--resources)
// must hold a usable atlas: false, with one line said, when it does not. Without one the folder
// is searched for; finding none, or a file that cannot serve, says one line and loads no
// atlas (the squares are drawn unmasked); a file libjpeg decodes with a warning says that.
bool loadResources(const std::string& named, const BuildTree& buildTree);
