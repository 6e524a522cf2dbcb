#include "host/framework/Bundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <utility>

namespace {

// Loaded bundles by identifier; only the host loads, only views look up.
std::map<std::string, Bundle>& LoadedBundles() {
  static std::map<std::string, Bundle> bundles;
  return bundles;
}

std::string ParentFolder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

Bundle::Bundle(std::string identifier, std::string resourcePath, std::string bundlePath,
               std::string executablePath)
    : identifier_(std::move(identifier)),
      resourcePath_(std::move(resourcePath)),
      bundlePath_(std::move(bundlePath)),
      executablePath_(std::move(executablePath)) {}

const Bundle* Bundle::bundleWithIdentifier(const std::string& identifier) {
  auto found = LoadedBundles().find(identifier);
  return found == LoadedBundles().end() ? nullptr : &found->second;
}

void Bundle::load(const Bundle& bundle) {
  LoadedBundles().erase(bundle.identifier());
  LoadedBundles().emplace(bundle.identifier(), bundle);
}

void Bundle::unload(const std::string& identifier) { LoadedBundles().erase(identifier); }

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
    const std::string folder = ParentFolder(executablePath);
    path.push_back(ParentFolder(folder) + "/share/vantor");
    // The copy in libexec/xscreensaver/ lies one level deeper than bin/.
    path.push_back(ParentFolder(ParentFolder(folder)) + "/share/vantor");
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
  std::string path(256, '\0');
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", &path[0], path.size());
    if (length < 0) {
      return "";
    }
    if (static_cast<size_t>(length) < path.size()) {
      path.resize(static_cast<size_t>(length));
      return path;
    }
    path.resize(path.size() * 2);  // the path may be longer than any fixed buffer
  }
}
