// Guards a run of the built program as a user meets it, from the command line to the exit
// status: help without a display, one-line usage errors with status 2, failures with status 1
// and the system's reason, the installed layout, and running out of memory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "objects/Glimmets.h"
#include "support/Program.h"

namespace {

TEST(CommandLine, HelpNeedsNoDisplayAndBadOptionsOrAFullDeviceExitWithOneLine) {
  Exit help = run(vantorCommand({"--help"}), {"DISPLAY"});
  EXPECT_EQ(std::pair(help.status, help.err), std::pair(0, std::string()));
  for (const char* option : {"--root", "--window-id", "-geometry", "--render", "--seed"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  for (const Arguments& arguments : {Arguments{"--bogus"}, {"--delay", "-5"}, {"--size", "0x10"}}) {
    Exit done = run(vantorCommand(arguments), {"DISPLAY"});
    EXPECT_EQ(std::pair(done.status, lineCount(done.err)), std::pair(2, 1L)) << done.err;
    EXPECT_NE(done.err.find(arguments.back()), std::string::npos) << done.err;
  }
  for (const char* option : {" --help", " --version"}) {
    Exit done = run({"/bin/sh", "-c", "exec " + programPath() + option + " >/dev/full"});
    EXPECT_EQ(std::pair(done.status, lineCount(done.err)), std::pair(1, 1L)) << done.err;
    EXPECT_NE(done.err.find("No space left on device"), std::string::npos) << done.err;
  }
}

// Out of the build tree, the installed program finds the installed atlas, quietly.
TEST(CommandLine, InstallLaysOutTheProgramAndItsFilesUnderThePrefix) {
  for (const char* file :
       {"/bin/vantor", "/share/man/man6/vantor.6", "/share/xscreensaver/config/vantor.xml"}) {
    EXPECT_TRUE(std::filesystem::exists(installed() + file)) << file;
  }
  TemporaryFolder out;
  Exit render = run({installed() + "/libexec/xscreensaver/vantor", "--render", out.path(),
                     "--frames", "1", "--size", "32x32"},
                    {"VANTOR_RESOURCES"});
  EXPECT_EQ(render.status, 0);
  // A slow machine may report progress: nothing else.
  EXPECT_EQ(std::regex_replace(render.err, std::regex("vantor: frame [^\n]*\n"), ""), "");
}

// Run by nobody, from the installed copy, so that the folder is unwritable wherever the build
// tree is.
TEST(CommandLine, AnUnwritableFolderExitsOneWithOneLine) {
  TemporaryFolder folder;
  const std::string locked = folder.path() + "/locked";
  ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
  chmod(folder.path().c_str(), 0755);
  Exit done = run(asUser({installed() + "/bin/vantor", "--render", locked, "--size", "16x16"}));
  EXPECT_EQ(std::pair(done.status, lineCount(done.err)), std::pair(1, 1L)) << done.err;
  EXPECT_NE(done.err.find(locked), std::string::npos) << done.err;
}

// Out of memory while the engine is built (its pieces cannot be had): one line, status 1, no
// frame written and no crash.
TEST(CommandLine, OutOfMemoryWhileBuildingExitsOneWithOneLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator must be the first library loaded";
#endif
  TemporaryFolder folder;
  const std::string frames = folder.path() + "/frames";
  // A render builds the engine for a frame it draws, a snapshot for one it steps through.
  for (const Arguments& output :
       {Arguments{"--render", frames, "--frames", "2"}, {"--snapshot", frames + ".png"}}) {
    Exit done = run(vantorCommand(output, {"--size", "32x32"}),
                    {"LD_PRELOAD=" VANTOR_FAIL_MALLOC,
                     "VANTOR_FAIL_MALLOC_SIZE=" + std::to_string(100 * sizeof(PhotoPiece))});
    EXPECT_EQ(done.status, 1) << output[0];
    EXPECT_EQ(done.err,
              "vantor: out of memory while building the kaleidoscope; close other programs and "
              "try again\n");
    EXPECT_EQ(entriesOf(folder.path()), Arguments{"frames"}) << output[0];
  }
}

}  // namespace
