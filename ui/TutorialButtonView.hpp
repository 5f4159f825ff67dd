#pragma once

#include <functional>
#include <memory>

#include "platform/ui/Button.hpp"
#include "platform/ui/Label.hpp"
#include "ui/OstrelBaseViews.hpp"

namespace ostrel {

// The "open the guide" button of the capture screens, loaded from the nib "TutorialButtonView".
class TutorialButtonView : public OstrelBaseNibView {
 public:
  using OstrelBaseNibView::OstrelBaseNibView;

  std::shared_ptr<platform::Label> lblTitle;
  std::shared_ptr<platform::Button> button;
  std::function<void()> onShowTutorial;

  void setupView() override;
  virtual void configureTitle();
  void btnTutorialClicked();
};

}  // namespace ostrel
