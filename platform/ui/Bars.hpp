#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/Image.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/Control.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/View.hpp"

namespace ostrel::platform {

// A bar item: a custom view, or a title/image with a (weakly held) action.
class BarButtonItem : public Object {
 public:
  // The platform's own items, drawn and titled by the system.
  enum class SystemItem { done, cancel, flexibleSpace };

  BarButtonItem() = default;
  explicit BarButtonItem(std::shared_ptr<View> customView) : customView(std::move(customView)) {}
  explicit BarButtonItem(SystemItem item) : systemItem(item) {}

  std::shared_ptr<View> customView;
  std::optional<SystemItem> systemItem;
  int tag = 0;
  std::optional<std::string> title;
  ImagePtr image;
  bool isEnabled = true;
  void setAction(std::weak_ptr<const void> target, std::function<void(BarButtonItem&)> action) {
    target_ = std::move(target);
    action_ = std::move(action);
  }
  // What a tap on an item without a custom view does.
  void performAction() {
    if (isEnabled && action_ && !target_.expired()) action_(*this);
  }
  // The view a navigation bar shows the item with (its custom view or a button of the bar's);
  // null while no bar shows it.
  std::shared_ptr<View> shownView() const { return shownView_.lock(); }
  void setShownView(std::weak_ptr<View> view) { shownView_ = std::move(view); }

 private:
  std::weak_ptr<View> shownView_;
  std::weak_ptr<const void> target_;
  std::function<void(BarButtonItem&)> action_;
};

class NavigationItem {
 public:
  std::optional<std::string> title;
  bool hidesBackButton = false;
  void setHidesBackButton(bool hides, bool animated) {
    (void)animated;
    hidesBackButton = hides;
  }
  std::vector<std::shared_ptr<BarButtonItem>> rightBarButtonItems;
  std::vector<std::shared_ptr<BarButtonItem>> leftBarButtonItems;
  std::shared_ptr<BarButtonItem> rightBarButtonItem() const {
    return rightBarButtonItems.empty() ? nullptr : rightBarButtonItems.front();
  }
  void setRightBarButtonItem(std::shared_ptr<BarButtonItem> item) {
    rightBarButtonItems.clear();
    if (item) rightBarButtonItems.push_back(std::move(item));
  }
};

// Text attributes a bar applies to its title.
struct TextAttributes {
  std::optional<Color> foregroundColor;
  bool operator==(const TextAttributes&) const = default;
};

enum class BarMetrics { defaultMetrics, compact };

class NavigationBar : public View {
 public:
  using View::View;
  // An absent image is the system background; an empty image makes the bar transparent.
  ImagePtr backgroundImage;
  ImagePtr shadowImage;
  bool isTranslucent = true;
  std::optional<Color> barTintColor;
  // Absent: the system's title style.
  std::optional<TextAttributes> titleTextAttributes;
  void setBackgroundImage(ImagePtr image, BarMetrics metrics) {
    (void)metrics;
    backgroundImage = std::move(image);
  }

  // Shows `item`: its title (`fallbackTitle`, the controller's title, when it has none), its
  // left and right items, and a back button running `back` when `back` is given and the item
  // neither hides it nor has left items of its own. A null item empties the bar. Items are
  // views of the bar, so they are drawn and tapped like any other view.
  void showItem(const std::shared_ptr<NavigationItem>& item, const std::string& fallbackTitle,
                std::function<void()> back, const std::string& backTitle = {});
  const std::shared_ptr<Label>& titleLabel() const { return titleLabel_; }
  // The back button on show, if any.
  std::shared_ptr<Button> backButton() const;
  void layoutSubviews() override;

 private:
  struct ShownItem {
    std::shared_ptr<BarButtonItem> item;
    std::shared_ptr<View> view;
  };
  void clearItems();
  std::vector<ShownItem> showItems(const std::vector<std::shared_ptr<BarButtonItem>>& items);
  void applyStyle();

  std::shared_ptr<Label> titleLabel_;
  std::shared_ptr<Button> backButton_;
  std::vector<ShownItem> left_;
  std::vector<ShownItem> right_;
};

class Toolbar : public View {
 public:
  using View::View;
  bool isTranslucent = true;
  std::optional<Color> barTintColor;

  const std::vector<std::shared_ptr<BarButtonItem>>& items() const { return items_; }
  void setItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated) {
    (void)animated;
    items_ = std::move(items);
  }
  // A bar's standard height at the width it has.
  Size sizeThatFits(Size size) const override { return {size.width, 44}; }

 private:
  std::vector<std::shared_ptr<BarButtonItem>> items_;
};

enum class BlurEffectStyle { light, dark, regular, prominent, extraLight };

// A view that blurs what lies behind it; the effect is data here.
class VisualEffectView : public View {
 public:
  explicit VisualEffectView(std::optional<BlurEffectStyle> effect = std::nullopt)
      : effect(effect) {}
  std::optional<BlurEffectStyle> effect;
};

class DatePicker : public Control {
 public:
  enum class Mode { time, date, dateAndTime };
  enum class Style { automatic, wheels, compact, inline_ };
  using Control::Control;
  double date = 0;  // seconds since 1970
  std::optional<double> minimumDate;
  std::optional<double> maximumDate;
  Mode datePickerMode = Mode::dateAndTime;
  Style preferredDatePickerStyle = Style::automatic;
  std::string localeIdentifier;
  // The zone the wheels show the date in; empty is the device's.
  std::string timeZoneIdentifier;
};

}  // namespace ostrel::platform
