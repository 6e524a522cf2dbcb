#include "support/Program.h"

#include <png.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>

::testing::AssertionResult endsOnSigterm(Process& process, double timeoutSeconds) {
  process.signal(SIGTERM);
  const Exit done = process.wait(timeoutSeconds);
  if (done.signal == SIGTERM) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "signal " << done.signal << ", status " << done.status
                                       << " after " << done.seconds << " s: " << done.err;
}

long lineCount(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

std::vector<pid_t> runningCopies(const std::string& program) {
  std::istringstream pids(run({"/usr/bin/pidof", program}).out);
  return std::vector<pid_t>(std::istream_iterator<pid_t>(pids), {});
}

Arguments vantorCommand(Arguments arguments, const Arguments& more) {
  arguments.insert(arguments.begin(), programPath());
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

bool readPng(const std::string& path, Frame* frame, std::string* error) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str())) {
    image.format = PNG_FORMAT_RGB;
    frame->width = static_cast<int>(image.width);
    frame->height = static_cast<int>(image.height);
    frame->rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, frame->rgb.data(), 0, nullptr)) {
      return true;
    }
  }
  *error = path + ": " + image.message;
  png_image_free(&image);
  return false;
}

::testing::AssertionResult isSymmetricKaleidoscope(const Frame& frame) {
  const double lit = 1.0 - frame.darkShare();  // brighter than near-black in some channel
  const double mismatch = frame.rgb.empty() ? 1.0 : mirrorMismatch(frame, 48);
  if (frame.rgb.empty() || lit < 0.01 || mismatch > 0.02) {
    return ::testing::AssertionFailure()
           << lit * 100 << "% of " << frame.width << "x" << frame.height << " pixels lit, "
           << mismatch * 100 << "% differ from their mirror image";
  }
  return ::testing::AssertionSuccess();
}

bool screenshot(const Xvfb& server, const std::string& window, Frame* frame, std::string* error) {
  TemporaryFolder folder;
  const std::string file = folder.path() + "/shot.png";
  Exit done =
      run({"/usr/bin/import", "-silent", "-window", window, file}, {"DISPLAY=" + server.display()});
  *error = done.err;
  return done.status == 0 && readPng(file, frame, error);
}

::testing::AssertionResult showsKaleidoscope(const Xvfb& server, const std::string& window,
                                             int width) {
  Frame frame;
  std::string error;
  const bool shown = eventually(
      [&] {
        return screenshot(server, window, &frame, &error) && (width == 0 || frame.width == width) &&
               isSymmetricKaleidoscope(frame);
      },
      10.0);
  return shown ? ::testing::AssertionSuccess()
               : ::testing::AssertionFailure() << error << isSymmetricKaleidoscope(frame).message();
}

std::unique_ptr<Process> startOn(const Xvfb& server, Arguments arguments,
                                 const Arguments& environment,
                                 const std::function<void()>& inChild) {
  arguments.insert(arguments.end(), {"--resources", resourcesPath()});
  Arguments settings = {"DISPLAY=" + server.display(), "XSCREENSAVER_WINDOW", "WAYLAND_DISPLAY"};
  settings.insert(settings.end(), environment.begin(), environment.end());
  return std::make_unique<Process>(vantorCommand(arguments), settings, inChild);
}

Frame pngFrame(const std::string& path) {
  Frame frame;
  std::string error;
  EXPECT_TRUE(readPng(path, &frame, &error)) << error;
  return frame;
}

std::vector<std::string> entriesOf(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

Arguments snapshotCommand(const std::string& file, const std::string& at) {
  return vantorCommand({"--snapshot", file, "--at", at, "--size", "64x48", "--seed", "5",
                        "--resources", resourcesPath()});
}

Frame decodedFrame(const std::string& video, int index, const std::string& folder) {
  const std::string file = folder + "/decoded-" + std::to_string(index) + ".png";
  Exit decode = run({"/usr/bin/ffmpeg", "-v", "error", "-y", "-i", video, "-vf",
                     "select=eq(n\\," + std::to_string(index) + ")", "-frames:v", "1", file});
  EXPECT_EQ(decode.status, 0) << decode.err;
  return pngFrame(file);
}
