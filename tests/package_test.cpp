#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>

#include "ScreenSaverDaemon.h"
#include "Xvfb.h"
#include "support/Program.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

// The end of a long output, where a build says why it failed.
std::string Tail(const std::string& text) {
  return text.size() > 4000 ? "..." + text.substr(text.size() - 4000) : text;
}

// What `command` printed, without the last newline.
std::string Output(const Arguments& command) {
  std::string out = run(command).out;
  if (!out.empty() && out.back() == '\n') {
    out.pop_back();
  }
  return out;
}

// Guards the Debian package as `make deb` builds it (a clean copy of the tracked files, built
// and linted by scripts/build-deb): the source tree is left as it was, the files lie where
// Debian's screen-saver packages put theirs, the desktop entries and the AppStream metadata
// validate, the unpacked program draws with its own atlas what the built one draws, and the real
// xscreensaver daemon runs its hack from the line the settings file gives. The package is built
// once for all of them, so ctest runs these as one test.
class Package : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const Arguments gitStatus = {"/usr/bin/git", "-C",          VANTOR_SOURCE_DIR,
                                 "status",       "--porcelain", "--untracked-files=all"};
    sourceBefore_ = Output(gitStatus);
    const std::string folder = VANTOR_BUILD_DIR "/package";
    // On one core: ctest runs another test beside this one, which may be timing something.
    build_ = run({VANTOR_SOURCE_DIR "/scripts/build-deb", folder}, {"DEB_BUILD_OPTIONS=parallel=1"},
                 1200.0);
    sourceAfter_ = Output(gitStatus);
    version_ = Output({"/usr/bin/dpkg-parsechangelog", "-l", VANTOR_SOURCE_DIR "/debian/changelog",
                       "-S", "Version"});
    const std::string deb = folder + "/vantor_" + version_ + "_" +
                            Output({"/usr/bin/dpkg", "--print-architecture"}) + ".deb";
    // Any user can reach the unpacked files: the daemon runs its hack as nobody.
    root_ = std::make_unique<TemporaryFolder>("vantor-package");
    unpack_ = run({"/usr/bin/dpkg-deb", "-x", deb, root_->path()});
    chmod(root_->path().c_str(), 0755);
  }
  static void TearDownTestSuite() { root_.reset(); }

  static ::testing::AssertionResult Unpacked() {
    if (unpack_.status == 0) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "no package to unpack: " << unpack_.err;
  }
  static std::string Root() { return root_->path(); }

  inline static Exit build_, unpack_;
  inline static std::string sourceBefore_, sourceAfter_, version_;
  inline static std::unique_ptr<TemporaryFolder> root_;
};

TEST_F(Package, BuildsFromTheTrackedFilesWithoutLintianErrorsOrWarningsLeavingTheTreeAsItWas) {
  EXPECT_EQ(build_.status, 0) << "standard output:\n"
                              << Tail(build_.out) << "\nstandard error:\n"
                              << Tail(build_.err);
  EXPECT_EQ(sourceAfter_, sourceBefore_) << "git status of the source tree";
}

TEST_F(Package, LaysOutItsFilesAsScreenSaverPackagesDoAndTheirEntriesValidate) {
  ASSERT_TRUE(Unpacked());
  std::vector<std::string> files;  // all but folders
  for (const auto& entry : fs::recursive_directory_iterator(Root())) {
    if (!entry.is_directory() || entry.is_symlink()) {
      files.push_back(entry.path().lexically_relative(Root()).string());
    }
  }
  std::sort(files.begin(), files.end());
  const std::string multiarch = Output({"/usr/bin/dpkg-architecture", "-qDEB_HOST_MULTIARCH"});
  EXPECT_EQ(files, (std::vector<std::string>{
                       "usr/bin/vantor",
                       "usr/lib/" + multiarch + "/vantor/vantor-video.so",
                       "usr/libexec/xscreensaver/vantor",
                       "usr/share/applications/org.vantor.saver.desktop",
                       "usr/share/applications/screensavers/vantor.desktop",
                       "usr/share/doc/vantor/changelog.Debian.gz",
                       "usr/share/doc/vantor/copyright",
                       "usr/share/icons/hicolor/256x256/apps/org.vantor.saver.png",
                       "usr/share/lintian/overrides/vantor",
                       "usr/share/man/man6/vantor.6.gz",
                       "usr/share/metainfo/org.vantor.saver.metainfo.xml",
                       "usr/share/vantor/DiscMasks.jpg",
                       "usr/share/xscreensaver/config/vantor.xml",
                   }));
  // One program: the hack is a link that holds wherever the tree is unpacked.
  EXPECT_EQ(fs::read_symlink(Root() + "/usr/libexec/xscreensaver/vantor"), "../../bin/vantor");

  for (const char* entry : {"/usr/share/applications/org.vantor.saver.desktop",
                            "/usr/share/applications/screensavers/vantor.desktop"}) {
    Exit valid = run({"/usr/bin/desktop-file-validate", Root() + entry});
    EXPECT_EQ(valid.status, 0) << entry << ": " << valid.out << valid.err;
  }
  // The metadata, and that the desktop entry it names is there.
  Exit valid = run({"/usr/bin/appstreamcli", "validate-tree", "--no-net", Root()});
  EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
}

TEST_F(Package, ItsProgramAndItsHackFindTheirOwnAtlasAndDrawWhatTheBuiltProgramDraws) {
  ASSERT_TRUE(Unpacked());
  EXPECT_EQ(run({Root() + "/usr/bin/vantor", "--version"}).out,
            "vantor " + version_.substr(0, version_.rfind('-')) + "\n")
      << "the changelog's version against the program's";

  TemporaryFolder out;
  const Arguments scene = {"--size", "160x120", "--at", "5", "--seed", "1000"};
  const std::string expected = out.path() + "/built.png", shot = out.path() + "/packaged.png";
  Exit built = run(vantorCommand({"--snapshot", expected, "--resources", resourcesPath()}, scene));
  Frame fromBuilt, fromPackage;
  std::string error;
  ASSERT_TRUE(readPng(expected, &fromBuilt, &error)) << built.err << error;
  for (const char* program : {"/usr/bin/vantor", "/usr/libexec/xscreensaver/vantor"}) {
    fs::remove(shot);
    Arguments command = {Root() + program, "--snapshot", shot};
    command.insert(command.end(), scene.begin(), scene.end());
    Exit drawn = run(command, {"VANTOR_RESOURCES", "DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_TRUE(readPng(shot, &fromPackage, &error)) << program << ": " << drawn.err << error;
    EXPECT_EQ(differingBytes(fromPackage, fromBuilt), 0) << program << ": " << drawn.err;
  }
  // And the video encoder it loads from its own lib folder.
  Exit video = run({Root() + "/usr/bin/vantor", "--render", out.path() + "/packaged.mp4",
                    "--frames", "2", "--size", "64x48"});
  EXPECT_EQ(video.status, 0) << video.err;
}

TEST_F(Package, TheDaemonRunsItsHackAsTheSettingsFileCommandsIt) {
  ASSERT_TRUE(Unpacked());
  prctl(PR_SET_CHILD_SUBREAPER, 1);  // what the daemon leaves is ours to reap, not a zombie
  // The programs: line the settings dialog writes: the hack's name and its command's arguments.
  const std::string settings = readFile(Root() + "/usr/share/xscreensaver/config/vantor.xml");
  std::smatch name, command;
  ASSERT_TRUE(std::regex_search(settings, name, std::regex("<screensaver name=\"([^\"]+)\"")))
      << settings;
  ASSERT_TRUE(std::regex_search(settings, command, std::regex("<command arg=\"([^\"]+)\"")))
      << settings;
  // The daemon looks in its own hack folder first: where this machine has Vantor there, the
  // unpacked hack is named by its path.
  const std::string hacks = Root() + "/usr/libexec/xscreensaver";
  const std::string hack =
      (fs::exists("/usr/libexec/xscreensaver/" + name[1].str()) ? hacks + "/" : "") +
      name[1].str() + " " + command[1].str();

  Xvfb server(640, 480);
  ASSERT_TRUE(server.started()) << server.failure();
  ScreenSaverDaemon daemon(server.display(), hack, hacks + ":/usr/bin:/bin");
  ASSERT_TRUE(daemon.started()) << daemon.failure();
  ASSERT_EQ(daemon.command({"-activate"}), 0);
  const std::string program = Root() + "/usr/bin/vantor";
  EXPECT_TRUE(eventually([&] { return !runningCopies(program).empty(); }, 20.0))
      << "no " << program << " running for " << hack;
  EXPECT_TRUE(showsKaleidoscope(server, "root"));
  EXPECT_NE(daemon.exit().signal, SIGKILL);
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

}  // namespace
