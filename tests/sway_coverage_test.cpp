// Guards reading sway's tree for the outputs that windows cover whole: tiled windows that fill
// the visible workspace together, a full-screen one, floating ones that leave a gap, windows
// on a workspace out of sight, and a tree of another shape.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "host/wayland/SwayCoverage.h"

namespace {

// A window of the tree at x, y, width x height, shown or not.
std::string window(int x, int y, int width, int height, bool visible = true) {
  return R"({"type":"con","visible":)" + std::string(visible ? "true" : "false") +
         R"(,"rect":{"x":)" + std::to_string(x) + R"(,"y":)" + std::to_string(y) + R"(,"width":)" +
         std::to_string(width) + R"(,"height":)" + std::to_string(height) +
         R"(},"nodes":[],"floating_nodes":[]})";
}

// An output named `name` at x 0..1280, its visible workspace "1" (windows `tiled` and
// `floating`) and workspace "2" (window `hidden`).
std::string output(const std::string& name, const std::string& tiled, const std::string& floating,
                   const std::string& hidden = "") {
  const std::string area = R"("rect":{"x":0,"y":30,"width":1280,"height":690})";
  return R"({"type":"output","name":")" + name + R"(","current_workspace":"1","nodes":[)" +
         R"({"type":"workspace","name":"1",)" + area + R"(,"nodes":[)" + tiled +
         R"(],"floating_nodes":[)" + floating + R"(]},)" + R"({"type":"workspace","name":"2",)" +
         area + R"(,"nodes":[)" + hidden + R"(],"floating_nodes":[]}]})";
}

std::set<std::string> covered(const std::string& outputs) {
  return SwayCoverage::coveredOutputs(R"({"type":"root","nodes":[)" + outputs + "]}");
}

TEST(SwayCoverage, AnOutputIsCoveredWhenItsVisibleWorkspacesWindowsFillIt) {
  using Names = std::set<std::string>;
  // Side by side, the bar's strip above the workspace left to the bar.
  EXPECT_EQ(covered(output("A", window(0, 30, 640, 690) + "," + window(640, 30, 640, 690), "")),
            Names{"A"});
  // A floating window over a tiled one that leaves a strip; a full-screen one over everything.
  EXPECT_EQ(covered(output("A", window(0, 30, 1280, 600), window(100, 600, 200, 120)) + "," +
                    output("B", window(0, 30, 1280, 600), window(0, 0, 1280, 720))),
            Names{"B"});
  // Tabs: the one shown covers; windows on the workspace out of sight do not count.
  EXPECT_EQ(
      covered(output("A", window(0, 30, 1280, 690, false) + "," + window(0, 30, 1280, 690), "") +
              "," + output("B", "", "", window(0, 30, 1280, 690))),
      Names{"A"});
  EXPECT_EQ(covered(output("A", "", "")), Names{});
  EXPECT_EQ(SwayCoverage::coveredOutputs(R"({"nodes":[{"current_workspace":7}]})"), Names{});
  EXPECT_EQ(SwayCoverage::coveredOutputs("not json"), Names{});
}

}  // namespace
