// Guards the saver's promptness under load: while other processes keep both cores busy, SIGTERM
// (how the xscreensaver daemon ends a hack) still ends the saver in its own window within
// 100 ms, by that signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/Process.h"

namespace {

TEST(UnderLoad, SigtermEndsTheSaverWithinATenthOfASecond) {
  Xvfb server(320, 240);
  ASSERT_TRUE(server.started()) << server.failure();
  std::vector<std::unique_ptr<Process>> load;
  for (int core = 0; core < 2; core++) {
    load.push_back(std::make_unique<Process>(
        std::vector<std::string>{"/bin/sh", "-c", "while :; do :; done"}));
  }

  // A scheduler hiccup can delay any one run: the best of three must make it.
  std::vector<double> milliseconds;
  for (int attempt = 0; attempt < 3; attempt++) {
    Process saver({programPath(), "-geometry", "160x120+0+0", "--resources", resourcesPath()},
                  {server.environment(), "XSCREENSAVER_WINDOW"});
    Frame frame;
    std::string error;
    ASSERT_TRUE(eventually(
        [&] {
          return !saver.running() ||
                 (screenshot(server, "root", &frame, &error) && frame.litShare() > 0.0);
        },
        30.0))
        << "nothing drawn yet: " << error;
    ASSERT_TRUE(saver.running()) << saver.errorSoFar();

    saver.signal(SIGTERM);
    Exit done = saver.wait(5.0);
    EXPECT_EQ(done.signal, SIGTERM) << "status " << done.status << ": " << done.err;
    milliseconds.push_back(done.seconds * 1000.0);
  }
  for (const auto& busy : load) {
    EXPECT_TRUE(busy->running()) << "the load did not last";
  }
  std::printf("SIGTERM to reaped, both cores busy: %.1f, %.1f, %.1f ms\n", milliseconds[0],
              milliseconds[1], milliseconds[2]);
  EXPECT_LT(*std::min_element(milliseconds.begin(), milliseconds.end()), 100.0);
}

}  // namespace
