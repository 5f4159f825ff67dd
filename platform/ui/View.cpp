#include "platform/ui/View.hpp"

#include <algorithm>

#include "platform/media/GraphicsContext.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/GestureRecognizer.hpp"
#include "platform/ui/ViewController.hpp"
#include "platform/ui/Window.hpp"

namespace ostrel::platform {
namespace {

std::weak_ptr<Responder>& firstResponderSlot() {
  static std::weak_ptr<Responder> slot;
  return slot;
}

}  // namespace

// Responder

bool Responder::becomeFirstResponder() {
  if (!canBecomeFirstResponder()) return false;
  if (isFirstResponder()) return true;
  if (auto view = dynamic_cast<View*>(this); view && !view->window()) return false;
  if (auto current = firstResponderSlot().lock()) {
    if (!current->resignFirstResponder()) return false;
  }
  firstResponderSlot() = weak<Responder>();
  didBecomeFirstResponder();
  return true;
}

bool Responder::resignFirstResponder() {
  if (!isFirstResponder()) return true;
  firstResponderSlot().reset();
  didResignFirstResponder();
  return true;
}

bool Responder::isFirstResponder() const {
  auto current = firstResponderSlot().lock();
  return current && current.get() == this;
}

std::shared_ptr<Responder> Responder::currentFirstResponder() {
  return firstResponderSlot().lock();
}

// Touch

Point Touch::location(const View* in) const {
  return in ? in->convertPointFrom(locationInWindow, nullptr) : locationInWindow;
}

Point Touch::previousLocation(const View* in) const {
  return in ? in->convertPointFrom(previousLocationInWindow, nullptr) : previousLocationInWindow;
}

// View

View::View(Rect frame)
    : bounds_({0, 0}, frame.size),
      center_{frame.midX(), frame.midY()},
      layer_(std::make_shared<Layer>()) {
  layer_->frame = frame;
}

View::~View() = default;

Rect View::frame() const {
  return {center_.x - bounds_.size.width / 2, center_.y - bounds_.size.height / 2,
          bounds_.size.width, bounds_.size.height};
}

void View::setFrame(Rect frame) {
  Rect old = this->frame();
  if (old == frame) return;
  recordChange("frame", old, frame);
  if (old.size != frame.size) {
    needsLayout_ = true;
    if (contentMode_ == ContentMode::redraw) needsDisplay_ = true;
  }
  bounds_.size = frame.size;
  center_ = {frame.midX(), frame.midY()};
  layer_->frame = frame;
}

void View::setBounds(Rect bounds) {
  if (bounds_ == bounds) return;
  recordChange("bounds", bounds_, bounds);
  if (bounds_.size != bounds.size) {
    needsLayout_ = true;
    if (contentMode_ == ContentMode::redraw) needsDisplay_ = true;
  }
  bounds_ = bounds;
  layer_->frame = frame();
}

void View::setCenter(Point center) {
  if (center_ == center) return;
  recordChange("center", center_, center);
  center_ = center;
  layer_->frame = frame();
}

void View::setTransform(AffineTransform transform) {
  if (transform_ == transform) return;
  recordChange("transform", transform_, transform);
  transform_ = transform;
}

void View::setAlpha(double alpha) {
  if (alpha_ == alpha) return;
  recordChange("alpha", alpha_, alpha);
  alpha_ = alpha;
}

void View::setHidden(bool hidden) {
  hidden_ = hidden;
}

void View::setBackgroundColor(std::optional<Color> color) {
  if (backgroundColor_ == color) return;
  recordChange("backgroundColor", backgroundColor_, color);
  backgroundColor_ = color;
  layer_->backgroundColor = color;
}

Color View::tintColor() const {
  if (tintColor_) return *tintColor_;
  if (auto parent = superview()) return parent->tintColor();
  return Color::systemBlue();
}

void View::setTintColor(std::optional<Color> color) {
  tintColor_ = color;
}

void View::setLayer(std::shared_ptr<Layer> layer) {
  if (!layer) return;
  layer->frame = frame();
  layer->masksToBounds = layer_->masksToBounds;
  layer_ = std::move(layer);
}

std::shared_ptr<Window> View::window() const {
  auto parent = superview();
  return parent ? parent->window() : nullptr;
}

void View::addSubview(const std::shared_ptr<View>& view) {
  insertSubview(view, subviews_.size());
}

void View::insertSubview(const std::shared_ptr<View>& view, std::size_t index) {
  if (!view || view.get() == this || isDescendantOf(view.get())) return;
  auto oldWindow = view->window();
  if (view->superview().get() == this) {
    std::erase(subviews_, view);
  } else {
    view->removeFromSuperview();
  }
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
  view->superview_ = shared<View>();
  needsLayout_ = true;
  view->didMoveToSuperview();
  if (view->window() != oldWindow) view->notifyMovedToWindow();
}

void View::insertSubviewBelow(const std::shared_ptr<View>& view,
                              const std::shared_ptr<View>& sibling) {
  auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
  insertSubview(view, it == subviews_.end() ? 0 : static_cast<std::size_t>(it - subviews_.begin()));
}

void View::sendSubviewToBack(const std::shared_ptr<View>& view) {
  auto it = std::find(subviews_.begin(), subviews_.end(), view);
  if (it == subviews_.end()) return;
  std::rotate(subviews_.begin(), it, it + 1);
}

void View::bringSubviewToFront(const std::shared_ptr<View>& view) {
  auto it = std::find(subviews_.begin(), subviews_.end(), view);
  if (it == subviews_.end()) return;
  std::rotate(it, it + 1, subviews_.end());
}

void View::removeFromSuperview() {
  auto parent = superview();
  if (!parent) return;
  auto self = shared<View>();  // the parent may hold the last reference
  bool hadWindow = window() != nullptr;
  if (hadWindow) {
    if (auto responder = Responder::currentFirstResponder()) {
      if (auto v = std::dynamic_pointer_cast<View>(responder); v && v->isDescendantOf(this)) {
        v->resignFirstResponder();
      }
    }
  }
  std::erase(parent->subviews_, self);
  superview_.reset();
  parent->needsLayout_ = true;
  didMoveToSuperview();
  if (hadWindow) notifyMovedToWindow();
}

void View::notifyMovedToWindow() {
  forEachInHierarchy([](View& v) { v.didMoveToWindow(); });
}

bool View::isDescendantOf(const View* view) const {
  for (const View* v = this; v; v = v->superview_.lock().get()) {
    if (v == view) return true;
  }
  return false;
}

std::shared_ptr<View> View::viewWithTag(int tag) {
  if (tag_ == tag) return shared<View>();
  for (auto& s : subviews_) {
    if (auto found = s->viewWithTag(tag)) return found;
  }
  return nullptr;
}

void View::forEachInHierarchy(const std::function<void(View&)>& visit) {
  visit(*this);
  auto children = subviews_;
  for (auto& s : children) s->forEachInHierarchy(visit);
}

void View::layoutIfNeeded() {
  auto self = shared<View>();
  if (needsLayout_) {
    needsLayout_ = false;
    auto controller = owningViewController();
    if (controller) controller->viewWillLayoutSubviews();
    layoutSubviews();
    if (controller) controller->viewDidLayoutSubviews();
  }
  auto children = subviews_;
  for (auto& s : children) s->layoutIfNeeded();
}

void View::display() {
  needsDisplay_ = false;
  beginImageContext(bounds_.size, false, Screen::main().scale());
  if (auto context = currentImageContext()) {
    // User space follows the bounds, so a scrolled bounds origin draws scrolled content.
    context->translateBy(-bounds_.origin.x, -bounds_.origin.y);
  }
  draw(bounds_);
  drawnContents_ = imageFromCurrentImageContext();
  endImageContext();
}

void View::displayIfNeeded() {
  layoutIfNeeded();
  forEachInHierarchy([](View& view) {
    if (view.needsDisplay_) view.display();
  });
}

Size View::sizeThatFits(Size size) const {
  auto intrinsic = intrinsicContentSize();
  return {intrinsic.width == kNoIntrinsicMetric ? size.width : intrinsic.width,
          intrinsic.height == kNoIntrinsicMetric ? size.height : intrinsic.height};
}

void View::sizeToFit() {
  auto s = sizeThatFits(bounds_.size);
  auto f = frame();
  setFrame({f.origin, s});
}

void View::addConstraint(const std::shared_ptr<LayoutConstraint>& constraint) {
  if (!constraint) return;
  if (std::find(constraints_.begin(), constraints_.end(), constraint) == constraints_.end()) {
    constraints_.push_back(constraint);
  }
}

void View::removeConstraint(const LayoutConstraint* constraint) {
  std::erase_if(constraints_, [constraint](const auto& c) { return c.get() == constraint; });
}

std::vector<std::shared_ptr<LayoutConstraint>> View::constraintsAffecting() const {
  std::vector<std::shared_ptr<LayoutConstraint>> found;
  for (const View* v = this; v; v = v->superview_.lock().get()) {
    for (const auto& c : v->constraints_) {
      auto first = LayoutConstraint::viewOf(c->firstItem.lock());
      if (c->isActive() && first.get() == this) found.push_back(c);
    }
  }
  return found;
}

std::shared_ptr<LayoutGuide> View::safeAreaLayoutGuide() {
  if (!safeAreaGuide_) safeAreaGuide_ = std::make_shared<LayoutGuide>(weak<View>());
  return safeAreaGuide_;
}

std::shared_ptr<LayoutGuide> View::layoutMarginsGuide() {
  if (!marginsGuide_) marginsGuide_ = std::make_shared<LayoutGuide>(weak<View>());
  return marginsGuide_;
}

EdgeInsets View::safeAreaInsets() const {
  if (safeAreaInsets_) return *safeAreaInsets_;
  if (auto parent = superview()) return parent->safeAreaInsets();
  return {};
}

UserInterfaceStyle View::traitStyle() const {
  if (auto w = window(); w && w->overrideUserInterfaceStyle) return *w->overrideUserInterfaceStyle;
  return Screen::main().traitStyle();
}

bool View::endEditing(bool force) {
  (void)force;
  auto responder = Responder::currentFirstResponder();
  auto view = std::dynamic_pointer_cast<View>(responder);
  if (!view || !view->isDescendantOf(this)) return false;
  return view->resignFirstResponder();
}

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  if (!recognizer) return;
  if (auto old = recognizer->view(); old && old.get() != this)
    old->removeGestureRecognizer(recognizer.get());
  if (std::find(recognizers_.begin(), recognizers_.end(), recognizer) != recognizers_.end()) return;
  recognizer->view_ = weak<View>();
  recognizers_.push_back(recognizer);
}

void View::removeGestureRecognizer(const GestureRecognizer* recognizer) {
  std::erase_if(recognizers_, [recognizer](const auto& r) {
    if (r.get() != recognizer) return false;
    r->view_.reset();
    return true;
  });
}

std::shared_ptr<View> View::hitTest(Point point) {
  if (hidden_ || alpha_ < 0.01 || !userInteraction_ || !pointInside(point)) return nullptr;
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
    const auto& s = *it;
    Rect f = s->frame();
    Point inChild{point.x - f.origin.x + s->bounds_.origin.x,
                  point.y - f.origin.y + s->bounds_.origin.y};
    if (auto hit = s->hitTest(inChild)) return hit;
  }
  return shared<View>();
}

const View* View::root() const {
  const View* v = this;
  while (auto parent = v->superview_.lock()) v = parent.get();
  return v;
}

Point View::toRoot(Point p) const {
  const View* v = this;
  while (auto parent = v->superview_.lock()) {
    Rect f = v->frame();
    p = {p.x - v->bounds_.origin.x + f.origin.x, p.y - v->bounds_.origin.y + f.origin.y};
    v = parent.get();
  }
  // The root's own bounds origin still shifts its content.
  return {p.x - v->bounds_.origin.x, p.y - v->bounds_.origin.y};
}

Point View::fromRoot(Point p) const {
  std::vector<const View*> chain;
  for (const View* v = this; v; v = v->superview_.lock().get()) chain.push_back(v);
  const View* top = chain.back();
  p = {p.x + top->bounds_.origin.x, p.y + top->bounds_.origin.y};
  for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) {
    const View* v = *it;
    Rect f = v->frame();
    p = {p.x - f.origin.x + v->bounds_.origin.x, p.y - f.origin.y + v->bounds_.origin.y};
  }
  return p;
}

Point View::convertPointTo(Point point, const View* to) const {
  Point inRoot = toRoot(point);
  if (!to) return inRoot;
  if (to->root() != root()) {
    // Different windows: go through screen coordinates.
    auto fromWindow = dynamic_cast<const Window*>(root());
    auto toWindow = dynamic_cast<const Window*>(to->root());
    if (fromWindow) inRoot = fromWindow->convertToScreen(inRoot);
    if (toWindow)
      inRoot = {inRoot.x - toWindow->frame().origin.x, inRoot.y - toWindow->frame().origin.y};
  }
  return to->fromRoot(inRoot);
}

Point View::convertPointFrom(Point point, const View* from) const {
  if (!from) return fromRoot(point);
  return from->convertPointTo(point, this);
}

Rect View::convertRectTo(Rect rect, const View* to) const {
  return {convertPointTo(rect.origin, to), rect.size};
}

Rect View::convertRectFrom(Rect rect, const View* from) const {
  return {convertPointFrom(rect.origin, from), rect.size};
}

void View::recordChange(const char* property, AnimatedValue from, AnimatedValue to) {
  AnimationLog::shared().noteChange(*this, property, std::move(from), std::move(to));
}

}  // namespace ostrel::platform
