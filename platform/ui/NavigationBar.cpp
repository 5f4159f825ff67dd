#include <algorithm>

#include "platform/foundation/Make.hpp"
#include "platform/ui/Bars.hpp"

namespace ostrel::platform {

namespace {

// The system bar's margins: items sit this far from the bar's edges and from each other.
constexpr double kBarEdgeMargin = 16;
constexpr double kBarItemSpacing = 8;

// How large an item's view is in the bar: its own size when it has one, else what it needs,
// never taller than the bar.
Size barItemSize(const View& view, double barHeight) {
  Size size = view.bounds().size;
  if (size.width <= 0 || size.height <= 0) size = view.sizeThatFits({1e4, barHeight});
  return {std::max(0.0, size.width), std::clamp(size.height, 0.0, barHeight)};
}

}  // namespace

std::shared_ptr<Button> NavigationBar::backButton() const {
  return backButton_ && backButton_->superview().get() == this ? backButton_ : nullptr;
}

void NavigationBar::clearItems() {
  for (auto* side : {&left_, &right_}) {
    for (const auto& shown : *side) {
      if (shown.item->shownView() == shown.view) shown.item->setShownView({});
      if (shown.view->superview().get() == this) shown.view->removeFromSuperview();
    }
    side->clear();
  }
  if (backButton_) backButton_->removeFromSuperview();
  if (titleLabel_) titleLabel_->removeFromSuperview();
}

std::vector<NavigationBar::ShownItem> NavigationBar::showItems(
    const std::vector<std::shared_ptr<BarButtonItem>>& items) {
  std::vector<ShownItem> shown;
  for (const auto& item : items) {
    if (!item || item->systemItem == BarButtonItem::SystemItem::flexibleSpace) continue;
    std::shared_ptr<View> view = item->customView;
    if (view) {
      // A view that already lives elsewhere on the screen stays where its owner put it.
      if (view->superview() && view->superview().get() != this) continue;
    } else {
      if (!item->title && !item->image) continue;
      auto button = make<Button>();
      button->setTitle(item->title, ControlState::normal);
      button->setImage(item->image, ControlState::normal);
      button->setTitleColor(tintColor(), ControlState::normal);
      button->titleLabel()->setFont(Font::systemFont(17, FontWeight::regular));
      button->setEnabled(item->isEnabled);
      std::weak_ptr<BarButtonItem> weakItem = item;
      button->addTarget(
          std::weak_ptr<const void>(item), [weakItem](Control&) {
            if (auto held = weakItem.lock()) held->performAction();
          },
          static_cast<unsigned>(ControlEvent::touchUpInside));
      view = button;
    }
    addSubview(view);
    item->setShownView(view);
    shown.push_back({item, view});
  }
  return shown;
}

void NavigationBar::applyStyle() {
  // No background image is the system's bar; an empty one leaves the bar transparent.
  if (!backgroundImage) {
    Color system = barTintColor.value_or(Color{0.97, 0.97, 0.97, 1});
    if (isTranslucent && !barTintColor) system.alpha = 0.94;
    setBackgroundColor(system);
  } else if (backgroundImage->size().width <= 0 || backgroundImage->size().height <= 0) {
    setBackgroundColor(std::nullopt);
  }
  if (titleLabel_) {
    std::optional<Color> color;
    if (titleTextAttributes) color = titleTextAttributes->foregroundColor;
    titleLabel_->setTextColor(color.value_or(Color::black()));
  }
}

void NavigationBar::showItem(const std::shared_ptr<NavigationItem>& item,
                             const std::string& fallbackTitle, std::function<void()> back,
                             const std::string& backTitle) {
  clearItems();
  applyStyle();
  setNeedsLayout();
  if (!item) return;
  if (!titleLabel_) {
    titleLabel_ = make<Label>();
    titleLabel_->setFont(Font::systemFont(17, FontWeight::semibold));
    titleLabel_->textAlignment = TextAlignment::center;
    titleLabel_->setNumberOfLines(1);
    applyStyle();
  }
  titleLabel_->setText(item->title.value_or(fallbackTitle));
  addSubview(titleLabel_);
  if (back && !item->hidesBackButton && item->leftBarButtonItems.empty()) {
    if (!backButton_) {
      backButton_ = make<Button>();
      backButton_->titleLabel()->setFont(Font::systemFont(17, FontWeight::regular));
    }
    backButton_->removeTargets(this);
    backButton_->addTarget(
        std::weak_ptr<const void>(weak<NavigationBar>()), [back = std::move(back)](Control&) { back(); },
        static_cast<unsigned>(ControlEvent::touchUpInside));
    // The chevron, then the title of the screen it goes back to.
    backButton_->setTitle(backTitle.empty() ? "\u2039" : "\u2039 " + backTitle,
                          ControlState::normal);
    backButton_->setTitleColor(tintColor(), ControlState::normal);
    backButton_->setFrame({});
    addSubview(backButton_);
  }
  left_ = showItems(item->leftBarButtonItems);
  right_ = showItems(item->rightBarButtonItems);
  // Placed at once, so the items can be tapped before the next display pass.
  layoutIfNeeded();
}

void NavigationBar::layoutSubviews() {
  const Rect b = bounds();
  const double h = b.height();
  double leftEnd = kBarEdgeMargin;
  auto place = [&](View& view, double x, Size size) {
    view.setFrame({x, (h - size.height) / 2, size.width, size.height});
  };
  if (auto back = backButton()) {
    Size size = barItemSize(*back, h);
    size.width = std::min(size.width, b.width() / 3);
    place(*back, leftEnd, size);
    leftEnd += size.width + kBarItemSpacing;
  }
  for (const auto& shown : left_) {
    Size size = barItemSize(*shown.view, h);
    place(*shown.view, leftEnd, size);
    leftEnd += size.width + kBarItemSpacing;
  }
  double rightStart = b.width() - kBarEdgeMargin;
  for (const auto& shown : right_) {
    Size size = barItemSize(*shown.view, h);
    rightStart -= size.width;
    place(*shown.view, rightStart, size);
    rightStart -= kBarItemSpacing;
  }
  if (titleLabel_ && titleLabel_->superview().get() == this) {
    // The title stays centred on the bar, between whichever side's items reach further in.
    const double inset = std::max(leftEnd, b.width() - rightStart);
    const double width = std::max(0.0, b.width() - 2 * inset);
    const double height = std::min(h, titleLabel_->sizeThatFits({width, h}).height);
    titleLabel_->setFrame({inset, (h - height) / 2, width, height});
  }
}

}  // namespace ostrel::platform
