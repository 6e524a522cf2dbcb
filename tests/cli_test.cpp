// Guards the command line as a user meets it, by running the built program: help without a
// display, one-line usage errors with status 2, repeatable renders and snapshots, failures
// with status 1, and the signals that end a long render.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include "support/Pictures.h"
#include "support/Process.h"
#include "support/Program.h"

namespace {

int Lines(const std::string& text) {
  int lines = 0;
  for (char c : text) {
    lines += c == '\n' ? 1 : 0;
  }
  return lines;
}

std::vector<std::string> Vantor(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), programPath());
  return arguments;
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Renders and snapshots share these: small, so each run takes a fraction of a second.
const std::vector<std::string> kSmall = {"--size", "160x90",      "--seed",
                                         "1234",   "--resources", resourcesPath()};

std::vector<std::string> With(std::vector<std::string> arguments,
                              const std::vector<std::string>& more) {
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

TEST(CommandLine, HelpAndVersionNeedNoDisplay) {
  for (const char* help : {"--help", "-help"}) {
    Exit done = run(Vantor({help}), {"DISPLAY"});
    ASSERT_TRUE(done.exited) << help;
    EXPECT_EQ(done.status, 0) << help;
    EXPECT_EQ(done.err, "") << help;
    for (const char* option : {"--root", "--window ", "--window-id", "-geometry", "--fps",
                               "--delay", "--render", "--frames", "--snapshot", "--at", "--size",
                               "--rate", "--seed", "--resources", "--version"}) {
      EXPECT_NE(done.out.find(option), std::string::npos) << option << " is not in " << help;
    }
  }
  Exit version = run(Vantor({"--version"}), {"DISPLAY"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("vantor ", 0), 0u) << version.out;
}

TEST(CommandLine, UsageErrorsExitTwoWithOneLineNamingTheOption) {
  TemporaryFolder folder;
  const std::string out = folder.path() + "/never";
  struct Case {
    std::vector<std::string> arguments;
    std::string named;  // what the line must name
  };
  const Case cases[] = {
      {{"--bogus"}, "--bogus"},
      {{"stray"}, "stray"},
      {{"--delay"}, "--delay"},
      {{"--delay", "-5"}, "-5"},
      {{"--window-id", "zz"}, "zz"},
      {{"-geometry", "800"}, "800"},
      {{"--render", out, "--size", "0x10"}, "0x10"},
      {{"--render", out, "--frames", "many"}, "many"},
      {{"--render", out, "--rate", "0"}, "--rate"},
      {{"--snapshot", out + ".png", "--at", "-1"}, "-1"},
      {{"--render", out, "--snapshot", out + ".png"}, "--snapshot"},
      {{"--render", out, "--fps"}, "--fps"},
      {{"--seed", "5"}, "--seed"},
      {{"--root=yes"}, "--root"},
  };
  for (const Case& c : cases) {
    Exit done = run(Vantor(c.arguments), {"DISPLAY"});
    std::string shown = c.arguments[0] + " ... " + c.named;
    ASSERT_TRUE(done.exited) << shown;
    EXPECT_EQ(done.status, 2) << shown;
    EXPECT_EQ(Lines(done.err), 1) << shown << ": " << done.err;
    EXPECT_EQ(done.err.rfind("vantor: ", 0), 0u) << done.err;
    EXPECT_NE(done.err.find(c.named), std::string::npos) << done.err;
    EXPECT_NE(done.err.find("--help"), std::string::npos) << done.err;
    EXPECT_EQ(done.out, "");
  }
  EXPECT_FALSE(Exists(out));  // a usage error writes nothing
}

TEST(CommandLine, WithoutADisplayTheWindowRunExitsOneAndPointsToRender) {
  Exit unset = run(Vantor({}), {"DISPLAY"});
  EXPECT_EQ(unset.status, 1);
  EXPECT_EQ(Lines(unset.err), 1) << unset.err;
  EXPECT_NE(unset.err.find("--render"), std::string::npos) << unset.err;

  Exit absent = run(Vantor({"--root"}), {"DISPLAY=:0.9999"});
  EXPECT_EQ(absent.status, 1);
  EXPECT_EQ(Lines(absent.err), 1) << absent.err;
  EXPECT_NE(absent.err.find("cannot open display ':0.9999'"), std::string::npos) << absent.err;
}

TEST(CommandLine, RenderWithOneSeedWritesTheSameFilesEveryTime) {
  TemporaryFolder folder;
  const std::string first = folder.path() + "/first";
  const std::string second = folder.path() + "/second";
  for (const std::string& target : {first, second}) {
    Exit done = run(Vantor(With({"--render", target, "--frames", "3"}, kSmall)));
    ASSERT_EQ(done.status, 0) << done.err;
    EXPECT_NE(done.out.find(target), std::string::npos) << "the run says where it wrote";
  }
  for (const char* name : {"frame-00001.png", "frame-00002.png", "frame-00003.png"}) {
    std::string bytes = readFile(first + "/" + name);
    ASSERT_FALSE(bytes.empty()) << name;
    EXPECT_EQ(bytes, readFile(second + "/" + name)) << name;
    Frame frame;
    std::string error;
    ASSERT_TRUE(readPng(first + "/" + name, &frame, &error)) << error;
    EXPECT_EQ(frame.width, 160);
    EXPECT_EQ(frame.height, 90);
  }
  EXPECT_FALSE(Exists(first + "/frame-00004.png"));
}

TEST(CommandLine, SnapshotIsTheRenderFrameAtThatTime) {
  TemporaryFolder folder;
  const std::string frames = folder.path() + "/frames";
  const std::string snapshot = folder.path() + "/at.png";
  // At 30 frames a second, 1.5 s is the 46th frame: the first shows time 0.
  ASSERT_EQ(run(Vantor(With({"--render", frames, "--frames", "46"}, kSmall))).status, 0);
  Exit done = run(Vantor(With({"--snapshot", snapshot, "--at", "1.5"}, kSmall)));
  ASSERT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(readFile(snapshot), readFile(frames + "/frame-00046.png"));
}

TEST(CommandLine, RenderedFramesAreSymmetricKaleidoscopes) {
  TemporaryFolder folder;
  const std::string snapshot = folder.path() + "/at.png";
  Exit done = run(Vantor({"--snapshot", snapshot, "--at", "3", "--size", "320x240", "--seed", "77",
                          "--resources", resourcesPath()}));
  ASSERT_EQ(done.status, 0) << done.err;
  Frame frame;
  std::string error;
  ASSERT_TRUE(readPng(snapshot, &frame, &error)) << error;
  EXPECT_TRUE(IsSymmetricKaleidoscope(frame));
}

TEST(CommandLine, AnUnwritableOutputExitsOneWithOneLine) {
  TemporaryFolder folder;
  const std::string file = folder.path() + "/plain-file";
  std::ofstream(file) << "not a folder";
  for (const auto& arguments : {std::vector<std::string>{"--render", file + "/frames"},
                                std::vector<std::string>{"--render", file},
                                std::vector<std::string>{"--snapshot", file + "/at.png"}}) {
    Exit done = run(Vantor(With(arguments, kSmall)));
    EXPECT_EQ(done.status, 1) << arguments[1];
    EXPECT_EQ(Lines(done.err), 1) << done.err;
    EXPECT_NE(done.err.find(arguments[1].substr(0, file.size())), std::string::npos) << done.err;
  }

  // A folder without write permission. Root may write anywhere, so run as nobody then, from
  // a copy of the program that nobody can reach wherever the build tree is.
  const std::string locked = folder.path() + "/locked";
  const std::string program = folder.path() + "/vantor";
  ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
  chmod(folder.path().c_str(), 0755);
  ASSERT_EQ(run({"/bin/cp", programPath(), program}).status, 0);
  std::vector<std::string> argv = {program, "--render", locked, "--size", "16x16"};
  if (geteuid() == 0) {
    argv.insert(argv.begin(),
                {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  }
  Exit done = run(argv);
  EXPECT_EQ(done.status, 1) << done.err;
  EXPECT_EQ(Lines(done.err), 1) << done.err;
  EXPECT_NE(done.err.find(locked), std::string::npos) << done.err;
}

TEST(CommandLine, SignalsEndALongRenderAtOnce) {
  for (int signal : {SIGINT, SIGTERM}) {
    TemporaryFolder folder;
    Process render(Vantor(With({"--render", folder.path(), "--frames", "1000000"}, kSmall)));
    ASSERT_TRUE(eventually([&] { return Exists(folder.path() + "/frame-00002.png"); }, 20.0));
    render.signal(signal);
    Exit done = render.wait(5.0);
    ASSERT_FALSE(done.timedOut);
    EXPECT_LT(done.seconds, 1.0);
    if (signal == SIGINT) {
      EXPECT_TRUE(done.exited);
      EXPECT_EQ(done.status, 0);
    } else {
      EXPECT_EQ(done.signal, SIGTERM) << "ended with status " << done.status;
    }
  }
}

TEST(CommandLine, AMissingAtlasIsOneWarningAndTheRenderGoesOn) {
  // A copy outside the build tree, with nothing beside it: only the folders it is told of and
  // ../share/vantor are searched.
  TemporaryFolder folder;
  const std::string program = folder.path() + "/bin/vantor";
  mkdir((folder.path() + "/bin").c_str(), 0755);
  ASSERT_EQ(run({"/bin/cp", programPath(), program}).status, 0);
  Exit done = run({program, "--render", folder.path(), "--frames", "1", "--size", "32x32",
                   "--resources", "/nonexistent/vantor"},
                  {"VANTOR_RESOURCES=/nonexistent/environment"});
  EXPECT_EQ(done.status, 0);
  EXPECT_TRUE(Exists(folder.path() + "/frame-00001.png"));
  EXPECT_EQ(Lines(done.err), 1) << done.err;
  for (const std::string& searched :
       {std::string("/nonexistent/vantor"), std::string("/nonexistent/environment"),
        folder.path() + "/share/vantor"}) {
    EXPECT_NE(done.err.find(searched), std::string::npos) << searched << " in " << done.err;
  }

  // The build tree's program falls back to the tree's resources/ quietly.
  Exit built = run(Vantor({"--render", folder.path(), "--frames", "1", "--size", "32x32",
                           "--resources", "/nonexistent/vantor"}),
                   {"VANTOR_RESOURCES"});
  EXPECT_EQ(built.status, 0);
  EXPECT_EQ(built.err, "");
}

}  // namespace

namespace {

TEST(Install, LaysOutTheProgramItsFilesAndTheDaemonsSettingsUnderThePrefix) {
  TemporaryFolder stage;
  Exit done = run({"/usr/bin/cmake", "--install", buildPath(), "--prefix", "/usr"},
                  {"DESTDIR=" + stage.path()});
  ASSERT_EQ(done.status, 0) << done.err;
  const std::string usr = stage.path() + "/usr";
  for (const char* file : {"/bin/vantor", "/libexec/xscreensaver/vantor",
                           "/share/man/man6/vantor.6x", "/share/xscreensaver/config/vantor.xml"}) {
    EXPECT_TRUE(Exists(usr + file)) << file;
  }
  std::string settings = readFile(usr + "/share/xscreensaver/config/vantor.xml");
  for (const char* part :
       {"<screensaver name=\"vantor\" _label=\"Vantor\" gl=\"yes\">", "<command arg=\"--root\"/>",
        "arg-set=\"--fps\"", "arg=\"--delay %\"", "<_description>"}) {
    EXPECT_NE(settings.find(part), std::string::npos) << part;
  }
  EXPECT_TRUE(Exists(usr + "/share/vantor/DiscMasks.jpg"));

  // Both installed copies find the installed atlas; neither is in the build tree, so neither
  // may fall back to the tree's resources/.
  for (const char* program : {"/bin/vantor", "/libexec/xscreensaver/vantor"}) {
    TemporaryFolder out;
    Exit render = run({usr + program, "--render", out.path(), "--frames", "1", "--size", "32x32"},
                      {"VANTOR_RESOURCES"});
    EXPECT_EQ(render.status, 0) << program << ": " << render.err;
    EXPECT_EQ(render.err, "") << program;
  }
}

}  // namespace
