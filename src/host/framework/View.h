// A view in a hierarchy: a frame, a superview, and the subviews it owns. Stands in for the
// window system's view class; the top view of a hierarchy is attached to a Surface by the host.
#pragma once

#include <memory>
#include <vector>

#include "host/framework/Geometry.h"

class Surface;

class View {
 public:
  explicit View(Rect frame = ZeroRect) : frame_(frame) {}
  virtual ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  Rect frame() const { return frame_; }
  virtual void setFrameSize(Size newSize) { frame_.size = newSize; }

  // The hierarchy owns its subviews: added views live until removed or until this view goes.
  void addSubview(std::unique_ptr<View> view);
  // Takes this view out of its superview, which destroys it. Nothing of it may be used after.
  void removeFromSuperview();
  View* superview() const { return superview_; }
  const std::vector<std::unique_ptr<View>>& subviews() const { return subviews_; }

  // The surface this view draws on: its own, or the nearest superview's. Null when the
  // hierarchy is not attached to one.
  Surface* surface() const;
  // Done by the host on the top view; not owned.
  void attachToSurface(Surface* surface) { surface_ = surface; }

 private:
  Rect frame_;
  View* superview_ = nullptr;
  std::vector<std::unique_ptr<View>> subviews_;
  Surface* surface_ = nullptr;
};
