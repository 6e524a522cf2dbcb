#include "Stage.h"

#include <sys/stat.h>

#include <cstdio>

#include "Process.h"
#include "TemporaryFolder.h"

const std::string& installedUsr(const std::string& buildFolder) {
  struct Stage {
    TemporaryFolder folder{"vantor-stage"};
    std::string usr;
    explicit Stage(const std::string& build) {
      const Exit done = run({"/usr/bin/cmake", "--install", build, "--prefix", "/usr"},
                            {"DESTDIR=" + folder.path()});
      if (done.status != 0) {
        std::fprintf(stderr, "cmake --install %s failed: %s", build.c_str(), done.err.c_str());
        return;
      }
      if (chmod(folder.path().c_str(), 0755) != 0) {
        std::perror(("cannot open " + folder.path() + " to every user").c_str());
        return;
      }
      usr = folder.path() + "/usr";
    }
  };
  static Stage stage(buildFolder);
  return stage.usr;
}
