#include "Stage.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "Process.h"

const std::string& installedUsr(const std::string& buildFolder) {
  struct Stage {
    std::string folder = (std::filesystem::temp_directory_path() / "vantor-stage-XXXXXX").string();
    std::string usr;
    explicit Stage(const std::string& build) {
      if (mkdtemp(&folder[0]) == nullptr || chmod(folder.c_str(), 0755) != 0) {
        std::fprintf(stderr, "cannot make a stage folder from %s\n", folder.c_str());
        return;
      }
      const Exit done =
          run({"/usr/bin/cmake", "--install", build, "--prefix", "/usr"}, {"DESTDIR=" + folder});
      if (done.status != 0) {
        std::fprintf(stderr, "cmake --install %s failed: %s", build.c_str(), done.err.c_str());
        return;
      }
      usr = folder + "/usr";
    }
    ~Stage() {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    }
  };
  static Stage stage(buildFolder);
  return stage.usr;
}
