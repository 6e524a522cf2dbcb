// Bundles: a module's identifier with the folders that belong to it. The host loads the
// program's own bundle once its resource folder has been found (host/Resources); views then
// look it up by identifier. The table is process-wide, as the framework's is.
#pragma once

#include <string>

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
