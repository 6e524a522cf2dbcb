#include "Sway.h"

#include <signal.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <sstream>

long frameRequests(const Process& client) {
  const std::string log = client.errorSoFar();
  long count = 0;
  for (auto at = log.find(".frame(new id"); at != std::string::npos;
       at = log.find(".frame(new id", at + 1)) {
    count++;
  }
  return count;
}

Sway::Sway() {
  for (const char* tool :
       {"/usr/bin/sway", "/usr/bin/swaymsg", "/usr/bin/grim", "/usr/bin/wtype"}) {
    if (access(tool, X_OK) != 0) {
      problem_ = std::string(tool) + " is not installed (scripts/install-deps installs it)";
      return;
    }
  }
  std::ofstream(folder_.path() + "/config") << "swaybg_command -\ndefault_border none\n";
  if (geteuid() == 0 && chown(folder_.path().c_str(), 65534, 65534) != 0) {
    problem_ = "cannot hand " + folder_.path() + " to nobody";
    return;
  }
  server_ = std::make_unique<Process>(
      asUser({"/usr/bin/sway", "-c", folder_.path() + "/config"}),
      Arguments{"XDG_RUNTIME_DIR=" + folder_.path(), "HOME=" + folder_.path(),
                "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman",
                "WAYLAND_DISPLAY", "DISPLAY", "SWAYSOCK"});
  // It is up when both of its sockets are there: clients' and swaymsg's.
  eventually(
      [&] {
        for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
          const std::string name = entry.path().filename();
          if (name.rfind("wayland-", 0) == 0 && name.find(".lock") == std::string::npos) {
            display_ = name;
          } else if (name.rfind("sway-ipc.", 0) == 0) {
            ipc_ = entry.path();
          }
        }
        return (!display_.empty() && !ipc_.empty()) || !server_->running();
      },
      10.0);
  if (display_.empty() || ipc_.empty()) {
    problem_ = "sway did not start: " + server_->errorSoFar();
  }
}

Sway::~Sway() {
  stop();
  server_.reset();
}

void Sway::stop() {
  if (server_ != nullptr) {
    server_->signal(SIGTERM);
    server_->wait(10.0);
  }
}

Arguments Sway::environment() const {
  return {"XDG_RUNTIME_DIR=" + folder_.path(), "WAYLAND_DISPLAY=" + display_, "SWAYSOCK=" + ipc_,
          "DISPLAY", "XSCREENSAVER_WINDOW"};
}

std::unique_ptr<Process> Sway::start(const Arguments& command, const Arguments& more) const {
  Arguments settings = environment();
  settings.insert(settings.end(), more.begin(), more.end());
  return std::make_unique<Process>(asUser(command), settings);
}

Exit Sway::run(const Arguments& command, double timeoutSeconds) const {
  return start(command)->wait(timeoutSeconds);
}

Exit Sway::message(const Arguments& words) const {
  Arguments command = words;
  command.insert(command.begin(), "/usr/bin/swaymsg");
  return run(command);
}

Exit Sway::key(const std::string& key) const {
  return run({"/usr/bin/wtype", "-s", "1500", "-k", key});
}

std::vector<pid_t> Sway::clients(const std::string& program) const {
  std::vector<pid_t> found;
  const std::string runtime = "XDG_RUNTIME_DIR=" + folder_.path();
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string pid = entry.path().filename();
    std::error_code error;
    if (pid.find_first_not_of("0123456789") != std::string::npos ||
        std::filesystem::read_symlink(entry.path() / "exe", error) != program) {
      continue;
    }
    // NUL-separated NAME=VALUE entries; a zombie has none.
    const std::string environ = readFile(entry.path() / "environ");
    if (environ.find(runtime + '\0') != std::string::npos) {
      found.push_back(std::stoi(pid));
    }
  }
  return found;
}

bool Sway::capture(const std::string& output, Frame* frame, std::string* error) const {
  // A binary PPM on standard output: "P6", the width, the height, the maximum (255), one
  // white-space byte, then the pixels.
  const Exit done = run({"/usr/bin/grim", "-t", "ppm", "-o", output, "-"});
  std::istringstream picture(done.out);
  std::string magic;
  int maximum = 0;
  picture >> magic >> frame->width >> frame->height >> maximum;
  picture.get();
  const std::size_t size = static_cast<std::size_t>(frame->width) * frame->height * 3;
  if (done.status != 0 || magic != "P6" || maximum != 255 || !picture ||
      done.out.size() - static_cast<std::size_t>(picture.tellg()) != size) {
    *error = "grim -o " + output + ": status " + std::to_string(done.status) + ", " +
             std::to_string(done.out.size()) + " bytes: " + done.err;
    return false;
  }
  frame->rgb.assign(done.out.end() - static_cast<std::ptrdiff_t>(size), done.out.end());
  return true;
}
