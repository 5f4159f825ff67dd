#pragma once

#include <memory>
#include <string>

#include "platform/ui/Label.hpp"

namespace ostrel {

// A capsule with a one-line message near the top of a screen. Made in code only. The caller
// adds it to a view and calls `show()` (or hands the view to `show(in:)`), then
// `hide(afterDelay:)`; the superview keeps it until the hide removes it.
class OstrelToast : public platform::View {
 public:
  explicit OstrelToast(const std::string& message);
  void didMake() override;

  std::shared_ptr<platform::Label> messageLabel;

  // Lays the toast out at the top of its superview and styles it; nothing without one.
  virtual void show();
  // Adds the toast to `view` when it is not in it yet, then `show()`.
  void show(const std::shared_ptr<platform::View>& view);
  // After `delay` seconds on the main queue: shrinks it slightly and moves it up over 0.2 s,
  // then removes it. A toast that is gone by then is left alone.
  void hide(double delay);
  virtual void applyStyle();

  void layoutSubviews() override;
  void traitCollectionDidChange(platform::UserInterfaceStyle previous) override;

  static constexpr double kMinHeight = 58;
  static constexpr double kMinWidth = 150;
  static constexpr double kSideMargin = 10;
  static constexpr double kLabelVertical = 10;
  static constexpr double kLabelHorizontal = 18;

 private:
  // The frame the constraints of `show()` give in the current superview.
  void layOutInSuperview();
  std::string message_;
  bool shown_ = false;
};

}  // namespace ostrel
