#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Date.hpp"
#include "platform/ui/View.hpp"

namespace ostrel::platform {

struct AnimationChange {
  std::weak_ptr<View> view;
  const View* viewIdentity = nullptr;
  std::string property;
  AnimatedValue from;
  AnimatedValue to;
};

struct SpringParameters {
  double dampingRatio = 1;
  double initialVelocity = 0;
};

// What one `View::transition` call replaced.
struct TransitionRecord {
  ViewTransition kind = ViewTransition::none;
  bool showHideTransitionViews = false;
  std::weak_ptr<View> from;
  std::weak_ptr<View> to;
  const View* fromIdentity = nullptr;
  const View* toIdentity = nullptr;
};

// One `View::animate` (or `View::transition`) call: its timing and what its block changed.
struct AnimationRecord {
  double duration = 0;
  double delay = 0;
  AnimationOptions options;
  std::optional<SpringParameters> spring;
  TimeInterval startedAt = 0;
  std::vector<AnimationChange> changes;
  bool completed = false;
  // Set for a transition.
  std::optional<TransitionRecord> transition;

  // The last change of `property` on `view`, if the block made one.
  const AnimationChange* change(const View* view, const std::string& property) const;
  bool touched(const View* view) const;
};

// What the animation blocks changed, in the order the blocks ran. Kept per process; tests
// clear it between cases.
class AnimationLog {
 public:
  static AnimationLog& shared();

  const std::vector<std::shared_ptr<AnimationRecord>>& records() const { return records_; }
  void clear() { records_.clear(); }

  // Called by the view setters; records only inside an animation block.
  void noteChange(View& view, const char* property, AnimatedValue from, AnimatedValue to);

  // Used by View::animate.
  std::shared_ptr<AnimationRecord> begin(double duration, double delay, AnimationOptions options,
                                         std::optional<SpringParameters> spring);
  void end();
  void beginWithoutAnimation() { ++suppressed_; }
  void endWithoutAnimation() { --suppressed_; }
  bool isAnimating() const { return !open_.empty() && suppressed_ == 0; }

 private:
  std::vector<std::shared_ptr<AnimationRecord>> records_;
  std::vector<std::shared_ptr<AnimationRecord>> open_;
  int suppressed_ = 0;
};

}  // namespace ostrel::platform
