#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Date.hpp"
#include "platform/ui/View.hpp"

namespace ostrel::platform {

class Bundle;
class NavigationController;
class TabBarController;
class NavigationItem;
class ViewController;

enum class ModalPresentationStyle { automatic, fullScreen, overFullScreen, formSheet, pageSheet };
enum class StatusBarStyle { defaultStyle, lightContent, darkContent };

// What an animator gets during a transition: the container (window bounds) and both ends.
class TransitionContext {
 public:
  TransitionContext(std::shared_ptr<View> container, std::shared_ptr<ViewController> from,
                    std::shared_ptr<ViewController> to, bool animated,
                    std::function<void(bool)> onComplete);

  std::shared_ptr<View> containerView() const { return container_; }
  std::shared_ptr<ViewController> fromViewController() const { return from_; }
  std::shared_ptr<ViewController> toViewController() const { return to_; }
  bool isAnimated() const { return animated_; }
  Rect finalFrame() const { return container_ ? container_->bounds() : Rect{}; }
  // Ends the transition; later calls are ignored.
  void completeTransition(bool didComplete);
  bool isCompleted() const { return completed_; }

 private:
  std::shared_ptr<View> container_;
  std::shared_ptr<ViewController> from_;
  std::shared_ptr<ViewController> to_;
  bool animated_;
  bool completed_ = false;
  std::function<void(bool)> onComplete_;
};

class ViewControllerAnimatedTransitioning {
 public:
  virtual ~ViewControllerAnimatedTransitioning() = default;
  virtual double transitionDuration(const std::shared_ptr<TransitionContext>& context) = 0;
  virtual void animateTransition(const std::shared_ptr<TransitionContext>& context) = 0;
};

class ViewControllerTransitioningDelegate {
 public:
  virtual ~ViewControllerTransitioningDelegate() = default;
  virtual std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForPresented(
      const std::shared_ptr<ViewController>& presented,
      const std::shared_ptr<ViewController>& presenting,
      const std::shared_ptr<ViewController>& source) {
    (void)presented, (void)presenting, (void)source;
    return nullptr;
  }
  virtual std::shared_ptr<ViewControllerAnimatedTransitioning> animationControllerForDismissed(
      const std::shared_ptr<ViewController>& dismissed) {
    (void)dismissed;
    return nullptr;
  }
};

// What a controller is told about a size change that is under way (a rotation). Only the
// animation's shape is known; nothing runs alongside it here.
class ViewControllerTransitionCoordinator {
 public:
  explicit ViewControllerTransitionCoordinator(bool animated = true,
                                               double duration = 0.3)
      : animated_(animated), duration_(duration) {}
  bool isAnimated() const { return animated_; }
  double transitionDuration() const { return duration_; }

 private:
  bool animated_;
  double duration_;
};

// What happened to a presentation, for whoever watches (tests record these).
struct PresentationEvent {
  enum class Kind { presented, dismissed, refusedPresent, refusedDismiss };
  Kind kind;
  std::string presenter;
  std::string presented;
  std::weak_ptr<ViewController> presentedController;
  ModalPresentationStyle style = ModalPresentationStyle::automatic;
  bool animated = false;
  TimeInterval time = 0;
};

// Interface orientations and their masks (raw values as the phone platform numbers them).
enum class InterfaceOrientation { unknown = 0, portrait = 1, portraitUpsideDown = 2,
                                  landscapeLeft = 4, landscapeRight = 3 };
struct InterfaceOrientationMask {
  static constexpr unsigned portrait = 1u << 1;
  static constexpr unsigned portraitUpsideDown = 1u << 2;
  static constexpr unsigned landscapeRight = 1u << 3;
  static constexpr unsigned landscapeLeft = 1u << 4;
  static constexpr unsigned landscape = landscapeLeft | landscapeRight;
  static constexpr unsigned all = portrait | portraitUpsideDown | landscape;
  static constexpr unsigned allButUpsideDown = portrait | landscape;
};

class PresentationController;

// Hears of a presentation the user ended by swiping its sheet away.
class AdaptivePresentationControllerDelegate {
 public:
  virtual ~AdaptivePresentationControllerDelegate() = default;
  virtual void presentationControllerDidDismiss(PresentationController& controller) {
    (void)controller;
  }
};

// The presentation of a controller (and of its children, which answer their outermost
// ancestor's). Only page and form sheets can be swiped away by the user; full-screen
// presentations cannot.
class PresentationController {
 public:
  explicit PresentationController(std::weak_ptr<ViewController> presented)
      : presented_(std::move(presented)) {}
  std::shared_ptr<ViewController> presentedViewController() const { return presented_.lock(); }
  std::weak_ptr<AdaptivePresentationControllerDelegate> delegate;

 private:
  std::weak_ptr<ViewController> presented_;
};

// A screen's controller: lazy view loading (from the nib registry when it has a nib name),
// the appearance callbacks, child containment and modal presentation. Made with
// `platform::make<T>()`; `didMake()` runs once it is owned.
class ViewController : public Responder {
 public:
  // Animated default transitions (without a custom animator) last this long.
  static constexpr double kDefaultTransitionDuration = 0.3;

  ViewController();
  ~ViewController() override;

  virtual void didMake() {}
  virtual void awakeFromNib() {}

  // The nib the view comes from; set before the view loads.
  void setNib(std::optional<std::string> nibName, std::shared_ptr<Bundle> bundle);
  const std::optional<std::string>& nibName() const { return nibName_; }
  const std::shared_ptr<Bundle>& nibBundle() const { return nibBundle_; }

  // The root view, loaded (then `viewDidLoad`) on first use.
  std::shared_ptr<View> view();
  std::shared_ptr<View> viewIfLoaded() const { return view_; }
  bool isViewLoaded() const { return view_ != nullptr; }
  void loadViewIfNeeded() { (void)view(); }
  // Used by nibs to wire the owner's view outlet, and by `loadView` overrides.
  void setView(std::shared_ptr<View> view);

  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool animated) { (void)animated; }
  virtual void viewDidAppear(bool animated) { (void)animated; }
  virtual void viewWillDisappear(bool animated) { (void)animated; }
  virtual void viewDidDisappear(bool animated) { (void)animated; }
  virtual void viewWillLayoutSubviews() {}
  virtual void viewDidLayoutSubviews() {}
  // The root view is about to take `size` (the device turned). Whoever drives the rotation
  // tells every controller that follows the window's appearance; nothing is forwarded here.
  virtual void viewWillTransitionToSize(
      Size size, const std::shared_ptr<ViewControllerTransitionCoordinator>& coordinator) {
    (void)size, (void)coordinator;
  }

  // Whether the controller is between viewWillAppear and viewWillDisappear.
  bool isAppeared() const {
    return appearance_ == Appearance::appearing || appearance_ == Appearance::appeared;
  }

  // Containment.
  const std::vector<std::shared_ptr<ViewController>>& children() const { return children_; }
  std::shared_ptr<ViewController> parent() const { return parent_.lock(); }
  void addChild(const std::shared_ptr<ViewController>& child);
  void removeFromParent();
  virtual void willMoveToParent(const std::shared_ptr<ViewController>& parent) { (void)parent; }
  virtual void didMoveToParent(const std::shared_ptr<ViewController>& parent) { (void)parent; }
  std::shared_ptr<NavigationController> navigationController() const;
  std::shared_ptr<TabBarController> tabBarController() const;
  const std::shared_ptr<NavigationItem>& navigationItem();
  std::string title;

  // Presentation. `present` refuses (returns false, runs no completion) when the presenter is
  // not in a window, already presents, or a transition runs; the presentation belongs to the
  // outermost parent. `dismiss` on a presented controller, on a child of one or on a presenter
  // dismisses the top presentation; it refuses while a transition runs.
  ModalPresentationStyle modalPresentationStyle = ModalPresentationStyle::automatic;
  std::weak_ptr<ViewControllerTransitioningDelegate> transitioningDelegate;
  bool present(const std::shared_ptr<ViewController>& controller, bool animated,
               std::function<void()> completion = {});
  bool dismiss(bool animated, std::function<void()> completion = {});
  std::shared_ptr<ViewController> presentedViewController() const;
  std::shared_ptr<ViewController> presentingViewController() const;
  bool isBeingPresented() const { return transitioning_ && presentingViewController() != nullptr; }

  // The presentation this controller belongs to: its outermost parent's, made on first use.
  std::shared_ptr<PresentationController> presentationController();

  virtual StatusBarStyle preferredStatusBarStyle() const { return StatusBarStyle::defaultStyle; }
  virtual bool prefersStatusBarHidden() const { return false; }
  bool modalPresentationCapturesStatusBarAppearance = false;

  // Orientation answers; the defaults are a phone's.
  virtual bool shouldAutorotate() const { return true; }
  virtual unsigned supportedInterfaceOrientations() const {
    return InterfaceOrientationMask::allButUpsideDown;
  }
  virtual InterfaceOrientation preferredInterfaceOrientationForPresentation() const {
    return InterfaceOrientation::portrait;
  }

  // Runs one appearance step here and in the children that follow this controller's
  // appearance (used by windows and containers).
  void sendAppearance(bool appearing, bool animated, bool will);
  virtual std::vector<std::shared_ptr<ViewController>> childrenForAppearanceForwarding() const;

  static void setPresentationObserver(std::function<void(const PresentationEvent&)> observer);

 protected:
  // The default transition's wait, for containers that animate their own changes.
  static void afterTransition(bool animated, std::function<void()> done);

 private:
  enum class Appearance { disappeared, appearing, appeared, disappearing };
  std::shared_ptr<ViewController> presentationHost();
  bool keepsPresenterView() const;
  void finishDismissal(const std::shared_ptr<ViewController>& presenter, bool animated,
                       std::function<void()> completion);
  static void notify(PresentationEvent::Kind kind, const ViewController* presenter,
                     const std::shared_ptr<ViewController>& presented, bool animated);

  std::optional<std::string> nibName_;
  std::shared_ptr<Bundle> nibBundle_;
  std::shared_ptr<View> view_;
  Appearance appearance_ = Appearance::disappeared;
  std::vector<std::shared_ptr<ViewController>> children_;
  std::weak_ptr<ViewController> parent_;
  std::shared_ptr<NavigationItem> navigationItem_;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
  std::shared_ptr<View> container_;
  // Where a full-screen presentation took the presenter's view from.
  std::weak_ptr<View> hiddenViewParent_;
  std::size_t hiddenViewIndex_ = 0;
  bool transitioning_ = false;
  std::shared_ptr<PresentationController> presentationController_;
};

}  // namespace ostrel::platform
