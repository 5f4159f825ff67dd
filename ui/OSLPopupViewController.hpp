#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/Bars.hpp"
#include "platform/ui/ViewController.hpp"

namespace ostrel {

// A full-screen controller presented over the current screen whose card springs in from a
// small scale and shrinks away on dismissal. It is its own transitioning delegate and animator:
// presenters set `transitioningDelegate` to the popup itself.
class OSLPopupViewController : public platform::ViewController,
                               public platform::ViewControllerTransitioningDelegate,
                               public platform::ViewControllerAnimatedTransitioning {
 public:
  static constexpr double kTransitionDuration = 0.3;
  static constexpr double kCardScale = 0.3;

  OSLPopupViewController();

  // Laid behind the presented view during the transition, removed after the dismissal.
  std::shared_ptr<platform::VisualEffectView> visualEffectBlurView;
  bool isPresenting = false;
  // The views that scale and fade during the transitions.
  std::vector<std::shared_ptr<platform::View>> popViews;
  bool canDismissOnTap = false;
  std::function<void(bool)> onDismiss;
  bool hasChange = false;

  void viewDidLoad() override;
  void viewDidLayoutSubviews() override;
  void viewWillDisappear(bool animated) override;
  // The backdrop's tap: drops the keyboard, and dismisses only when `canDismissOnTap`.
  virtual void dissmissThisPopup();
  // The view behind every other subview that takes the backdrop taps.
  const std::shared_ptr<platform::View>& backdropTapView() const { return backdrop_; }

  std::shared_ptr<platform::ViewControllerAnimatedTransitioning> animationControllerForPresented(
      const std::shared_ptr<platform::ViewController>& presented,
      const std::shared_ptr<platform::ViewController>& presenting,
      const std::shared_ptr<platform::ViewController>& source) override;
  std::shared_ptr<platform::ViewControllerAnimatedTransitioning> animationControllerForDismissed(
      const std::shared_ptr<platform::ViewController>& dismissed) override;
  double transitionDuration(const std::shared_ptr<platform::TransitionContext>& context) override;
  void animateTransition(const std::shared_ptr<platform::TransitionContext>& context) override;

 protected:
  virtual void animatePresentation(const std::shared_ptr<platform::TransitionContext>& context);
  virtual void animateDismissal(const std::shared_ptr<platform::TransitionContext>& context);

 private:
  std::shared_ptr<platform::View> backdrop_;
};

}  // namespace ostrel
