#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/media/Geometry.hpp"
#include "platform/ui/Object.hpp"

namespace ostrel::platform {

class View;

enum class GestureState { possible, began, changed, ended, cancelled, failed };

// Recognisers do not read raw touches here: the input driver (the scripted user in tests)
// moves them through their states, and each move sends the actions to the live targets.
class GestureRecognizer : public Object {
 public:
  using Action = std::function<void(GestureRecognizer&)>;

  // The action runs only while `target` is alive.
  void addTarget(std::weak_ptr<const void> target, Action action);
  template <class T>
  void addTarget(const std::shared_ptr<T>& target,
                 std::function<void(T&, GestureRecognizer&)> action) {
    std::weak_ptr<T> weakTarget = target;
    addTarget(std::weak_ptr<const void>(std::shared_ptr<const void>(target)),
              [weakTarget, action = std::move(action)](GestureRecognizer& r) {
                if (auto strong = weakTarget.lock()) action(*strong, r);
              });
  }

  std::shared_ptr<View> view() const { return view_.lock(); }
  GestureState state() const { return state_; }
  bool isEnabled = true;
  bool cancelsTouchesInView = true;
  bool delaysTouchesEnded = true;
  bool requiresExclusiveTouchType = true;
  // The delegate's "should begin" answer; absent means yes.
  std::function<bool(GestureRecognizer&)> shouldBegin;
  std::weak_ptr<Object> delegate;

  // The last location of the gesture, in `in`'s coordinates (null: window coordinates).
  Point location(const View* in) const;

  // Driver entry: moves to `state` at `locationInWindow` and sends the actions. Beginning (or
  // a discrete recogniser's ending) asks `shouldBegin` first; a refusal fails the gesture
  // without actions. Returns whether actions were sent.
  bool drive(GestureState state, Point locationInWindow);

 private:
  friend class View;
  struct Target {
    std::weak_ptr<const void> owner;
    Action action;
  };
  std::weak_ptr<View> view_;
  GestureState state_ = GestureState::possible;
  Point location_;
  std::vector<Target> targets_;
};

class TapGestureRecognizer : public GestureRecognizer {
 public:
  int numberOfTapsRequired = 1;
};

class PanGestureRecognizer : public GestureRecognizer {
 public:
  // A translation is a displacement, the same in every view of these hierarchies.
  Point translation(const View* in) const {
    (void)in;
    return translation_;
  }
  void setTranslation(Point translation, const View* in) {
    (void)in;
    translation_ = translation;
  }
  Point velocity(const View* in) const {
    (void)in;
    return velocity_;
  }
  void setVelocity(Point velocity) { velocity_ = velocity; }

 private:
  Point translation_;
  Point velocity_;
};

}  // namespace ostrel::platform
