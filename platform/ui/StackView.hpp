#pragma once

#include <memory>
#include <vector>

#include "platform/ui/View.hpp"

namespace ostrel::platform {

enum class LayoutConstraintAxis { horizontal = 0, vertical = 1 };
enum class StackViewAlignment { fill, leading, center, trailing };

// Lays its arranged subviews out one after the other along its axis, `spacing` apart, each
// at its intrinsic size (nothing here solves constraints); across the axis they are placed by
// `alignment` (`fill` stretches them to the stack's breadth).
class StackView : public View {
 public:
  explicit StackView(Rect frame = {}) : View(frame) {}

  const std::vector<std::shared_ptr<View>>& arrangedSubviews() const { return arranged_; }
  // Also adds the view as a subview.
  void addArrangedSubview(const std::shared_ptr<View>& view);

  LayoutConstraintAxis axis = LayoutConstraintAxis::horizontal;
  StackViewAlignment alignment = StackViewAlignment::fill;
  double spacing = 0;

  void layoutSubviews() override;
  Size intrinsicContentSize() const override;

 private:
  std::vector<std::shared_ptr<View>> arranged_;
};

}  // namespace ostrel::platform
