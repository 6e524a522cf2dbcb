// Bundles: a module's identifier with the folders that belong to it. The host loads the
// program's own bundle once its resource folder has been found (see findResourceFolder);
// views then look it up by identifier. The table is process-wide, as the framework's is.
#pragma once

#include <string>
#include <vector>

class Bundle {
 public:
  Bundle(std::string identifier, std::string resourcePath, std::string bundlePath,
         std::string executablePath);

  // The loaded bundle with this identifier, or null when none is.
  static const Bundle* bundleWithIdentifier(const std::string& identifier);
  // Makes `bundle` findable by its identifier, replacing a bundle loaded under the same one.
  static void load(const Bundle& bundle);
  // Forgets the bundle with this identifier; after it, lookups of it give null.
  static void unload(const std::string& identifier);

  const std::string& identifier() const { return identifier_; }
  // The folder holding the module's resources (DiscMasks.jpg).
  const std::string& resourcePath() const { return resourcePath_; }
  // The folder the executable lies in.
  const std::string& bundlePath() const { return bundlePath_; }
  const std::string& executablePath() const { return executablePath_; }

 private:
  std::string identifier_;
  std::string resourcePath_;
  std::string bundlePath_;
  std::string executablePath_;
};

// Where the resources may be, in the order they are searched: the --resources folder (when
// given), $VANTOR_RESOURCES (when set), ../share/vantor beside the executable (the daemon's
// link in libexec/xscreensaver/ resolved), the build tree's resources/
// (when known). Empty entries are left out.
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
