#include "host/framework/Bundle.h"

#include <map>
#include <utility>

namespace {

// Loaded bundles by identifier; only the host loads, only views look up.
std::map<std::string, Bundle>& loadedBundles() {
  static std::map<std::string, Bundle> bundles;
  return bundles;
}

}  // namespace

Bundle::Bundle(std::string identifier, std::string resourcePath, std::string bundlePath,
               std::string executablePath)
    : identifier_(std::move(identifier)),
      resourcePath_(std::move(resourcePath)),
      bundlePath_(std::move(bundlePath)),
      executablePath_(std::move(executablePath)) {}

const Bundle* Bundle::bundleWithIdentifier(const std::string& identifier) {
  auto found = loadedBundles().find(identifier);
  return found == loadedBundles().end() ? nullptr : &found->second;
}

void Bundle::load(const Bundle& bundle) {
  loadedBundles().erase(bundle.identifier());
  loadedBundles().emplace(bundle.identifier(), bundle);
}

void Bundle::unload(const std::string& identifier) { loadedBundles().erase(identifier); }
