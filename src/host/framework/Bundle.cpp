#include "host/framework/Bundle.h"

#include <sys/stat.h>

#include <filesystem>
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

std::vector<std::string> resourceSearchPath(const std::string& option, const char* environment,
                                            const std::string& executablePath,
                                            const std::string& buildTreeResources) {
  std::vector<std::string> path;
  if (!option.empty()) {
    path.push_back(option);
  }
  if (environment != nullptr && environment[0] != '\0') {
    path.push_back(environment);
  }
  if (!executablePath.empty()) {
    // bin/vantor finds share/vantor; the daemon's link in libexec/xscreensaver/ leads here too,
    // the executable's path being the link's target.
    path.push_back(
        (std::filesystem::path(executablePath).parent_path().parent_path() / "share" / "vantor")
            .string());
  }
  if (!buildTreeResources.empty()) {
    path.push_back(buildTreeResources);
  }
  return path;
}

std::string findResourceFolder(const std::vector<std::string>& searchPath,
                               const std::string& fileName) {
  for (const std::string& folder : searchPath) {
    struct stat info;
    if (stat((folder + "/" + fileName).c_str(), &info) == 0) {
      return folder;
    }
  }
  return "";
}

std::string currentExecutablePath() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).string();
}
