#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/ui/LayoutConstraint.hpp"
#include "ui/OSLPopupViewController.hpp"

namespace ostrel {

// The popup every alert of the library is shown in: it embeds `mainPopVC` in a card
// (`mainPopView`) whose leading and trailing margins, and optional top margin, the presenter
// sets before the view loads. Loaded from the nib "OSLPopupHolderViewController".
class OSLPopupHolderViewController : public OSLPopupViewController {
 public:
  // Loaded from its nib, holding `child` with leading and trailing margins of 20 and no fixed
  // top, set to present over full screen through its own animations.
  static std::shared_ptr<OSLPopupHolderViewController> makeHolder(
      std::shared_ptr<platform::ViewController> child);

  std::shared_ptr<platform::View> mainPopView;
  std::shared_ptr<platform::LayoutConstraint> fixedContrainTop;
  std::shared_ptr<platform::LayoutConstraint> fixedContrainLeading;
  std::shared_ptr<platform::LayoutConstraint> fixedContrainTrailing;
  double fixedLeading = 20;
  double fixedTrailing = 20;
  std::optional<double> fixedTop;
  std::shared_ptr<platform::ViewController> mainPopVC;

  void viewDidLoad() override;
  platform::StatusBarStyle preferredStatusBarStyle() const override;

  // The visual formats the child was pinned with (horizontal, vertical), for inspection.
  const std::pair<std::string, std::string>& pinFormats() const { return pinFormats_; }

 private:
  void pin(const std::shared_ptr<platform::View>& child,
           const std::shared_ptr<platform::View>& container, platform::EdgeInsets insets);
  std::pair<std::string, std::string> pinFormats_;
};

// The decimal text of an inset as visual formats write it: "0.0", "20.0", "7.5".
std::string visualFormatNumber(double value);

}  // namespace ostrel
