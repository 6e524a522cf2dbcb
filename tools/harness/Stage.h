// The program installed with its files under /usr in a stage of its own, as a package lays it
// out: outside the build tree, so that it finds only what was installed, and in a folder any
// user can reach (a build tree under a home folder of mode 0700 is not).
#pragma once

#include <string>

// Installs `buildFolder` into the stage on first use and returns the stage's usr folder; the
// stage goes at exit. "" when the install failed, with cmake's words on standard error.
const std::string& installedUsr(const std::string& buildFolder);
