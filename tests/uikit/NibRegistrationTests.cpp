#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/IDCaptureVC.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "testing/ScriptedUser.hpp"
#include "ui/GuideVC.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLPopupHolderViewController.hpp"
#include "ui/ResourceBundle.hpp"
#include "ui/TutorialButtonView.hpp"

namespace ostrel {
namespace {

// Nibs register themselves from their class's own source file; a registration the linker
// dropped would leave a screen silently empty. Every library class that loads from a nib is
// listed here and must find its nib through the real creation path.
class NibRegistrationTest : public testing::UITest {};

TEST_F(NibRegistrationTest, EveryNibLoadedLibraryClassFindsItsNib) {
  std::vector<std::string> reports;
  platform::setDebugSink([&](std::string_view line) { reports.emplace_back(line); });

  auto alert = OSLAlertVC::newVC(OSLAlertVC::TypeOfAlert::generalError);
  auto holder = OSLPopupHolderViewController::makeHolder(alert);
  holder->loadViewIfNeeded();
  alert->loadViewIfNeeded();
  auto guide = GuideVC::create(GuideVC::TypeOfGuide::frontId);
  guide->loadViewIfNeeded();
  auto tutorial = platform::make<TutorialButtonView>();
  auto capture = IDCaptureVC::create(true);
  capture->loadViewIfNeeded();

  for (const std::string& line : reports) {
    EXPECT_EQ(line.find("not registered"), std::string::npos) << line;
  }
  const auto names = libraryNibNames();
  for (const char* name :
       {"OSLAlertVC", "OSLPopupHolderViewController", "GuideVC", "TutorialButtonView",
        "IDCaptureVC"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
  EXPECT_FALSE(alert->view()->subviews().empty());
  EXPECT_FALSE(guide->view()->subviews().empty());
  EXPECT_FALSE(tutorial->subviews().empty());
  EXPECT_TRUE(capture->viewCamera && capture->cameraMarkView && capture->captureButton &&
              capture->topTargetViewCT && capture->cardImageView)
      << "the capture screen's outlets are in place";
}

}  // namespace
}  // namespace ostrel
