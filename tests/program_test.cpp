#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

#include "support/Frame.h"
#include "support/TestFiles.h"
#include "util/DrawScale.h"

// After GoogleTest: Xlib defines None, a name GoogleTest uses.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using Arguments = std::vector<std::string>;

// Polls `condition` every 10 ms until it holds or `timeoutSeconds` pass; true when it held.
template <typename Condition>
bool eventually(Condition condition, double timeoutSeconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

struct Exit {
  int status = -1;       // the exit code, or -1 when a signal ended the program
  int signal = 0;        // the signal that ended it, else 0
  double seconds = 0.0;  // from the wait's start to the end
  std::string out;       // standard output
  std::string err;       // standard error
};

// A program started with a changed environment (NAME=VALUE entries set, NAME alone removed),
// its standard output and error captured in files, and killed (by its own pid) when a test
// leaves it running.
class Process {
 public:
  Process(const Arguments& argv, const Arguments& environment = {}) {
    // env takes its options (the removals) before the settings, then becomes the program.
    Arguments command = environment;
    auto settings = std::stable_partition(command.begin(), command.end(), [](auto& change) {
      return change.find('=') == std::string::npos;
    });
    std::for_each(command.begin(), settings, [](auto& name) { name = "--unset=" + name; });
    command.insert(command.begin(), "/usr/bin/env");
    command.insert(command.end(), argv.begin(), argv.end());
    std::vector<char*> args;
    for (std::string& arg : command) {
      args.push_back(&arg[0]);
    }
    args.push_back(nullptr);
    const std::string out = output_.path() + "/out", err = output_.path() + "/err";
    pid_ = fork();
    if (pid_ == 0) {
      dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
      dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600), STDOUT_FILENO);
      dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600), STDERR_FILENO);
      // A test harness may block or ignore signals; the program must see them as a user's would.
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      ::signal(SIGTERM, SIG_DFL);
      ::signal(SIGINT, SIG_DFL);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~Process() { wait(0.0); }  // not copied: the output folder is not

  bool running() {
    reaped_ = reaped_ || pid_ <= 0 || waitpid(pid_, &rawStatus_, WNOHANG) == pid_;
    return !reaped_;
  }
  void signal(int number) {
    if (running()) {
      kill(pid_, number);
    }
  }
  // Waits up to `timeoutSeconds`; past that the program is killed with SIGKILL.
  Exit wait(double timeoutSeconds) {
    const auto start = std::chrono::steady_clock::now();
    if (!eventually([&] { return !running(); }, timeoutSeconds)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &rawStatus_, 0);
      reaped_ = true;
    }
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
    return {WIFEXITED(rawStatus_) ? WEXITSTATUS(rawStatus_) : -1,
            WIFSIGNALED(rawStatus_) ? WTERMSIG(rawStatus_) : 0, waited.count(),
            readFile(output_.path() + "/out"), errorSoFar()};
  }
  std::string errorSoFar() const { return readFile(output_.path() + "/err"); }
  pid_t pid() const { return pid_; }

 private:
  TemporaryFolder output_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int rawStatus_ = 0;
};

// Runs to the end (or `timeoutSeconds`) and returns how it ended.
Exit run(const Arguments& argv, const Arguments& environment = {}, double timeoutSeconds = 30.0) {
  return Process(argv, environment).wait(timeoutSeconds);
}

// As root, a command runs as nobody: root reads and writes whatever the modes say, and the
// xscreensaver daemon runs no hacks as root.
Arguments AsUser(Arguments command) {
  if (geteuid() == 0) {
    command.insert(command.begin(),
                   {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  }
  return command;
}

long Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

Arguments Vantor(Arguments arguments) {
  arguments.insert(arguments.begin(), programPath());
  return arguments;
}

// The program installed with its files under /usr in a stage of its own, where any user can
// reach them: out of the build tree, so that it finds only what was installed.
const std::string& Installed() {
  static TemporaryFolder stage;
  static const std::string usr = [] {
    chmod(stage.path().c_str(), 0755);
    Exit done = run({"/usr/bin/cmake", "--install", VANTOR_BUILD_DIR, "--prefix", "/usr"},
                    {"DESTDIR=" + stage.path()});
    EXPECT_EQ(done.status, 0) << done.err;
    return stage.path() + "/usr";
  }();
  return usr;
}

// A virtual X server. It picks a free display number itself and writes it on a line of its own
// once it takes connections; one that does not start is a test failure.
class Xvfb {
 public:
  Xvfb(int width, int height)
      : server_({"/usr/bin/Xvfb", "-displayfd", "2", "-noreset", "-nolisten", "tcp", "-screen", "0",
                 std::to_string(width) + "x" + std::to_string(height) + "x24"}) {
    const std::regex numberLine("(^|\n)([0-9]+)\n");
    std::smatch number;
    std::string text;
    eventually(
        [&] {
          text = server_.errorSoFar();
          return std::regex_search(text, number, numberLine) || !server_.running();
        },
        20.0);
    if (number.empty() || !server_.running()) {
      ADD_FAILURE() << "Xvfb did not start: " << (text.empty() ? "no display number" : text);
    } else {
      display_ = ":" + number[2].str();
    }
  }
  ~Xvfb() {
    server_.signal(SIGTERM);
    server_.wait(10.0);
  }

  bool started() const { return !display_.empty(); }
  const std::string& display() const { return display_; }  // ":N"

 private:
  Process server_;
  std::string display_;
};

// False with *error set when the file is missing or not a PNG (any 8-bit type, read as RGB).
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

// A frame is a symmetric kaleidoscope picture when at least 1% of it is brighter than
// near-black and at most 2% of its pixels differ by more than 48 in a channel from their mirror
// image about the vertical line through the centre (rasterisation along the wedge edges differs
// a little between a copy and its mirror image).
::testing::AssertionResult IsSymmetricKaleidoscope(const Frame& frame) {
  long lit = 0;  // brighter than near-black in some channel
  for (size_t i = 0; i < frame.rgb.size(); i += 3) {
    lit += std::max({frame.rgb[i], frame.rgb[i + 1], frame.rgb[i + 2]}) > 16;
  }
  const double mismatch = frame.rgb.empty() ? 1.0 : MirrorMismatch(frame, 48);
  if (frame.rgb.empty() || lit < 0.01 * frame.width * frame.height || mismatch > 0.02) {
    return ::testing::AssertionFailure()
           << lit << " of " << frame.width << "x" << frame.height << " pixels lit, "
           << mismatch * 100 << "% differ from their mirror image";
  }
  return ::testing::AssertionSuccess();
}

// Waits for a symmetric kaleidoscope picture of `window` (or the whole screen with "root"),
// taken with ImageMagick's import, as wide as `width` when given. While the mirrors glide to
// another angle, now and then, frames are not symmetric.
::testing::AssertionResult ShowsKaleidoscope(const Xvfb& server, const std::string& window,
                                             int width = 0) {
  TemporaryFolder folder;
  const std::string file = folder.path() + "/shot.png";
  Frame frame;
  std::string error;
  const bool shown = eventually(
      [&] {
        Exit done = run({"/usr/bin/import", "-silent", "-window", window, file},
                        {"DISPLAY=" + server.display()});
        error = done.err;
        return done.status == 0 && readPng(file, &frame, &error) &&
               (width == 0 || frame.width == width) && IsSymmetricKaleidoscope(frame);
      },
      10.0);
  return shown ? ::testing::AssertionSuccess()
               : ::testing::AssertionFailure() << error << IsSymmetricKaleidoscope(frame).message();
}

// Guards the command line as a user meets it, by running the built program: help without a
// display, one-line usage errors with status 2, repeatable renders, failures with status 1,
// and the installed layout.
TEST(CommandLine, HelpNeedsNoDisplayAndABadOptionExitsTwoWithOneLine) {
  Exit help = run(Vantor({"--help"}), {"DISPLAY"});
  EXPECT_TRUE(help.status == 0 && help.err.empty());
  for (const char* option : {"--root", "--window-id", "-geometry", "--render", "--seed"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  for (const Arguments& arguments : {Arguments{"--bogus"}, {"--delay", "-5"}, {"--size", "0x10"}}) {
    Exit done = run(Vantor(arguments), {"DISPLAY"});
    EXPECT_TRUE(done.status == 2 && Lines(done.err) == 1) << done.err;
    EXPECT_NE(done.err.find(arguments.back()), std::string::npos) << done.err;
  }
}

TEST(CommandLine, RendersWithOneSeedAreTheSameSymmetricFrames) {
  TemporaryFolder folder;
  for (const char* target : {"/first", "/second"}) {
    Exit done = run(Vantor({"--render", folder.path() + target, "--frames", "2", "--size",
                            "320x240", "--seed", "77", "--resources", resourcesPath()}));
    ASSERT_EQ(done.status, 0) << done.err;
  }
  for (const char* name : {"/frame-00001.png", "/frame-00002.png"}) {
    const std::string bytes = readFile(folder.path() + "/first" + name);
    EXPECT_TRUE(!bytes.empty() && bytes == readFile(folder.path() + "/second" + name)) << name;
    Frame frame;
    std::string error;
    ASSERT_TRUE(readPng(folder.path() + "/first" + name, &frame, &error)) << error;
    EXPECT_TRUE(frame.width == 320 && frame.height == 240) << name;
    EXPECT_TRUE(IsSymmetricKaleidoscope(frame)) << name;
  }
}

// Out of the build tree, the installed program finds the installed atlas, quietly.
TEST(CommandLine, InstallLaysOutTheProgramAndItsFilesUnderThePrefix) {
  for (const char* file :
       {"/bin/vantor", "/share/man/man6/vantor.6x", "/share/xscreensaver/config/vantor.xml"}) {
    EXPECT_TRUE(std::filesystem::exists(Installed() + file)) << file;
  }
  TemporaryFolder out;
  Exit render = run({Installed() + "/libexec/xscreensaver/vantor", "--render", out.path(),
                     "--frames", "1", "--size", "32x32"},
                    {"VANTOR_RESOURCES"});
  EXPECT_TRUE(render.status == 0 && render.err.empty()) << render.err;
}

// Run by nobody, from the installed copy, so that the folder is unwritable wherever the build
// tree is.
TEST(CommandLine, AnUnwritableFolderExitsOneWithOneLine) {
  TemporaryFolder folder;
  const std::string locked = folder.path() + "/locked";
  ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
  chmod(folder.path().c_str(), 0755);
  Exit done = run(AsUser({Installed() + "/bin/vantor", "--render", locked, "--size", "16x16"}));
  EXPECT_TRUE(done.status == 1 && Lines(done.err) == 1) << done.err;
  EXPECT_NE(done.err.find(locked), std::string::npos) << done.err;
}

// Guards the program against bad mask atlases given through --resources: whatever the file, a
// render of 30 frames ends with status 0; a file that cannot serve as the
// atlas gives exactly one line that names it and the engine draws as without one, while a
// usable one, however unusual, gives no line and is drawn with.
using Make = std::function<void(const std::string& atlas)>;

// A width x height JPEG, grey, RGB or CMYK by `components`, in stripes 8 pixels wide: a mask
// in every cell, and in any picture smaller than one.
Make Jpeg(int width, int height, int components = 1, bool progressive = false) {
  return [=](const std::string& atlas) {
    std::vector<std::uint8_t> row(static_cast<size_t>(width) * components);
    for (size_t sample = 0; sample < row.size(); sample++) {
      row[sample] = sample / components % 16 < 8 ? 255 : 0;
    }
    ASSERT_TRUE(WriteJpeg(atlas, width, height, components, row, progressive)) << atlas;
  };
}

Make Bytes(const std::string& content) {
  return [=](const std::string& atlas) { ASSERT_TRUE(WriteBytes(atlas, content)) << atlas; };
}

// Each file goes into a folder of its own for a copy of the program outside the build tree, so
// that only --resources and the copy's own share/vantor are searched: the build tree's atlas
// would stand in for a missing one. The unreadable file's case runs as nobody when root, for whom
// no file is unreadable.
TEST(Atlas, EachFileRendersWithOneLineWhenItCannotServe) {
  TemporaryFolder root;
  chmod(root.path().c_str(), 0755);
  const std::string program = root.path() + "/opt/bin/vantor", plain = root.path() + "/plain";
  std::filesystem::create_directories(root.path() + "/opt/bin");
  std::filesystem::copy_file(programPath(), program);
  Jpeg(512, 64)(plain);
  std::string truncated = readFile(plain), corrupt = truncated;
  truncated.resize(truncated.size() / 2);
  std::fill(corrupt.begin() + 2, corrupt.begin() + 40, 0x5a);  // over its tables
  const std::tuple<const char*, bool, Make> cases[] = {
      {"missing", false, [](const std::string&) {}},  // first: drawn without masks
      {"empty", false, Bytes("")},
      {"text", false, Bytes("hi\n")},
      {"truncated", false, Bytes(truncated)},
      {"corrupt-header", false, Bytes(corrupt)},
      {"unreadable", false,
       [](const std::string& atlas) {
         Jpeg(512, 64)(atlas);
         chmod(atlas.c_str(), 0);
       }},
      {"progressive", true, Jpeg(512, 64, 1, true)},
      {"cmyk", false, Jpeg(512, 64, 4)},
      {"1x1", false, Jpeg(1, 1)},
      {"8192x8192", true, Jpeg(8192, 8192)},
      {"30x30", false, Jpeg(30, 30)},
      {"colour", false, Jpeg(512, 64, 3)},
      {"folder", false, [](const std::string& atlas) { mkdir(atlas.c_str(), 0755); }},
      // Beyond any sane atlas; and a pipe, which must not be opened (that would block).
      {"16400x64", false, Jpeg(16400, 64)},
      {"pipe", false, [](const std::string& atlas) { mkfifo(atlas.c_str(), 0644); }},
  };
  std::string withoutMasks;
  for (const auto& [name, usable, make] : cases) {
    SCOPED_TRACE(name);
    const std::string folder = root.path() + "/" + name;
    std::filesystem::create_directories(folder + "/frames");
    chmod(folder.c_str(), 0755);
    chmod((folder + "/frames").c_str(), 0777);  // for nobody
    make(folder + "/DiscMasks.jpg");
    const Arguments render = {program,  "--render", folder + "/frames", "--frames", "30",
                              "--size", "160x120",  "--seed",           "1000",     "--resources",
                              folder};
    // Only where it matters: as nobody, the sanitizer build takes longer over each run.
    Exit done = run(name == std::string("unreadable") ? AsUser(render) : render,
                    {"VANTOR_RESOURCES"}, 120.0);
    EXPECT_EQ(done.status, 0) << done.err;
    // A slow run also reports its progress once a second: not a warning.
    std::istringstream lines(done.err);
    std::string warnings;
    for (std::string line; std::getline(lines, line);) {
      warnings += line.rfind("vantor: frame ", 0) == 0 ? "" : line + "\n";
    }
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), usable ? 0 : 1) << done.err;
    if (!usable) {
      EXPECT_EQ(warnings.rfind("vantor: ", 0), 0u) << done.err;
      EXPECT_NE(warnings.find(folder), std::string::npos) << done.err;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder + "/frames"), {}), 30);
    // Renders are repeatable to the byte: the same file is the same picture.
    const std::string last = readFile(folder + "/frames/frame-00030.png");
    if (withoutMasks.empty()) {
      withoutMasks = last;
      ASSERT_FALSE(last.empty());
    } else if (usable) {
      EXPECT_TRUE(last != withoutMasks) << "the masks were not used";
    } else {
      EXPECT_TRUE(last == withoutMasks) << "the engine was given the file anyway";
    }
  }
}

// Guards the window host under a virtual X server: each way of choosing the window draws a
// kaleidoscope there, a foreign window's new size reaches the view, SIGTERM ends the program
// by that signal, and a window destroyed under it ends it with status 1 and one line.
TEST(Windows, EveryWayOfChoosingTheWindowDrawsThere) {
  Xvfb server(640, 480);
  ASSERT_TRUE(server.started());
  Display* display = XOpenDisplay(server.display().c_str());
  ASSERT_NE(display, nullptr);
  auto start = [&](Arguments arguments, const std::string& daemonWindow = "") {
    arguments.insert(arguments.end(), {"--resources", resourcesPath()});
    return std::make_unique<Process>(
        Vantor(arguments),
        Arguments{"DISPLAY=" + server.display(), "XSCREENSAVER_WINDOW" + daemonWindow});
  };
  // The own window covers the screen, so a picture of the screen is one of the window.
  for (const Arguments& arguments : {Arguments{"-geometry", "640x480"}, {"--root"}}) {
    auto vantor = start(arguments);
    EXPECT_TRUE(ShowsKaleidoscope(server, "root")) << arguments[0] << vantor->errorSoFar();
    vantor->signal(SIGTERM);
    Exit done = vantor->wait(5.0);
    EXPECT_EQ(done.signal, SIGTERM) << "status " << done.status << ": " << done.err;
  }
  // Windows of the test's own, as the daemon or its settings dialog would make them.
  for (bool daemons : {true, false}) {
    const Window id = XCreateSimpleWindow(display, DefaultRootWindow(display), 100, 50, 320, 240, 0,
                                          0, BlackPixel(display, 0));
    const std::string window = std::to_string(id);
    XMapWindow(display, id);
    XSync(display, False);
    auto vantor = daemons ? start({"--root"}, "=" + window) : start({"--window-id", window});
    EXPECT_TRUE(ShowsKaleidoscope(server, window)) << vantor->errorSoFar();
    if (daemons) {
      XResizeWindow(display, id, 400, 300);
      XSync(display, False);
      EXPECT_TRUE(ShowsKaleidoscope(server, window, 400));
    } else {
      XDestroyWindow(display, id);
      XSync(display, False);
      Exit done = vantor->wait(5.0);
      EXPECT_TRUE(done.status == 1 && Lines(done.err) == 1) << done.err;
      EXPECT_LT(done.seconds, 1.0);
    }
  }
  XCloseDisplay(display);
}

// The times the program's main thread gave up the processor (to wait) and its CPU ticks so far.
long Wakeups(pid_t pid) {
  std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
  long voluntary = -1;
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
      voluntary = std::stol(line.substr(line.find(':') + 1));
    }
  }
  return voluntary;
}

// Of the lit 2x2 blocks (at even coordinates) in a square of side `side` whose pixels `pixel`
// gives as 0xRRGGBB, the share whose four pixels are the same: 1 when every drawn pixel is shown
// twice in each direction. Fewer than 100 lit blocks give -1.
double DoubledShare(const std::function<unsigned long(int, int)>& pixel, int side) {
  long lit = 0, doubled = 0;
  for (int y = 0; y + 1 < side; y += 2) {
    for (int x = 0; x + 1 < side; x += 2) {
      const unsigned long a = pixel(x, y), b = pixel(x + 1, y), c = pixel(x, y + 1),
                          d = pixel(x + 1, y + 1);
      if ((a | b | c | d) != 0) {
        lit++;
        doubled += a == b && a == c && a == d;
      }
    }
  }
  return lit < 100 ? -1.0 : static_cast<double>(doubled) / lit;
}

// The same for the middle square of a window.
double DoubledShare(Display* display, Window window, int side) {
  XWindowAttributes attributes;
  XGetWindowAttributes(display, window, &attributes);
  const int left = (attributes.width - side) / 2 & ~1, top = (attributes.height - side) / 2 & ~1;
  XImage* image = XGetImage(display, window, left, top, static_cast<unsigned>(side),
                            static_cast<unsigned>(side), AllPlanes, ZPixmap);
  if (image == nullptr) {
    return -1.0;
  }
  const double share =
      DoubledShare([&](int x, int y) { return XGetPixel(image, x, y) & 0xffffff; }, side);
  XDestroyImage(image);
  return share;
}

// Waits for a picture in the middle of the screen, then says how much of it is doubled.
double ScreenDoubledShare(const Xvfb& server) {
  Display* display = XOpenDisplay(server.display().c_str());
  double share = -1.0;
  if (display != nullptr) {
    eventually(
        [&] { return (share = DoubledShare(display, DefaultRootWindow(display), 256)) >= 0; },
        20.0);
    XCloseDisplay(display);
  }
  return share;
}

// Guards drawing a window smaller and enlarging it: the automatic scale is 1 on hardware and
// keeps a software renderer at 1920x1080 pixels or fewer; a window drawn at half scale shows
// a whole mirror-symmetric picture with every pixel doubled; at scale 1 it draws every pixel.
TEST(Scale, TheAutomaticScaleDrawsAtMostFullHdOnlyOnSoftwareRenderers) {
  const char* llvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits)";
  EXPECT_EQ(ChooseDrawScale(0.0, llvmpipe, 3840, 2160), 0.5);
  EXPECT_EQ(DrawnSide(3840, 0.5), 1920);
  EXPECT_EQ(DrawnSide(2160, 0.5), 1080);
  EXPECT_EQ(ChooseDrawScale(0.0, llvmpipe, 1920, 1080), 1.0);
  EXPECT_EQ(ChooseDrawScale(0.0, "AMD Radeon RX 6600 (radeonsi, navi23)", 3840, 2160), 1.0);
  EXPECT_EQ(ChooseDrawScale(0.0, "softpipe", 7680, 4320), 0.25);
  EXPECT_EQ(ChooseDrawScale(0.75, "AMD Radeon", 640, 480), 0.75);
  // Not 16:9: the largest scale whose area fits, within a pixel a side.
  const double scale = ChooseDrawScale(0.0, "swrast", 2560, 1600);
  const long area = static_cast<long>(DrawnSide(2560, scale)) * DrawnSide(1600, scale);
  EXPECT_LE(area, 1920L * 1080L) << scale;
  EXPECT_GT(static_cast<long>(DrawnSide(2560, scale) + 1) * (DrawnSide(1600, scale) + 1),
            1920L * 1080L)
      << scale;
  for (const Arguments& arguments :
       {Arguments{"--scale", "0.2"}, {"--scale", "1.5"}, {"--scale", "1e0"}}) {
    Exit done = run(Vantor(arguments), {"DISPLAY"});
    EXPECT_EQ(done.status, 2) << arguments[1] << ": " << done.err;
    EXPECT_EQ(Lines(done.err), 1) << done.err;
  }
}

// Pixels of the --fps overlay's yellow in the 120x48 corner of the screen at `top`.
long OverlayPixels(const Xvfb& server, int top) {
  Display* display = XOpenDisplay(server.display().c_str());
  XImage* image =
      XGetImage(display, DefaultRootWindow(display), 0, top, 120, 48, AllPlanes, ZPixmap);
  long yellow = 0;
  for (int y = 0; image != nullptr && y < 48; y++) {
    for (int x = 0; x < 120; x++) {
      const unsigned long pixel = XGetPixel(image, x, y);
      yellow += (pixel >> 16 & 0xff) > 160 && (pixel >> 8 & 0xff) > 160 && (pixel & 0xff) < 96;
    }
  }
  if (image != nullptr) {
    XDestroyImage(image);
  }
  XCloseDisplay(display);
  return yellow;
}

TEST(Scale, AHalfScaleWindowIsAWholeSymmetricPictureWithEveryPixelDoubled) {
  for (const char* scale : {"0.5", "1"}) {
    Xvfb server(640, 480);
    ASSERT_TRUE(server.started());
    Process saver(
        Vantor({"-geometry", "640x480", "--scale", scale, "--fps", "--resources", resourcesPath()}),
        {"DISPLAY=" + server.display()});
    EXPECT_TRUE(ShowsKaleidoscope(server, "root")) << scale << saver.errorSoFar();
    // Right way up: the overlay's text is in the bottom-left corner, not the top-left.
    EXPECT_GT(OverlayPixels(server, 480 - 48), 100) << scale;
    EXPECT_EQ(OverlayPixels(server, 0), 0) << scale;
    const double doubled = ScreenDoubledShare(server);
    if (scale == std::string("1")) {
      EXPECT_LT(doubled, 0.9) << "scale 1";
    } else {
      EXPECT_EQ(doubled, 1.0) << "scale 0.5";
    }
  }
}

TEST(Scale, RendersAreUnchangedAtScaleOneAndDoubledAtHalf) {
  TemporaryFolder folder;
  Frame frames[3];
  const char* scales[3] = {nullptr, "1", "0.5"};
  for (int i = 0; i < 3; i++) {
    const std::string file = folder.path() + "/" + std::to_string(i) + ".png";
    Arguments arguments = {"--snapshot", file,     "--at", "2",           "--size",
                           "320x240",    "--seed", "42",   "--resources", resourcesPath()};
    if (scales[i] != nullptr) {
      arguments.insert(arguments.end(), {"--scale", scales[i]});
    }
    Exit done = run(Vantor(arguments), {"DISPLAY"});
    std::string error;
    ASSERT_EQ(done.status, 0) << done.err;
    ASSERT_TRUE(readPng(file, &frames[i], &error)) << error;
  }
  EXPECT_EQ(readFile(folder.path() + "/0.png"), readFile(folder.path() + "/1.png"));
  const Frame& half = frames[2];
  EXPECT_EQ(half.width, 320);
  EXPECT_EQ(half.height, 240);
  EXPECT_TRUE(IsSymmetricKaleidoscope(half));
  auto pixel = [&](int x, int y) {
    const std::uint8_t* p = half.at(x + 40, y);
    return static_cast<unsigned long>(p[0] << 16 | p[1] << 8 | p[2]);
  };
  EXPECT_EQ(DoubledShare(pixel, 240), 1.0);
}

TEST(Scale, AFullScreenOf3840x2160IsDrawnAt1920x1080) {
  Xvfb server(3840, 2160);
  ASSERT_TRUE(server.started());
  Process saver(Vantor({"--root", "--resources", resourcesPath()}),
                {"DISPLAY=" + server.display(), "XSCREENSAVER_WINDOW"});
  EXPECT_EQ(ScreenDoubledShare(server), 1.0) << saver.errorSoFar();
}

// Guards the cost of a window nobody sees: unmapped, or covered whole by another window, the
// saver draws nothing and does not even wake up; shown again, it draws again.
TEST(Windows, NothingIsDrawnWhileTheWindowIsUnmappedOrCovered) {
  Xvfb server(320, 240);
  ASSERT_TRUE(server.started());
  Display* display = XOpenDisplay(server.display().c_str());
  ASSERT_NE(display, nullptr);
  Process saver(Vantor({"-geometry", "320x240", "--resources", resourcesPath()}),
                {"DISPLAY=" + server.display()});
  ASSERT_TRUE(ShowsKaleidoscope(server, "root")) << saver.errorSoFar();
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
  ASSERT_EQ(count, 1u) << "the saver's window, and no window manager";
  const Window window = children[0];
  XFree(children);
  const Window cover = XCreateSimpleWindow(display, root, 0, 0, 320, 240, 0, 0, 0);
  for (bool unmap : {true, false}) {
    SCOPED_TRACE(unmap ? "unmapped" : "covered");
    unmap ? XUnmapWindow(display, window) : XMapRaised(display, cover);
    XSync(display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long before = Wakeups(saver.pid());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LE(Wakeups(saver.pid()) - before, 2) << "wake-ups in a second while hidden";
    unmap ? XMapWindow(display, window) : XUnmapWindow(display, cover);
    XSync(display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long shown = Wakeups(saver.pid());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_GE(Wakeups(saver.pid()) - shown, 10) << "wake-ups in half a second when shown";
  }
  XCloseDisplay(display);
}

// Guards the saver's promptness under load: while other processes keep both cores busy, SIGTERM
// (how the xscreensaver daemon ends a hack) still ends the saver in its own window within
// 100 ms, by that signal.
TEST(UnderLoad, SigtermEndsTheSaverWithinATenthOfASecond) {
  Xvfb server(160, 120);
  ASSERT_TRUE(server.started());
  const Arguments spin = {"/bin/sh", "-c", "while :; do :; done"};
  Process firstCore(spin), secondCore(spin);
  // A scheduler hiccup can delay any one run: the best of three must make it.
  std::vector<double> milliseconds;
  for (int attempt = 0; attempt < 3; attempt++) {
    // The own window covers the screen, so a picture of the screen is one of the window.
    Process saver(Vantor({"-geometry", "160x120", "--resources", resourcesPath()}),
                  {"DISPLAY=" + server.display(), "XSCREENSAVER_WINDOW"});
    ASSERT_TRUE(ShowsKaleidoscope(server, "root")) << saver.errorSoFar();
    saver.signal(SIGTERM);
    Exit done = saver.wait(5.0);
    EXPECT_EQ(done.signal, SIGTERM) << "status " << done.status << ": " << done.err;
    milliseconds.push_back(done.seconds * 1000.0);
  }
  EXPECT_TRUE(firstCore.running() && secondCore.running()) << "the load did not last";
  std::printf("SIGTERM to reaped, both cores busy: %.1f, %.1f, %.1f ms\n", milliseconds[0],
              milliseconds[1], milliseconds[2]);
  EXPECT_LT(*std::min_element(milliseconds.begin(), milliseconds.end()), 100.0);
}

// Guards Vantor under the real xscreensaver daemon, run as an unprivileged user on a virtual
// X server: selected as the only hack it draws a kaleidoscope into the daemon's window, and
// after the daemon deactivates (it sends SIGTERM, nothing more) no Vantor process is left.
TEST(Daemon, SelectedHackDrawsAndLeavesNoProcessAfterDeactivation) {
  prctl(PR_SET_CHILD_SUBREAPER, 1);  // what the daemon leaves is ours to reap, not a zombie
  Xvfb server(640, 480);
  ASSERT_TRUE(server.started());
  TemporaryFolder home;
  const std::string program = Installed() + "/bin/vantor";
  std::ofstream(home.path() + "/.xscreensaver")
      << "timeout: 0:30:00\ncycle: 0\nlock: False\nmode: one\nselected: 0\nsplash: False\n"
         "fade: False\nunfade: False\ndpmsEnabled: False\nprograms: GL: "
      << program << " --root \\n\n";
  if (geteuid() == 0) {
    ASSERT_EQ(run({"/bin/chown", "-R", "65534:65534", home.path()}).status, 0);
  }
  auto daemon = [&](Arguments command) {
    command.insert(command.begin(), {"/usr/bin/env", "-i", "PATH=/usr/bin:/bin",
                                     "HOME=" + home.path(), "DISPLAY=" + server.display()});
    return AsUser(command);
  };
  auto command = [&](Arguments what) {
    what.insert(what.begin(), "/usr/bin/xscreensaver-command");
    return run(daemon(what), {}, 20.0).status;
  };
  auto running = [&] {  // live (not zombie) processes of the program
    std::istringstream pids(run({"/usr/bin/pidof", program}).out);
    return std::vector<pid_t>(std::istream_iterator<pid_t>(pids), {});
  };
  Process saver(daemon({"/usr/bin/xscreensaver", "-no-splash"}));
  ASSERT_TRUE(eventually([&] { return !saver.running() || command({"-version"}) == 0; }, 20.0));
  ASSERT_TRUE(saver.running()) << saver.errorSoFar();
  ASSERT_EQ(command({"-select", "1"}), 0);
  ASSERT_TRUE(eventually([&] { return !running().empty(); }, 20.0));
  ASSERT_EQ(running().size(), 1u);
  EXPECT_TRUE(ShowsKaleidoscope(server, "root"));
  EXPECT_EQ(running().size(), 1u) << "the hack is still running while active";
  ASSERT_EQ(command({"-deactivate"}), 0);
  EXPECT_TRUE(eventually([&] { return running().empty(); }, 5.0)) << "a hack is left behind";
  EXPECT_EQ(command({"-exit"}), 0);
  EXPECT_NE(saver.wait(20.0).signal, SIGKILL);
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

}  // namespace
