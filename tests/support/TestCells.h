// Scene cells with known content for pixel tests, and a way to put one into an engine.
#pragma once

#include "engine/Scope.h"
#include "objects/ObjectFactory.h"

// A colour fan from the centre out past the screen's corners, from 240 to 330 degrees: wider
// than any wedge, so that only the clip planes keep it inside. Its colour changes with the
// direction, so a copy and its mirror image look different. Culls back faces, so a mirrored
// copy shows only when the front face is switched for it.
class FanCell : public ObjectCell {
 public:
  explicit FanCell(ScopeApp* parent) : ObjectCell(parent) {}
  void draw() override;
  void preRender() override;
  void postRender() override;
};

// A small white square inside the first wedge of every arrangement, optionally asking for
// the radial blur, counting the engine's calls.
class SpotCell : public ObjectCell {
 public:
  SpotCell(ScopeApp* parent, bool blur) : ObjectCell(parent), blur_(blur) {}
  void updateFrame() override { updates++; }
  void draw() override;
  void preRender() override { preRenders++; }
  void postRender() override { postRenders++; }
  bool wantsRadialBlur() override { return blur_; }

  int updates = 0;
  int draws = 0;
  int preRenders = 0;
  int postRenders = 0;

 private:
  bool blur_;
};

// Replaces the engine's scene cell with `cell` (which the engine then owns).
template <class Cell>
Cell* InstallCell(ScopeApp* engine, Cell* cell) {
  delete engine->itsObjects;
  engine->itsObjects = cell;
  return cell;
}
