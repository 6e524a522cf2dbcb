// The scene-object interface through which the engine draws the wedge's content, and the
// factory that makes the engine's cell.
#pragma once

class ScopeApp;

// Calling contract, once per frame: updateFrame(); draw() while the engine compiles its
// display list (only commands that can be compiled, nothing that relies on their immediate
// effect); preRender(), wantsClipping(), the replays, postRender() for each reflection pass.
// The defaults draw nothing and ask for clipping and reflections only.
class ObjectCell {
 public:
  explicit ObjectCell(ScopeApp* parent) : m_parent(parent) {}
  virtual ~ObjectCell() {}

  // Once, right after the factory, with the engine's resource folder (may be null).
  virtual void init(const char* /*fileName*/) {}
  virtual void updateFrame() {}
  virtual void draw() {}
  virtual void preRender() {}
  virtual void postRender() {}
  virtual bool wantsClipping() { return true; }
  virtual bool wantsTrails() { return false; }
  virtual bool wantsReflections() { return true; }
  virtual bool wantsRadialBlur() { return false; }

  ScopeApp* m_parent;  // the owning engine; not owned
};

// Cell type 0 is the engine's scene; any other type gives null. The caller owns the result.
ObjectCell* getObjectCell(int cellType, ScopeApp* parent);
