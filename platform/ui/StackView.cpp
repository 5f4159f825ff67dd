#include "platform/ui/StackView.hpp"

#include <algorithm>

namespace ostrel::platform {

namespace {

Size measured(const View& view) {
  Size size = view.intrinsicContentSize();
  if (size.width == kNoIntrinsicMetric) size.width = view.bounds().width();
  if (size.height == kNoIntrinsicMetric) size.height = view.bounds().height();
  return size;
}

}  // namespace

void StackView::addArrangedSubview(const std::shared_ptr<View>& view) {
  if (!view) return;
  arranged_.push_back(view);
  addSubview(view);
  setNeedsLayout();
}

void StackView::layoutSubviews() {
  const bool vertical = axis == LayoutConstraintAxis::vertical;
  const double breadth = vertical ? bounds().width() : bounds().height();
  double along = 0;
  for (const auto& view : arranged_) {
    if (view->isHidden()) continue;
    Size size = measured(*view);
    double length = vertical ? size.height : size.width;
    double extent = alignment == StackViewAlignment::fill
                        ? breadth
                        : std::min(breadth, vertical ? size.width : size.height);
    double offset = 0;
    if (alignment == StackViewAlignment::center) offset = (breadth - extent) / 2;
    if (alignment == StackViewAlignment::trailing) offset = breadth - extent;
    view->setFrame(vertical ? Rect{offset, along, extent, length}
                            : Rect{along, offset, length, extent});
    along += length + spacing;
  }
}

Size StackView::intrinsicContentSize() const {
  const bool vertical = axis == LayoutConstraintAxis::vertical;
  double along = 0, across = 0;
  int shown = 0;
  for (const auto& view : arranged_) {
    if (view->isHidden()) continue;
    Size size = measured(*view);
    along += vertical ? size.height : size.width;
    across = std::max(across, vertical ? size.width : size.height);
    ++shown;
  }
  if (shown > 1) along += spacing * (shown - 1);
  return vertical ? Size{across, along} : Size{along, across};
}

}  // namespace ostrel::platform
