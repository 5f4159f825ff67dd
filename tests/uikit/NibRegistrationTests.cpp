#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/IDCaptureVC.hpp"
#include "liveness/OSLFaceVC.hpp"
#include "liveness/OSLGuideLivenessAdvanceVC.hpp"
#include "nfcscan/OSLNFCAntennaVC.hpp"
#include "nfcscan/OSLResultNFCVC.hpp"
#include "nfcscan/OSLScanNFCVC.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/Nib.hpp"
#include "results/ConfirmViewController.hpp"
#include "results/InforCell.hpp"
#include "results/OSLResulteKYCVC.hpp"
#include "results/OSLSimpleResultVC.hpp"
#include "testing/ScriptedUser.hpp"
#include "ui/GuideVC.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLPopupHolderViewController.hpp"
#include "ui/OstrelBaseViews.hpp"
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
  auto livenessAdvance = loadFromNib<OSLGuideLivenessAdvanceVC>();
  livenessAdvance->loadViewIfNeeded();
  // The confirmation screen asks the server for its data once loaded; its nib alone is enough.
  auto confirm = loadFromNib<ConfirmViewController>();
  auto confirmNib = platform::Nib::load(*confirm->nibName(), confirm->nibBundle());
  ASSERT_TRUE(confirmNib);
  EXPECT_FALSE(confirmNib->instantiate(confirm).empty());
  auto ekycResult = OSLResulteKYCVC::create(nullptr);
  ekycResult->loadViewIfNeeded();
  auto simpleResult = OSLSimpleResultVC::create(nullptr);
  simpleResult->loadViewIfNeeded();
  auto cellNib = platform::Nib::load("InforCell", resourceBundle());
  ASSERT_TRUE(cellNib);
  auto cellObjects = cellNib->instantiate(nullptr);
  ASSERT_FALSE(cellObjects.empty());
  EXPECT_TRUE(std::dynamic_pointer_cast<InforCell>(cellObjects.front()));
  auto capture = IDCaptureVC::create(true);
  capture->loadViewIfNeeded();
  auto scanNfc = OSLScanNFCVC::create(OSLFlowType::nfc_ekyc("no zone"));
  scanNfc->loadViewIfNeeded();
  auto resultNfc = OSLResultNFCVC::create(nullptr);
  resultNfc->loadViewIfNeeded();
  // The antenna sheet asks the server for its picture once loaded; its nib alone is enough.
  auto antenna = loadFromNib<OSLNFCAntennaVC>();
  auto antennaNib = platform::Nib::load(*antenna->nibName(), antenna->nibBundle());
  ASSERT_TRUE(antennaNib);
  EXPECT_FALSE(antennaNib->instantiate(antenna).empty());
  // The face screen starts its camera once loaded; its nib alone is enough here.
  auto face = platform::make<OSLFaceVC>();
  auto faceNib = platform::Nib::load("OSLFaceVC", resourceBundle());
  ASSERT_TRUE(faceNib);
  EXPECT_FALSE(faceNib->instantiate(face).empty());

  for (const std::string& line : reports) {
    EXPECT_EQ(line.find("not registered"), std::string::npos) << line;
  }
  const auto names = libraryNibNames();
  for (const char* name :
       {"OSLAlertVC", "OSLPopupHolderViewController", "GuideVC", "TutorialButtonView",
        "OSLGuideLivenessAdvanceVC", "ConfirmViewController", "OSLResulteKYCVC",
        "OSLSimpleResultVC", "InforCell", "IDCaptureVC", "OSLScanNFCVC", "OSLNFCAntennaVC",
        "OSLResultNFCVC", "OSLFaceVC"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
  EXPECT_FALSE(alert->view()->subviews().empty());
  EXPECT_FALSE(guide->view()->subviews().empty());
  EXPECT_FALSE(tutorial->subviews().empty());
  EXPECT_FALSE(livenessAdvance->view()->subviews().empty());
  EXPECT_GE(livenessAdvance->checkListLabel.size(), 4u);
  EXPECT_EQ(livenessAdvance->checkmarkIcons.size(), livenessAdvance->checkListLabel.size());
  EXPECT_GE(livenessAdvance->rejectImages.size(), 3u);
  EXPECT_EQ(livenessAdvance->rejectSubTitles.size(), livenessAdvance->rejectImages.size());
  EXPECT_TRUE(confirm->confirmButton);
  EXPECT_TRUE(ekycResult->ocrTableView);
  EXPECT_TRUE(simpleResult->optionRejectTableView);
  EXPECT_TRUE(capture->viewCamera && capture->cameraMarkView && capture->captureButton &&
              capture->topTargetViewCT && capture->cardImageView)
      << "the capture screen's outlets are in place";
  EXPECT_TRUE(scanNfc->lblTitle && scanNfc->lblError && scanNfc->lblCheckListTitle &&
              scanNfc->btnSkip && scanNfc->btnScanNFC && scanNfc->stvTutorial &&
              scanNfc->guideNFCPositionView && scanNfc->antennaLabel && scanNfc->nfcLocationIcon);
  EXPECT_GE(scanNfc->listLblCheckList.size(), static_cast<std::size_t>(scanNfc->state.numberOfGuide));
  EXPECT_EQ(scanNfc->checkmarkIcons.size(), scanNfc->listLblCheckList.size());
  EXPECT_TRUE(resultNfc->tblInfor && resultNfc->lblInfor && resultNfc->faceNfcTitleLabel &&
              resultNfc->lblResult && resultNfc->btnConfirm && resultNfc->lblScreenName &&
              resultNfc->faceNfcView && resultNfc->nfcInfoView && resultNfc->faceNfcImageView &&
              resultNfc->statusFaceImageView && resultNfc->completeBgImageView);
  EXPECT_TRUE(resultNfc->tblInfor->numberOfRows && resultNfc->tblInfor->cellForRow)
      << "the table's source is connected in the nib";
  EXPECT_TRUE(antenna->viewDismiss && antenna->lblTitle && antenna->viewContent &&
              antenna->guideStackView && antenna->guide1Label && antenna->guide2Label &&
              antenna->imgDevice && antenna->viewBottom && antenna->cancleButton);
  EXPECT_TRUE(face->titleLabel && face->descriptionLabel && face->targetCameraView &&
              face->cameraView && face->cameraMarkView && face->previewImageView &&
              face->heightIconCT && face->guideLabel && face->timeRemainingLabel &&
              face->captureButton && face->continueButton && face->retryButton &&
              face->guideIcon && face->tutorialView && face->topTargetViewLowCT)
      << "the face screen's outlets are in place";
  EXPECT_EQ(face->cameraMarkView->frame(), face->cameraView->frame())
      << "the mask lies exactly over the camera";
  EXPECT_EQ(face->cameraMarkView->superview(), face->cameraView->superview());
}

}  // namespace
}  // namespace ostrel
