#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/View.hpp"

namespace ostrel::platform {

// Control events (bit set).
enum ControlEvent : unsigned {
  touchDown = 1u << 0,
  touchDragInside = 1u << 2,
  touchUpInside = 1u << 6,
  touchUpOutside = 1u << 7,
  touchCancel = 1u << 8,
  valueChanged = 1u << 12,
  primaryActionTriggered = 1u << 13,
  editingDidBegin = 1u << 16,
  editingChanged = 1u << 17,
  editingDidEnd = 1u << 18,
  editingDidEndOnExit = 1u << 19,
};

enum class ControlState { normal, highlighted, disabled, selected };

// A view that turns touches into events sent to (weakly held) targets. Touches drive
// tracking: began → highlighted + beginTracking + touchDown; moved → continueTracking;
// ended → endTracking + touchUpInside (or outside); cancelled → cancelTracking + touchCancel.
class Control : public View {
 public:
  using View::View;
  using Action = std::function<void(Control&)>;

  void addTarget(std::weak_ptr<const void> target, Action action, unsigned events);
  template <class T>
  void addTarget(const std::shared_ptr<T>& target, std::function<void(T&, Control&)> action,
                 unsigned events) {
    std::weak_ptr<T> weakTarget = target;
    addTarget(
        std::weak_ptr<const void>(std::shared_ptr<const void>(target)),
        [weakTarget, action = std::move(action)](Control& c) {
          if (auto strong = weakTarget.lock()) action(*strong, c);
        },
        events);
  }
  void removeTargets(const void* target);
  // Number of live actions registered for `event`.
  std::size_t actionCount(unsigned event) const;
  virtual void sendActions(unsigned events);

  bool isEnabled() const { return enabled_; }
  virtual void setEnabled(bool enabled) { enabled_ = enabled; }
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected) { selected_ = selected; }
  ControlState state() const;
  bool isTracking() const { return tracking_; }

  virtual bool beginTracking(const Touch& touch) {
    (void)touch;
    return true;
  }
  virtual bool continueTracking(const Touch& touch) {
    (void)touch;
    return true;
  }
  virtual void endTracking(const Touch& touch) { (void)touch; }
  virtual void cancelTracking() {}

  void touchesBegan(const Touch& touch) override;
  void touchesMoved(const Touch& touch) override;
  void touchesEnded(const Touch& touch) override;
  void touchesCancelled(const Touch& touch) override;

  std::shared_ptr<View> hitTest(Point point) override;

 private:
  struct Target {
    std::weak_ptr<const void> owner;
    Action action;
    unsigned events;
  };
  std::vector<Target> targets_;
  bool enabled_ = true;
  bool highlighted_ = false;
  bool selected_ = false;
  bool tracking_ = false;
};

// Haptic taps, recorded by the application ("impact.heavy", ...).
class ImpactFeedbackGenerator {
 public:
  enum class Style { light, medium, heavy, soft, rigid };
  explicit ImpactFeedbackGenerator(Style style = Style::medium) : style_(style) {}
  void prepare() {}
  void impactOccurred();

 private:
  Style style_;
};

}  // namespace ostrel::platform
