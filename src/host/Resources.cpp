#include "host/Resources.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "host/Say.h"
#include "host/ScopeView.h"
#include "host/framework/Bundle.h"
#include "image/MaskAtlas.h"

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

bool loadResources(const std::string& named, const BuildTree& buildTree) {
  const std::string executable = currentExecutablePath();
  std::string folder = named;
  if (folder.empty()) {
    // Only the program in its own build tree looks in the source tree: a copy installed or
    // moved elsewhere must find its own share/vantor.
    const std::string tree = buildTree.folder + "/";
    const bool inBuildTree =
        !buildTree.folder.empty() && executable.compare(0, tree.size(), tree) == 0;
    const std::vector<std::string> searched = resourceSearchPath(
        "", std::getenv("VANTOR_RESOURCES"), executable, inBuildTree ? buildTree.resources : "");
    folder = findResourceFolder(searched, "DiscMasks.jpg");
    if (folder.empty()) {
      std::string list;
      for (const std::string& entry : searched) {
        list += (list.empty() ? "" : ", ") + entry;
      }
      say("no DiscMasks.jpg in " + list + "; drawing without the masks (give --resources DIR)");
      return true;
    }
  }
  const std::string atlas = folder + "/DiscMasks.jpg";
  const std::string smallest =
      std::to_string(kAtlasMinimumWidth) + "x" + std::to_string(kAtlasMinimumHeight);
  std::string problem;
  std::string warning;
  if (!isUsableMaskAtlas(atlas, &problem, &warning)) {
    if (!named.empty()) {
      say("--resources " + folder + ": " + atlas + " is " + problem +
          "; give a folder holding a grey JPEG DiscMasks.jpg of at least " + smallest);
      return false;
    }
    say(atlas + " is not a usable mask atlas: " + problem +
        "; drawing without the masks (give --resources a folder with a grey JPEG DiscMasks.jpg "
        "of at least " +
        smallest + ")");
    return true;
  }
  if (!warning.empty()) {
    say(atlas + ": libjpeg: " + warning + "; drawing it as decoded");
  }
  const std::string bundlePath = std::filesystem::path(executable).parent_path().string();
  Bundle::load(
      Bundle(kVantorBundleIdentifier, folder, bundlePath.empty() ? "." : bundlePath, executable));
  return true;
}
