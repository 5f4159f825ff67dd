#pragma once

#include "platform/ui/ScrollView.hpp"

namespace ostrel {

// A table as tall as its rows: its intrinsic height is its content height (after a layout), and
// every content-size change invalidates it, so the enclosing scroll view does the scrolling.
class OSLDynamicHeightTableView : public platform::TableView {
 public:
  using TableView::TableView;
  void setContentSize(platform::Size size) override;
  platform::Size intrinsicContentSize() const override;
};

}  // namespace ostrel
