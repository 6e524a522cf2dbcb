#include "host/framework/View.h"

#include <cassert>

View::~View() {
  // Subviews must not reach back to a superview that is half gone.
  for (auto& subview : subviews_) {
    subview->superview_ = nullptr;
  }
}

void View::addSubview(std::unique_ptr<View> view) {
  assert(view != nullptr && view->superview_ == nullptr &&
         "a view can be added to one superview only");
  view->superview_ = this;
  subviews_.push_back(std::move(view));
}

void View::removeFromSuperview() {
  View* parent = superview_;
  if (parent == nullptr) {
    return;
  }
  for (auto it = parent->subviews_.begin(); it != parent->subviews_.end(); ++it) {
    if (it->get() == this) {
      std::unique_ptr<View> self = std::move(*it);
      parent->subviews_.erase(it);
      superview_ = nullptr;
      return;  // `self` goes out of scope here and destroys this view
    }
  }
}

Surface* View::surface() const {
  for (const View* view = this; view != nullptr; view = view->superview_) {
    if (view->surface_ != nullptr) {
      return view->surface_;
    }
  }
  return nullptr;
}
