// Which outputs sway covers whole with windows, so that a wallpaper there is drawn for nobody.
// Sway 1.7 sends frame callbacks to a background surface under tiled windows (it withholds them
// only under a full-screen window) and reports it presented, so the Wayland connection cannot
// tell; sway's IPC can. Through the socket in SWAYSOCK it subscribes to window, workspace and
// output events and, after each, reads the tree: an output is covered when the windows shown on
// its visible workspace (tiled, floating or full screen) together cover that workspace's area.
// Panels outside it (swaybar) are their own cover. A window that lets the wallpaper show through
// (a translucent terminal) counts as covering it, as sway's own full-screen rule does.
//
// Elsewhere (no SWAYSOCK, or another compositor) nothing is known and every output counts as
// seen. The IPC's numbers are native-endian, as sway writes them.
#pragma once

#include <cstdint>
#include <set>
#include <string>

class SwayCoverage {
 public:
  SwayCoverage() = default;
  ~SwayCoverage();
  SwayCoverage(const SwayCoverage&) = delete;
  SwayCoverage& operator=(const SwayCoverage&) = delete;

  // Connects to $SWAYSOCK, subscribes and asks for the tree; false, quietly, where there is no
  // sway to ask (the surface then goes by frame callbacks alone).
  bool connect();
  // The socket to wait on, or -1.
  int fd() const { return socket_; }
  // Reads what sway sent, without waiting. True when the covered outputs may have changed.
  // A socket sway closed is let go: every output counts as seen from then on.
  bool read();
  bool covered(const std::string& output) const { return covered_.count(output) != 0; }

  // The outputs the tree (GET_TREE's JSON) shows covered; exposed for tests.
  static std::set<std::string> coveredOutputs(const std::string& tree);

 private:
  bool send(std::uint32_t type, const std::string& payload);
  void disconnect();

  int socket_ = -1;
  std::string incoming_;    // bytes read and not yet taken as a whole message
  bool treeAsked_ = false;  // a GET_TREE is on its way
  bool treeStale_ = false;  // and something changed since it was asked
  std::set<std::string> covered_;
};
