#include "model/OSLFrontResult.hpp"
#include "platform/foundation/Base64.hpp"
#include "testing/FacePhotographs.hpp"
#include "model/OSLNfcModel.hpp"
#include "platform/ui/ScrollView.hpp"
#include "results/InforCell.hpp"
#include "session/HelpersAlerts.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/UserJourney.hpp"
#include "tests/results/ResultsTest.hpp"
#include "tests/screen_states/StatesTest.hpp"

namespace ostrel::screen_states_test {
namespace {

using testing::ScriptedReply;

// The tallest blank band the result screens may show between two of their parts (their
// spacing is 16 to 20 points; a hidden box of its own height would leave far more).
constexpr double kMostBlank = 60;

std::shared_ptr<OstrelResult> approvedResult(bool withChip) {
  JSON data = {{"session", "s-1"},
               {"decision_detail",
                {{"decision", "APPROVED"},
                 {"details", JSON::array({{{"is_pass", 1}, {"description", "Face matches"}}})}}}};
  const auto& person = testing::samplePerson();
  if (withChip) {
    Image face(testing::facePhotographRGBA());
    data["nfc_data"] = person.chipRecordJSON(base64Encode(face.pngData().value_or(Bytes{})));
  }
  auto result = std::make_shared<OstrelResult>(
      data, std::make_shared<OSLFrontResult>(JSON{{"fields", person.cardFieldsJSON()}}),
      std::make_shared<OSLBackResult>(), std::make_shared<OSLConfirmResult>(data));
  if (withChip) result->nfcModel = OSLNfcModel::decode(data["nfc_data"]);
  return result;
}

class ResultStates : public Drawn<results_test::ResultsTest> {
 protected:
  explicit ResultStates(const std::string& language = "vi") : Drawn(language) {}

  // Lets queued work, animations and the display pass run.
  void settle(double seconds = 0.5) {
    advance(seconds);
    runDisplayPass();
    runUntilIdle();
  }

  // The screen pushed over a first screen of a running session, with the pictures the flow
  // took.
  template <class Screen>
  std::shared_ptr<Screen> push(std::shared_ptr<OstrelResult> result) {
    const auto& documents = testing::sampleDocumentPictures();
    config->frontImage = std::make_shared<Image>(documents.front);
    config->backImage = std::make_shared<Image>(documents.back);
    config->faceData = std::make_shared<Image>(testing::facePhotographRGBA());
    config->frontResult = result->frontResult;
    auto navi = startSession(make<ViewController>());
    auto screen = Screen::create(std::move(result));
    navi->pushViewController(screen, false);
    advance(1);
    runUntilIdle();
    return screen;
  }
  static std::shared_ptr<ScrollView> scrollOf(const std::shared_ptr<ViewController>& screen) {
    return findView<ScrollView>(screen->view());
  }
  static void scrollToEnd(ScrollView& scroll) {
    const double end = scroll.contentSize().height - scroll.bounds().height();
    scroll.setContentOffset({0, std::max(0.0, end)});
  }
  // Every row label of the table on show inside `visible` (its scroll view) is drawn whole.
  void expectRowsWhole(const Image& picture, const TableView& table) {
    auto scroll = findView<ScrollView>(window());
    const Rect visible = scroll ? scroll->convertRectTo(scroll->bounds(), nullptr)
                                : window()->bounds();
    std::string faults;
    int seen = 0;
    for (const auto& cell : table.visibleCells()) {
      auto row = std::dynamic_pointer_cast<InforCell>(cell);
      if (!row) continue;
      for (const auto& label : {row->titleInfoLabel, row->lblInfor}) {
        const Rect frame = label->convertRectTo(label->bounds(), nullptr);
        if (label->isHidden() || frame.minY() < visible.minY() || frame.maxY() > visible.maxY())
          continue;
        ++seen;
        if (auto whole = drawnWhole(picture, *label); !whole) faults += "\n  " + std::string(whole.message());
      }
    }
    EXPECT_GT(seen, 0) << "no row on show";
    EXPECT_TRUE(faults.empty()) << "rows not drawn whole:" << faults;
  }
  // No blank band taller than kMostBlank between the decision and the end of the data box.
  void expectNoBlankBand(const Image& picture, const View& from, const View& to) {
    const Rect top = from.convertRectTo(from.bounds(), nullptr);
    const Rect bottom = to.convertRectTo(to.bounds(), nullptr);
    const double y0 = std::max(0.0, top.minY());
    const double y1 = std::min(window()->bounds().height(), bottom.maxY());
    ASSERT_LT(y0, y1);
    const Rect band{0, y0, window()->bounds().width(), y1 - y0};
    const Color background = testing::dominantColor(picture, band);
    EXPECT_LT(testing::tallestBlankBand(picture, band, background), kMostBlank)
        << "a blank band between the decision and the recognised data";
  }
};

class ResultStatesInEnglish : public ResultStates {
 protected:
  ResultStatesInEnglish() : ResultStates("en") {}
};

TEST_F(ResultStates, TheEkycResultApprovedFromTopToEnd) {
  Ostrel::shared()->setFlowType(OSLFlowType::ekyc());
  auto screen = push<OSLResulteKYCVC>(approvedResult(false));
  auto top = take("result_ekyc", "approved_top");
  EXPECT_TRUE(coversItsBounds(*screen->view()));
  ASSERT_TRUE(screen->viewReason->isHidden()) << "no reasons for an approval";
  expectNoBlankBand(*top, *screen->lblResult, *screen->viewOCR);
  expectRowsWhole(*top, *screen->ocrTableView);
  auto scroll = scrollOf(screen);
  ASSERT_TRUE(scroll);
  scrollToEnd(*scroll);
  settle();
  auto end = take("result_ekyc", "approved_scrolled_to_end");
  // The end of the content is the end of the data box: the hidden chip section leaves no room.
  const Rect visible = scroll->convertRectTo(scroll->bounds(), nullptr);
  EXPECT_LT(testing::tallestBlankBand(*end, visible, testing::dominantColor(*end, visible)),
            kMostBlank)
      << "blank where the hidden chip section would be";
  expectRowsWhole(*end, *screen->ocrTableView);
  EXPECT_TRUE(drawnWhole(*end, *screen->btnConfirm->titleLabel()));
}

TEST_F(ResultStatesInEnglish, TheEkycResultRowsInEnglish) {
  Ostrel::shared()->setFlowType(OSLFlowType::ekyc());
  auto screen = push<OSLResulteKYCVC>(approvedResult(false));
  auto scroll = scrollOf(screen);
  ASSERT_TRUE(scroll);
  // The data box in the middle of the screen.
  const Rect box = screen->viewOCR->frame();
  scroll->setContentOffset({0, std::max(0.0, box.minY() - 80)});
  settle();
  auto rows = take("result_ekyc", "approved_rows_en");
  expectRowsWhole(*rows, *screen->ocrTableView);
}

TEST_F(ResultStates, TheNfcEkycResultScrolledToItsChipSection) {
  Ostrel::shared()->setFlowType(OSLFlowType::nfc_ekyc());
  auto screen = push<OSLResulteKYCVC>(approvedResult(true));
  ASSERT_FALSE(screen->nfcInfoView->superview()->isHidden()) << "the chip section shows";
  auto top = take("result_nfc_ekyc", "top");
  expectNoBlankBand(*top, *screen->lblResult, *screen->viewOCR);
  auto scroll = scrollOf(screen);
  ASSERT_TRUE(scroll);
  // The chip rows, then the chip's face at the very end.
  const auto& section = *screen->nfcInfoView->superview();
  scroll->setContentOffset(
      {0, section.convertRectTo(section.bounds(), scroll.get()).minY() - 20});
  settle();
  auto chipRows = take("result_nfc_ekyc", "chip_section");
  expectRowsWhole(*chipRows, *screen->nfcTableView);
  EXPECT_TRUE(drawnWhole(*chipRows, *screen->nfcTitleLabel));
  scrollToEnd(*scroll);
  settle();
  auto end = take("result_nfc_ekyc", "scrolled_to_end");
  EXPECT_TRUE(drawnWhole(*end, *screen->nfcFaceTitleLabel));
  const Rect face = screen->nfcFaceImageView->convertRectTo(screen->nfcFaceImageView->bounds(), nullptr);
  EXPECT_LE(face.maxY(), scroll->convertRectTo(scroll->bounds(), nullptr).maxY())
      << "the chip's face can be scrolled to";
}

TEST_F(ResultStates, TheSimpleResultRejectedWithItsReasons) {
  JSON data = {{"decision_detail",
                {{"decision", "REJECTED"},
                 {"details", JSON::array({{{"is_pass", 0}, {"description", "Ảnh bị mờ"}},
                                          {{"is_pass", 0}, {"description", "Khuôn mặt không khớp với ảnh trên giấy tờ"}}})}}}};
  auto result = std::make_shared<OstrelResult>(
      data, std::make_shared<OSLFrontResult>(), std::make_shared<OSLBackResult>(),
      std::make_shared<OSLConfirmResult>(data));
  auto screen = push<OSLSimpleResultVC>(result);
  auto shown = take("result_simple", "rejected");
  EXPECT_TRUE(coversItsBounds(*screen->view()));
  EXPECT_TRUE(drawnWhole(*shown, *screen->lblResult));
}

// ------------------------------------------------------------------------------ confirmation

TEST_F(ResultStates, TheConfirmationScreenErrorLineDatePickerKeyboardAndLoading) {
  const auto& person = testing::samplePerson();
  JSON fields = person.cardFieldsJSON();
  fields["type"] = "eid24_front";
  Ostrel::shared()->setFlowType(OSLFlowType::ekyc());
  auto screen = openConfirmWith(fields);
  settle(1);
  auto filled = take("confirm", "filled");
  EXPECT_TRUE(drawnWhole(*filled, *screen->noteLabel));
  EXPECT_TRUE(coversItsBounds(*screen->view()));
  // The fields' texts keep clear of their borders.
  for (const auto& field : {screen->nameTextField, screen->idNumberTextField, screen->addressTextField}) {
    const Rect frame = field->convertRectTo(field->bounds(), nullptr);
    const Rect inside{frame.minX() + 3, frame.minY() + 3, frame.width() - 6, frame.height() - 6};
    auto ink = testing::inkBoundsWithin(*filled, inside, testing::dominantColor(*filled, inside), 0.25);
    ASSERT_TRUE(ink) << field->text();
    EXPECT_GE(ink->minX() - frame.minX(), 6) << "no room before " << field->text();
  }

  // A wrong ID number: the error line under the form.
  enter(screen->idNumberTextField, "12345");
  settle();
  ASSERT_FALSE(screen->errorContainer()->isHidden());
  auto error = take("confirm", "error_line");
  EXPECT_TRUE(drawnWhole(*error, *screen->lblError));
  enter(screen->idNumberTextField, person.idNumber);
  settle();

  // A date field: its picker comes up in the keyboard's place.
  screen->dateOfBirthTextField->becomeFirstResponder();
  showKeyboard({0, window()->bounds().height() - 260, window()->bounds().width(), 260});
  settle(1);
  take("confirm", "date_picker");
  user().tap(std::dynamic_pointer_cast<Toolbar>(screen->dateOfBirthTextField->inputAccessoryView)->items().front());
  hideKeyboard();
  settle(1);

  // The address with the keyboard up: the form moves above it.
  screen->addressTextField->becomeFirstResponder();
  showKeyboard({0, window()->bounds().height() - 300, window()->bounds().width(), 300});
  settle(1);
  auto keyboard = take("confirm", "keyboard");
  const Rect field =
      screen->addressTextField->convertRectTo(screen->addressTextField->bounds(), nullptr);
  EXPECT_LE(field.maxY(), window()->bounds().height() - 300) << "the field edited stays in sight";
  hideKeyboard();
  screen->addressTextField->resignFirstResponder();
  settle(1);

  // The library's own loading indicator, its dots in the main colour.
  useHostLoading(false);
  Helpers::showLoading(screen);
  settle(0.2);
  auto hud = OSLProgressHUD::shared()->toolbarHUD;
  ASSERT_TRUE(hud && hud->window());
  auto loading = take("confirm", "loading");
  const Rect box = hud->convertRectTo(hud->bounds(), nullptr);
  EXPECT_GT(testing::shareOfColor(*loading, box, mainColor(), 0.05), 0.008)
      << "dots in the main colour";
}

}  // namespace
}  // namespace ostrel::screen_states_test
