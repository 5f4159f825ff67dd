#include <gtest/gtest.h>

#include "core/CurrentConfig.hpp"
#include "session/HelpersAlerts.hpp"
#include "tests/uikit/UIKitTest.hpp"
#include "ui/BaseViewController.hpp"
#include "ui/GuideVC.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLMainColorLabel.hpp"
#include "ui/OSLPopupHolderViewController.hpp"
#include "ui/OstrelButton.hpp"
#include "ui/OstrelSwitch.hpp"
#include "ui/TutorialButtonView.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel::uikit_test {
namespace {

class PlainStepScreen : public BaseViewController {};

// The appearance is a public field the host may clear; nothing that reads it may fall over.
class NullAppearanceTest : public UIKitTest {};

TEST_F(NullAppearanceTest, EveryWidgetAndAlertTakesTheDefaultColours) {
  config->appearance = nullptr;
  const OSLAppearance defaults;
  const Color main = colorFromHex(defaults.mainColor);
  const Color background = colorFromHex(defaults.backgroundColor);

  auto appearance = currentAppearance();
  ASSERT_TRUE(appearance);
  EXPECT_EQ(appearance->mainColor, defaults.mainColor);
  EXPECT_EQ(appearance->language, defaults.language);
  appearance->withMainColor("FF0000");  // a caller's change stays its own
  EXPECT_EQ(currentAppearance()->mainColor, defaults.mainColor);
  EXPECT_EQ(config->appearance, nullptr) << "the host's field is left as the host set it";

  auto button = make<OstrelButton>(Rect{0, 0, 200, 48});
  button->setIsConfirmButton(true);
  EXPECT_EQ(button->backgroundColor(), main);
  EXPECT_EQ(button->titleColor(ControlState::normal), colorFromHex(defaults.btnTextColor));
  EXPECT_EQ(cornerRadius(*button), defaults.cornerRadiusButton);

  auto toggle = make<OstrelSwitch>(Rect{0, 0, 60, 30});
  toggle->layoutIfNeeded();
  EXPECT_EQ(toggle->switchView->backgroundColor(), main);

  auto label = make<OSLMainColorLabel>(Rect{0, 0, 100, 20});
  label->awakeFromNib();
  EXPECT_EQ(label->textColor(), main);

  auto screen = make<PlainStepScreen>();
  show(screen);
  EXPECT_EQ(screen->view()->backgroundColor(), background);

  auto tutorial = make<TutorialButtonView>(Rect{20, 100, 160, 36});
  screen->view()->addSubview(tutorial);
  ASSERT_TRUE(tutorial->lblTitle);
  EXPECT_EQ(tutorial->lblTitle->textColor(), main);

  auto guide = GuideVC::create(GuideVC::TypeOfGuide::frontId);
  guide->loadViewIfNeeded();
  EXPECT_EQ(guide->viewMain->backgroundColor(), background);

  Helpers::showErrorAlert("Oops", "Broken", {}, screen);
  advance(0.5);
  auto holder = std::dynamic_pointer_cast<OSLPopupHolderViewController>(
      screen->presentedViewController());
  ASSERT_TRUE(holder);
  auto alert = std::dynamic_pointer_cast<OSLAlertVC>(holder->children().at(0));
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->btnConfirm->backgroundColor(), main);

  Helpers::showLoading(screen);
  runUntilIdle();
  EXPECT_EQ(OSLProgressHUD::shared()->colorAnimation, main);
}

}  // namespace
}  // namespace ostrel::uikit_test
