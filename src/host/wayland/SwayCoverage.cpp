#include "host/wayland/SwayCoverage.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

namespace {

// i3's IPC, which sway speaks: "i3-ipc", the payload's length and the message's type.
constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kHeader = sizeof kMagic + 8;
constexpr std::uint32_t kSubscribe = 2;
constexpr std::uint32_t kGetTree = 4;
constexpr std::uint32_t kEvent = 0x80000000u;  // set in the type of every event

struct Box {
  long x = 0, y = 0, width = 0, height = 0;
};

Box boxOf(const nlohmann::json& rect) {
  return Box{rect.value("x", 0L), rect.value("y", 0L), rect.value("width", 0L),
             rect.value("height", 0L)};
}

// The boxes of the windows shown under `node`: its leaves that sway calls visible.
void shownWindows(const nlohmann::json& node, std::vector<Box>* boxes) {
  bool leaf = true;
  for (const char* children : {"nodes", "floating_nodes"}) {
    for (const nlohmann::json& child : node.value(children, nlohmann::json::array())) {
      leaf = false;
      shownWindows(child, boxes);
    }
  }
  if (leaf && node.value("visible", false)) {
    boxes->push_back(boxOf(node.value("rect", nlohmann::json::object())));
  }
}

// Whether `boxes` together cover `area`: every cell between their edges is inside one.
bool covers(const std::vector<Box>& boxes, const Box& area) {
  if (area.width <= 0 || area.height <= 0 || boxes.empty()) {
    return false;
  }
  std::vector<long> xs = {area.x, area.x + area.width}, ys = {area.y, area.y + area.height};
  for (const Box& box : boxes) {
    xs.insert(xs.end(), {std::clamp(box.x, area.x, area.x + area.width),
                         std::clamp(box.x + box.width, area.x, area.x + area.width)});
    ys.insert(ys.end(), {std::clamp(box.y, area.y, area.y + area.height),
                         std::clamp(box.y + box.height, area.y, area.y + area.height)});
  }
  for (std::vector<long>* edges : {&xs, &ys}) {
    std::sort(edges->begin(), edges->end());
    edges->erase(std::unique(edges->begin(), edges->end()), edges->end());
  }
  for (std::size_t i = 0; i + 1 < xs.size(); i++) {
    for (std::size_t j = 0; j + 1 < ys.size(); j++) {
      const bool inside = std::any_of(boxes.begin(), boxes.end(), [&](const Box& box) {
        return box.x <= xs[i] && xs[i + 1] <= box.x + box.width && box.y <= ys[j] &&
               ys[j + 1] <= box.y + box.height;
      });
      if (!inside) {
        return false;
      }
    }
  }
  return true;
}

// Adds the name of each output of the tree `root` that its windows cover.
void scanOutputs(const nlohmann::json& root, std::set<std::string>* covered) {
  for (const nlohmann::json& output : root.value("nodes", nlohmann::json::array())) {
    const nlohmann::json& shownName = output.value("current_workspace", nlohmann::json());
    const std::string shown = shownName.is_string() ? shownName.get<std::string>() : "";
    for (const nlohmann::json& workspace : output.value("nodes", nlohmann::json::array())) {
      if (workspace.value("type", "") != "workspace" || workspace.value("name", "") != shown) {
        continue;
      }
      std::vector<Box> windows;
      for (const char* children : {"nodes", "floating_nodes"}) {
        for (const nlohmann::json& child : workspace.value(children, nlohmann::json::array())) {
          shownWindows(child, &windows);
        }
      }
      if (covers(windows, boxOf(workspace.value("rect", nlohmann::json::object())))) {
        covered->insert(output.value("name", ""));
      }
    }
  }
}

}  // namespace

SwayCoverage::~SwayCoverage() { disconnect(); }

void SwayCoverage::disconnect() {
  if (socket_ >= 0) {
    close(socket_);
  }
  socket_ = -1;
  incoming_.clear();
  covered_.clear();
  treeAsked_ = treeStale_ = false;
}

bool SwayCoverage::connect() {
  const char* path = std::getenv("SWAYSOCK");
  sockaddr_un address = {};
  if (path == nullptr || path[0] == '\0' || std::strlen(path) >= sizeof address.sun_path) {
    return false;
  }
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path);
  socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0 ||
      ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      !send(kSubscribe, R"(["window","workspace","output"])") || !send(kGetTree, "")) {
    disconnect();
    return false;
  }
  // Replies are read as they come, never waited for.
  fcntl(socket_, F_SETFL, fcntl(socket_, F_GETFL) | O_NONBLOCK);
  treeAsked_ = true;
  return true;
}

bool SwayCoverage::send(std::uint32_t type, const std::string& payload) {
  std::string message(kMagic, sizeof kMagic);
  const auto length = static_cast<std::uint32_t>(payload.size());
  message.append(reinterpret_cast<const char*>(&length), 4);
  message.append(reinterpret_cast<const char*>(&type), 4);
  message += payload;
  // Messages are small: a blocking socket takes them whole; a full one waits a little.
  for (std::size_t sent = 0; sent < message.size();) {
    const ssize_t count =
        ::send(socket_, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (count < 0 && errno != EINTR && errno != EAGAIN) {
      return false;
    }
    sent += count > 0 ? static_cast<std::size_t>(count) : 0;
  }
  return true;
}

bool SwayCoverage::read() {
  if (socket_ < 0) {
    return false;
  }
  char chunk[65536];
  for (;;) {
    const ssize_t count = recv(socket_, chunk, sizeof chunk, 0);
    if (count > 0) {
      incoming_.append(chunk, static_cast<std::size_t>(count));
      continue;
    }
    if (count < 0 && (errno == EINTR)) {
      continue;
    }
    if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      const bool had = !covered_.empty();
      disconnect();  // sway went away or restarted: nothing more is known
      return had;
    }
    break;
  }
  bool changed = false;
  while (incoming_.size() >= kHeader) {
    std::uint32_t length = 0, type = 0;
    std::memcpy(&length, incoming_.data() + sizeof kMagic, 4);
    std::memcpy(&type, incoming_.data() + sizeof kMagic + 4, 4);
    if (incoming_.size() < kHeader + length) {
      break;
    }
    if (type == kGetTree) {
      std::set<std::string> covered = coveredOutputs(incoming_.substr(kHeader, length));
      changed = changed || covered != covered_;
      covered_ = std::move(covered);
      treeAsked_ = false;
    } else if ((type & kEvent) != 0) {
      treeStale_ = true;
    }
    incoming_.erase(0, kHeader + length);
  }
  // One tree at a time: what changed while one was on its way is asked for after it.
  if (treeStale_ && !treeAsked_) {
    treeStale_ = false;
    treeAsked_ = send(kGetTree, "");
  }
  return changed;
}

std::set<std::string> SwayCoverage::coveredOutputs(const std::string& tree) {
  std::set<std::string> covered;
  const nlohmann::json root = nlohmann::json::parse(tree, nullptr, false);
  if (!root.is_object()) {
    return covered;
  }
  try {
    scanOutputs(root, &covered);
  } catch (const nlohmann::json::exception&) {
    return {};  // a tree of another shape: nothing known
  }
  return covered;
}
