// Guards how the program ends on a signal, through the built program.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "support/Program.h"

namespace {

// Whether process `pid` has a handler for `signal` (the SigCgt mask of /proc/PID/status).
bool catches(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigCgt:", 0) == 0) {
      return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0;
    }
  }
  return false;
}

// Guards how renders and snapshots end on a signal: the file in progress is dropped, one line
// says how far the run got, and the status is the signal's (128 + N for those whose default
// would dump core); a signal ignored at start stays ignored, in a window too.
TEST(Signals, EachEndsARenderAndASnapshotWithoutAPartialFile) {
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ}) {
    const std::string name = std::string("SIG") + sigabbrev_np(number);
    for (bool render : {true, false}) {
      SCOPED_TRACE(name + (render ? " during a render" : " during a snapshot"));
      TemporaryFolder folder;
      const std::string frames = folder.path() + "/frames";
      Process vantor(render ? vantorCommand({"--render", frames, "--frames", "100000", "--size",
                                             "64x48", "--resources", resourcesPath()})
                            : snapshotCommand(folder.path() + "/late.png", "2592000"));
      // A render is stopped once it has written frames; a snapshot while it steps, once it
      // catches the signal (a busy machine can take longer than a moment to start it).
      if (render) {
        EXPECT_TRUE(
            eventually([&] { return std::filesystem::exists(frames + "/frame-00002.png"); }, 20.0));
      }
      EXPECT_TRUE(eventually([&] { return catches(vantor.pid(), number); }, 20.0));
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      vantor.signal(number);
      Exit done = vantor.wait(10.0);
      const bool core = number == SIGQUIT || number == SIGXFSZ;
      EXPECT_EQ(std::pair(done.status, done.signal),
                std::pair(core ? 128 + number : -1, core ? 0 : number))
          << done.err;
      const std::regex line(
          "vantor: interrupted by " + name + " \\([a-z: ]+\\) " +
          (render ? "after [0-9]+ of 100000 frames; the last whole file is " + frames +
                        "/frame-[0-9]{5}\\.png"
                  : std::string("after stepping [0-9]+\\.[0-9]{2} s towards the frame at 2592000 "
                                "s; no file was written")) +
          "\n$");
      EXPECT_TRUE(std::regex_search(done.err, line)) << done.err;
      EXPECT_EQ(entriesOf(folder.path()), render ? Arguments{"frames"} : Arguments{});
      for (const std::string& entry : render ? entriesOf(frames) : Arguments{}) {
        EXPECT_EQ(pngFrame(frames + "/" + entry).width, 64) << entry;
      }
    }
  }
  TemporaryFolder folder;
  Process nohup(vantorCommand({"--render", folder.path(), "--frames", "150", "--size", "64x48"}),
                {}, [] { ::signal(SIGHUP, SIG_IGN); });
  EXPECT_TRUE(eventually(
      [&] { return std::filesystem::exists(folder.path() + "/frame-00001.png"); }, 20.0));
  nohup.signal(SIGHUP);
  Exit done = nohup.wait(60.0);
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(entriesOf(folder.path()).size(), 150u);
  // So does an interrupt in a window started as a background job; SIGTERM still ends it.
  Xvfb server(64, 48);
  ASSERT_TRUE(server.started()) << server.failure();
  auto window = startOn(server, {"-geometry", "64x48"}, {}, [] { ::signal(SIGINT, SIG_IGN); });
  ASSERT_TRUE(showsKaleidoscope(server, "root")) << window->errorSoFar();
  window->signal(SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(window->running()) << "an ignored SIGINT ended the window";
  EXPECT_TRUE(endsOnSigterm(*window));
}

}  // namespace
