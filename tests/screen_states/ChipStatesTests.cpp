#include "core/Helpers.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/ui/ScrollView.hpp"
#include "scanner/OSLScanMRZVC.hpp"
#include "testing/FacePhotographs.hpp"
#include "testing/UserJourney.hpp"
#include "tests/chip_screens/ChipScreensTest.hpp"
#include "tests/screen_states/StatesTest.hpp"
#include "ui/OstrelButton.hpp"

namespace ostrel::screen_states_test {
namespace {

using testing::ScriptedReply;

std::string sampleZone() {
  std::string zone;
  for (const auto& line : testing::samplePerson().td1Zone()) zone += (zone.empty() ? "" : "\n") + line;
  return zone;
}

// Each checklist item whole, and set apart from the next one as clearly as one-line items are
// (12 points between their letters; an item's own lines are 2 to 3 points apart).
void expectChecklistClear(const Image& picture, const OSLScanNFCVC& screen) {
  std::optional<Rect> above;
  for (const auto& item : screen.listLblCheckList) {
    if (item->isHidden()) continue;
    EXPECT_TRUE(drawnWhole(picture, *item));
    auto ink = testing::drawnText(picture, *item, 0).onScreen;
    ASSERT_TRUE(ink);
    if (above) {
      EXPECT_GE(ink->minY() - above->maxY(), 12)
          << "\"" << item->text().value_or("") << "\" crowds the item above it";
    }
    above = ink;
  }
}

class ChipStates : public Drawn<chip_screens_test::ChipScreenTest> {
 protected:
  // The camera of the zone scanner sees the card's back held up.
  explicit ChipStates(const std::string& language = "vi") : Drawn(language) {
    installCameras(testing::sampleDocumentPictures().back);
  }

  std::shared_ptr<OSLScanNFCVC> openChip(const OSLFlowType& flow) {
    auto screen = open(flow);
    screen->onNext = [log = heard] { log->push_back("next"); };
    settle();
    return screen;
  }
  // Scrolls the first scroll view under `root` to the end of its content.
  static void scrollToEnd(const std::shared_ptr<View>& root) {
    auto scroll = findView<ScrollView>(root);
    ASSERT_TRUE(scroll) << "nothing scrolls";
    const double end = scroll->contentSize().height - scroll->bounds().height();
    scroll->setContentOffset({0, std::max(0.0, end)});
  }
};

TEST_F(ChipStates, TheChipScreenWaitingReadingTimedOutAndWithoutNFC) {
  config->scanNFCTimeoutSeconds = 5;
  backend->setDetectionDelay(std::nullopt);  // the card never comes near
  auto screen = openChip(OSLFlowType::nfc_ekyc(sampleZone()));
  auto ready = take("scan_nfc", "ready");
  EXPECT_TRUE(drawnWhole(*ready, *screen->lblTitle));
  expectChecklistClear(*ready, *screen);

  user().tap(screen->btnScanNFC);
  advance(1);
  runUntilIdle();
  ASSERT_TRUE(screen->state.isWaitingProcess);
  take("scan_nfc", "reading");
  screen->state.nfcReader->readerSession->cancelByUser();
  advance(OSLScanNFCVC::kAfterReadDelay);
  runUntilIdle();

  // The countdown runs out: the skip button comes.
  advance(6);
  runUntilIdle();
  ASSERT_FALSE(screen->btnSkip->isHidden());
  auto timedOut = take("scan_nfc", "timed_out");
  EXPECT_TRUE(drawnWhole(*timedOut, *screen->btnSkip->titleLabel()));
  endSession();

  backend->setReadingAvailable(false);
  screen = openChip(OSLFlowType::nfc_ekyc(sampleZone()));
  ASSERT_FALSE(screen->btnSkip->isHidden());
  ASSERT_FALSE(screen->lblError->isHidden());
  auto skip = take("scan_nfc", "without_nfc_skip");
  EXPECT_TRUE(drawnWhole(*skip, *screen->lblError));
}

class ChipStatesInEnglish : public ChipStates {
 protected:
  ChipStatesInEnglish() : ChipStates("en") {}
};

TEST_F(ChipStatesInEnglish, TheChecklistInEnglish) {
  auto screen = openChip(OSLFlowType::nfc_ekyc(sampleZone()));
  auto ready = take("scan_nfc", "ready_en");
  expectChecklistClear(*ready, *screen);
}

TEST_F(ChipStates, TheChipScreensErrorAlerts) {
  server.setReply("/api/nfc/verify", ScriptedReply::error(400, "Không đọc được chip", 400));
  auto screen = openChip(OSLFlowType::nfc_ekyc(sampleZone()));
  tapScanAndRead(screen);
  advance(OSLScanNFCVC::kAfterReadDelay);
  await("hide loading");
  settle(1);
  ASSERT_TRUE(alert());
  auto failed = take("scan_nfc", "verification_error_alert");
  EXPECT_TRUE(drawnWhole(*failed, *alert()->lblMessage));
  endSession();

  config->scanNFCTimeoutSeconds = 0;
  screen = openChip(OSLFlowType::nfc_only(sampleZone(), "face"));
  settle(1);
  ASSERT_TRUE(alert());
  auto timeOut = take("scan_nfc", "timeout_alert");
  EXPECT_TRUE(drawnWhole(*timeOut, *alert()->lblMessage));
}

TEST_F(ChipStates, TheAntennaGuideWithTheDefaultPicture) {
  const auto picture = bundleImage("ic_scan_nfc_guide");
  ASSERT_TRUE(picture);
  server.setReply("/api/nfc/location",
                  ScriptedReply::json({{"data", {{"image", base64Encode(picture->pngData().value_or(Bytes{}))}}},
                                       {"error", {{"code", 3}}}}));
  Helpers::saveDeviceImage(JSON::object());
  auto screen = openChip(OSLFlowType::nfc_ekyc(sampleZone()));
  auto alone = pictures().look();
  user().tap(screen->guideNFCPositionView);
  advance(1);
  await("hide loading");
  settle(1);
  auto sheet = std::dynamic_pointer_cast<OSLNFCAntennaVC>(screen->presentedViewController());
  ASSERT_TRUE(sheet);
  ASSERT_FALSE(sheet->guideStackView->isHidden()) << "the default picture comes with the guide";
  auto shown = take("nfc_antenna", "default_picture");
  for (const auto& label : {sheet->lblTitle, sheet->guide1Label, sheet->guide2Label}) {
    EXPECT_TRUE(drawnWhole(*shown, *label));
  }
  // The presentation sets the sheet apart from the screen it covers: that screen, above the
  // sheet, is dimmed.
  const Color before = testing::pixelAt(*alone, {10, 10});
  const Color behind = testing::pixelAt(*shown, {10, 10});
  EXPECT_FALSE(behind.isApproximately(before, 0.05)) << "nothing dims the screen behind the sheet";
  // The cancel button in the normal style: a light fill, the main colour for its border and
  // title only.
  const auto& cancel = *sheet->cancleButton;
  const Rect button = cancel.convertRectTo(cancel.bounds(), nullptr);
  EXPECT_TRUE(testing::dominantColor(*shown, button).isApproximately(colorFromHex("#F6F6F9"), 0.03))
      << "the cancel button's fill";
  EXPECT_LT(testing::shareOfColor(*shown, button, mainColor()), 0.25);
  EXPECT_GT(testing::shareOfColor(*shown, button, mainColor()), 0.01) << "border and title";
}

TEST_F(ChipStates, TheZoneScannerPushedOverTheChipScreenCoversIt) {
  config->isQRCodeScanEnabled = false;
  auto screen = openChip(OSLFlowType::nfc_ekyc(std::nullopt));
  user().tap(screen->btnScanNFC);
  runUntilIdle();
  advance(0.1);
  auto navi = screen->navigationController();
  ASSERT_TRUE(navi);
  auto scanner = std::dynamic_pointer_cast<OSLScanMRZVC>(navi->topViewController());
  ASSERT_TRUE(scanner);
  take("scan_mrz", "pushed_over_chip_screen");
  if (screen->view()->superview()) {
    EXPECT_TRUE(hidesBeneath(*screen->view())) << "in the middle of the push";
  }
  settle(1);
  auto shown = take("scan_mrz", "scanning");
  EXPECT_TRUE(coversItsBounds(*scanner->view()));
  ASSERT_FALSE(navi->navigationBar()->isHidden()) << "the scanner shows the bar";
  EXPECT_TRUE(barShowsItems(*shown, *navi->navigationBar(), true, true, true))
      << "back button, title, torch";
  auto guide = labelShowing(scanner->view(), osl_localize("mrz_scan_note"));
  if (guide) {
    EXPECT_TRUE(drawnWhole(*shown, *guide));
  }
}

TEST_F(ChipStates, TheChipResultPushedOverTheChipScreenAndScrolledToItsEnd) {
  config->showResultScreen = true;
  // The chip's record with the sample person's portrait.
  Image face(testing::facePhotographRGBA());
  JSON decision = {{"decision", "APPROVED"},
                   {"details", JSON::array({{{"is_pass", 1}, {"description", "Khớp khuôn mặt"}}})}};
  server.setReply("/api/kyc/confirm",
                  ScriptedReply::data({{"session", "s-1"},
                                       {"decision_detail", decision},
                                       {"nfc_data", testing::samplePerson().chipRecordJSON(base64Encode(
                                                        face.pngData().value_or(Bytes{})))}}));
  auto screen = openChip(OSLFlowType::nfc_only(sampleZone(), std::nullopt));
  tapScanAndRead(screen);
  advance(OSLScanNFCVC::kAfterReadDelay);
  runUntilIdle();
  // Caught as soon as it is pushed, while the chip screen is still beneath it.
  auto navi = screen->navigationController();
  ASSERT_TRUE(navi);
  std::shared_ptr<OSLResultNFCVC> result;
  for (int i = 0; i < 400 && !result; ++i) {
    waitUntil([&] { return std::dynamic_pointer_cast<OSLResultNFCVC>(navi->topViewController()) != nullptr; }, 0.02);
    runUntilIdle();
    result = std::dynamic_pointer_cast<OSLResultNFCVC>(navi->topViewController());
    if (!result) advance(0.02);
  }
  ASSERT_TRUE(result);
  take("result_nfc", "pushed_over_chip_screen");
  if (screen->view()->superview()) {
    EXPECT_TRUE(hidesBeneath(*screen->view())) << "in the middle of the push";
  }
  settle(1);
  auto top = take("result_nfc", "top");
  EXPECT_TRUE(coversItsBounds(*result->view()));
  // The name with its stacked marks, in capitals, in one of the rows.
  const std::string name = testing::samplePerson().printedName;
  auto nameLabel = labelShowing(result->view(), name);
  ASSERT_TRUE(nameLabel) << "no row shows " << name;
  auto onShow = [&] {
    const Rect frame = nameLabel->convertRectTo(nameLabel->bounds(), nullptr);
    return frame.minY() >= 0 && frame.maxY() <= window()->bounds().height();
  };
  const bool nameAtTop = onShow();
  if (nameAtTop) {
    EXPECT_TRUE(drawnWhole(*top, *nameLabel));
  }
  scrollToEnd(result->view());
  settle();
  auto end = take("result_nfc", "scrolled_to_end");
  EXPECT_TRUE(drawnWhole(*end, *result->btnConfirm->titleLabel()));
  if (!nameAtTop) {
    EXPECT_TRUE(drawnWhole(*end, *nameLabel));
  }
}

}  // namespace
}  // namespace ostrel::screen_states_test
