#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/media/Image.hpp"
#include "platform/ui/Layer.hpp"
#include "platform/ui/LayoutConstraint.hpp"
#include "platform/ui/Object.hpp"

namespace ostrel::platform {

class View;
class Window;
class ViewController;
class GestureRecognizer;

// The value the platform uses for "no intrinsic size along this axis".
inline constexpr double kNoIntrinsicMetric = -1;

// A finger on the screen, in window coordinates.
struct Touch {
  std::weak_ptr<View> view;
  std::weak_ptr<Window> window;
  Point locationInWindow;
  Point previousLocationInWindow;
  int tapCount = 1;

  Point location(const View* in) const;
  Point previousLocation(const View* in) const;
};

// Something that can take the keyboard focus. There is one first responder at a time.
class Responder : public Object {
 public:
  virtual bool canBecomeFirstResponder() const { return false; }
  virtual bool becomeFirstResponder();
  virtual bool resignFirstResponder();
  bool isFirstResponder() const;
  static std::shared_ptr<Responder> currentFirstResponder();

 protected:
  virtual void didBecomeFirstResponder() {}
  virtual void didResignFirstResponder() {}
};

enum class ContentMode {
  scaleToFill,
  scaleAspectFit,
  scaleAspectFill,
  redraw,
  center,
  top,
  bottom,
  left,
  right
};

// A value an animation moved, as recorded.
using AnimatedValue =
    std::variant<double, Point, Rect, AffineTransform, std::optional<Color>, EdgeInsets>;

struct AnimationOptions {
  bool allowUserInteraction = false;
  bool beginFromCurrentState = false;
  TimingFunction curve = TimingFunction::easeInEaseOut;
};

// How one view gives way to another in `View::transition`.
enum class ViewTransition { none, flipFromLeft };

struct TransitionOptions {
  ViewTransition transition = ViewTransition::none;
  // Hide the old view and show the new one in place, instead of taking the old one out of its
  // superview and putting the new one in.
  bool showHideTransitionViews = false;
  TimingFunction curve = TimingFunction::easeInEaseOut;
};

// A rectangle of the interface, kept as inspectable data: geometry, look, hierarchy,
// constraints and recognisers. Made with `platform::make<T>(frame)`; `didMake()` is where
// subclasses put set-up that must dispatch to overrides.
class View : public Responder {
 public:
  explicit View(Rect frame = {});
  ~View() override;

  virtual void didMake() {}
  // Sent by a nib once every object of it exists and its outlets are wired.
  virtual void awakeFromNib() {}

  // Geometry. Transforms do not take part in conversion or hit testing.
  Rect frame() const;
  virtual void setFrame(Rect frame);
  Rect bounds() const { return bounds_; }
  virtual void setBounds(Rect bounds);
  Point center() const { return center_; }
  void setCenter(Point center);
  const AffineTransform& transform() const { return transform_; }
  void setTransform(AffineTransform transform);

  // Look.
  double alpha() const { return alpha_; }
  void setAlpha(double alpha);
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden);
  const std::optional<Color>& backgroundColor() const { return backgroundColor_; }
  virtual void setBackgroundColor(std::optional<Color> color);
  // The own tint, else the superview's, else the system blue.
  Color tintColor() const;
  void setTintColor(std::optional<Color> color);
  bool clipsToBounds() const { return layer_->masksToBounds; }
  void setClipsToBounds(bool clips) { layer_->masksToBounds = clips; }
  const std::shared_ptr<Layer>& layer() const { return layer_; }
  // Replaces the backing layer (for views backed by a special layer kind).
  void setLayer(std::shared_ptr<Layer> layer);
  ContentMode contentMode() const { return contentMode_; }
  void setContentMode(ContentMode mode) { contentMode_ = mode; }

  bool isUserInteractionEnabled() const { return userInteraction_; }
  void setUserInteractionEnabled(bool enabled) { userInteraction_ = enabled; }
  int tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }
  std::string accessibilityIdentifier;

  // Hierarchy; the last subview is drawn on top.
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  std::shared_ptr<View> superview() const { return superview_.lock(); }
  virtual std::shared_ptr<Window> window() const;
  void addSubview(const std::shared_ptr<View>& view);
  void insertSubview(const std::shared_ptr<View>& view, std::size_t index);
  void insertSubviewBelow(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling);
  void sendSubviewToBack(const std::shared_ptr<View>& view);
  void bringSubviewToFront(const std::shared_ptr<View>& view);
  void removeFromSuperview();
  bool isDescendantOf(const View* view) const;
  // Depth first, this view included.
  std::shared_ptr<View> viewWithTag(int tag);
  virtual void didMoveToSuperview() {}
  virtual void didMoveToWindow() {}

  // Layout. Nothing solves constraints: views get frames from their own layout code.
  virtual void layoutSubviews() {}
  void setNeedsLayout() { needsLayout_ = true; }
  bool needsLayout() const { return needsLayout_; }
  // Runs `layoutSubviews` here (when marked) and then down the hierarchy.
  void layoutIfNeeded();
  virtual Size intrinsicContentSize() const { return {kNoIntrinsicMetric, kNoIntrinsicMetric}; }
  void invalidateIntrinsicContentSize() { ++intrinsicInvalidations_; }
  int intrinsicContentSizeInvalidations() const { return intrinsicInvalidations_; }
  virtual Size sizeThatFits(Size size) const;
  void sizeToFit();

  // Constraints installed on this view, and the anchors and guides to make them with.
  bool translatesAutoresizingMaskIntoConstraints = true;
  const std::vector<std::shared_ptr<LayoutConstraint>>& constraints() const { return constraints_; }
  void addConstraint(const std::shared_ptr<LayoutConstraint>& constraint);
  void removeConstraint(const LayoutConstraint* constraint);
  // Active constraints anywhere up the hierarchy that name this view (or its guides) first.
  std::vector<std::shared_ptr<LayoutConstraint>> constraintsAffecting() const;
  LayoutAnchor leadingAnchor() { return anchor(LayoutAttribute::leading); }
  LayoutAnchor trailingAnchor() { return anchor(LayoutAttribute::trailing); }
  LayoutAnchor leftAnchor() { return anchor(LayoutAttribute::left); }
  LayoutAnchor rightAnchor() { return anchor(LayoutAttribute::right); }
  LayoutAnchor topAnchor() { return anchor(LayoutAttribute::top); }
  LayoutAnchor bottomAnchor() { return anchor(LayoutAttribute::bottom); }
  LayoutAnchor widthAnchor() { return anchor(LayoutAttribute::width); }
  LayoutAnchor heightAnchor() { return anchor(LayoutAttribute::height); }
  LayoutAnchor centerXAnchor() { return anchor(LayoutAttribute::centerX); }
  LayoutAnchor centerYAnchor() { return anchor(LayoutAttribute::centerY); }
  std::shared_ptr<LayoutGuide> safeAreaLayoutGuide();
  std::shared_ptr<LayoutGuide> layoutMarginsGuide();
  // Insets of the safe area: the own ones when set, else the window's.
  EdgeInsets safeAreaInsets() const;
  void setSafeAreaInsets(std::optional<EdgeInsets> insets) { safeAreaInsets_ = insets; }
  EdgeInsets layoutMargins() const { return layoutMargins_; }
  void setLayoutMargins(EdgeInsets margins) { layoutMargins_ = margins; }

  // Appearance (light or dark) in force for this view: its window's, else the screen's.
  UserInterfaceStyle traitStyle() const;
  virtual void traitCollectionDidChange(UserInterfaceStyle previous) { (void)previous; }

  // Resigns the first responder found in this hierarchy; returns whether one was.
  bool endEditing(bool force);

  void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  void removeGestureRecognizer(const GestureRecognizer* recognizer);
  const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const {
    return recognizers_;
  }

  // The deepest visible, interactive view under `point` (in this view's coordinates); later
  // subviews win. Hidden views, views with alpha below 0.01 and views with interaction off are
  // skipped with everything inside them.
  virtual std::shared_ptr<View> hitTest(Point point);
  virtual bool pointInside(Point point) const { return bounds_.contains(point); }
  // Conversion through the superview chain by frame origins and bounds origins; a null view
  // means window coordinates.
  Point convertPointTo(Point point, const View* to) const;
  Point convertPointFrom(Point point, const View* from) const;
  Rect convertRectTo(Rect rect, const View* to) const;
  Rect convertRectFrom(Rect rect, const View* from) const;

  virtual void touchesBegan(const Touch& touch) { (void)touch; }
  virtual void touchesMoved(const Touch& touch) { (void)touch; }
  virtual void touchesEnded(const Touch& touch) { (void)touch; }
  virtual void touchesCancelled(const Touch& touch) { (void)touch; }

  // Drawing hook, called by `display()` with the view's bounds while a drawing context of the
  // bounds at the screen's scale is current (`currentImageContext()`, top-left user space).
  virtual void draw(Rect rect) { (void)rect; }
  // Draws the view now and keeps what it drew (`drawnContents()`); clears `needsDisplay()`.
  void display();
  // Marks the view for the next display pass. A view is not drawn until something marks it
  // (its own set-up, or a size change when its content mode is `redraw`).
  void setNeedsDisplay() { needsDisplay_ = true; }
  bool needsDisplay() const { return needsDisplay_; }
  // The display pass: lays the hierarchy out, then displays every marked view, parents before
  // their subviews. Nothing runs it on its own; tests call it where the platform would.
  void displayIfNeeded();
  // The pixels of the last `display()` (nothing before the first, or for an empty bounds).
  const ImagePtr& drawnContents() const { return drawnContents_; }

  // The controller whose root view this is, when there is one.
  std::shared_ptr<ViewController> owningViewController() const { return owningController_.lock(); }
  void setOwningViewController(std::weak_ptr<ViewController> controller) {
    owningController_ = std::move(controller);
  }

  // Animations: the block runs at once, so the model values are final; what it changed is
  // recorded with the timing, and the completion runs with true once delay + duration have
  // passed on the clock.
  static void animate(double duration, const std::function<void()>& animations,
                      std::function<void(bool)> completion = {});
  static void animate(double duration, double delay, AnimationOptions options,
                      const std::function<void()>& animations,
                      std::function<void(bool)> completion = {});
  static void animate(double duration, double delay, double dampingRatio, double initialVelocity,
                      AnimationOptions options, const std::function<void()>& animations,
                      std::function<void(bool)> completion = {});
  static void performWithoutAnimation(const std::function<void()>& actions);
  // Replaces `from` by `to` (see `TransitionOptions`) at once; the change is recorded with its
  // kind, duration and both views, and the completion runs with true once `duration` has
  // passed on the clock, as with `animate`.
  static void transition(const std::shared_ptr<View>& from, const std::shared_ptr<View>& to,
                         double duration, TransitionOptions options,
                         std::function<void(bool)> completion = {});

 protected:
  void recordChange(const char* property, AnimatedValue from, AnimatedValue to);

 public:
  // Walks the tree, calling `visit` on this view and every descendant.
  void forEachInHierarchy(const std::function<void(View&)>& visit);

 private:
  friend class Window;
  LayoutAnchor anchor(LayoutAttribute attribute) { return {weak<Object>(), attribute}; }
  void notifyMovedToWindow();
  Point toRoot(Point p) const;
  Point fromRoot(Point p) const;
  const View* root() const;

  Rect bounds_;
  Point center_;
  AffineTransform transform_;
  double alpha_ = 1;
  bool hidden_ = false;
  std::optional<Color> backgroundColor_;
  std::optional<Color> tintColor_;
  bool userInteraction_ = true;
  int tag_ = 0;
  ContentMode contentMode_ = ContentMode::scaleToFill;
  std::shared_ptr<Layer> layer_;
  std::vector<std::shared_ptr<View>> subviews_;
  std::weak_ptr<View> superview_;
  bool needsLayout_ = true;
  bool needsDisplay_ = false;
  ImagePtr drawnContents_;
  int intrinsicInvalidations_ = 0;
  std::vector<std::shared_ptr<LayoutConstraint>> constraints_;
  std::shared_ptr<LayoutGuide> safeAreaGuide_;
  std::shared_ptr<LayoutGuide> marginsGuide_;
  std::optional<EdgeInsets> safeAreaInsets_;
  EdgeInsets layoutMargins_{8, 8, 8, 8};
  std::vector<std::shared_ptr<GestureRecognizer>> recognizers_;
  std::weak_ptr<ViewController> owningController_;
};

}  // namespace ostrel::platform
