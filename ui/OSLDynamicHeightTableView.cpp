#include "ui/OSLDynamicHeightTableView.hpp"

namespace ostrel {

using namespace platform;

void OSLDynamicHeightTableView::setContentSize(Size size) {
  TableView::setContentSize(size);
  invalidateIntrinsicContentSize();
}

Size OSLDynamicHeightTableView::intrinsicContentSize() const {
  // Laying out is what the platform does here before answering; it changes no size we read.
  const_cast<OSLDynamicHeightTableView*>(this)->layoutIfNeeded();
  return {kNoIntrinsicMetric, contentSize().height};
}

}  // namespace ostrel
