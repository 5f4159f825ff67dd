#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/CurrentConfig.hpp"
#include "model/OSLConfirmResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLPassport.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/ui/Renderer.hpp"
#include "testing/PixelProbe.hpp"
#include "tests/results/ResultsTest.hpp"

namespace ostrel::results_test {
namespace {

using Kind = OSLFlowType::Kind;

// Both result screens behind one face, so the rules they share run through one table.
struct AnyResultScreen {
  std::shared_ptr<ViewController> controller;
  std::shared_ptr<Label> lblResult;
  std::shared_ptr<View> viewReason;
  std::shared_ptr<TableView> reasons;
  std::shared_ptr<OstrelButton> confirm;
};

class ResultScreenTest : public ResultsTest {
 protected:
  static std::shared_ptr<OstrelResult> resultFrom(const JSON& confirmData) {
    auto result = std::make_shared<OstrelResult>(
        confirmData, std::make_shared<OSLFrontResult>(), std::make_shared<OSLBackResult>(),
        std::make_shared<OSLConfirmResult>(confirmData));
    if (auto chip = confirmData.find("nfc_data"); chip != confirmData.end()) {
      result->nfcModel = OSLNfcModel::decode(*chip);
    }
    return result;
  }
  static JSON decided(std::optional<std::string> decision, JSON details = nullptr) {
    JSON detail = JSON::object();
    if (decision) detail["decision"] = *decision;
    if (!details.is_null()) detail["details"] = details;
    return {{"decision_detail", detail}};
  }

  // The screen pushed over a first screen of a running session.
  AnyResultScreen push(bool simple, std::shared_ptr<OstrelResult> result) {
    auto navi = startSession(make<ViewController>());
    AnyResultScreen any;
    if (simple) {
      auto screen = OSLSimpleResultVC::create(std::move(result));
      any = {screen, nullptr, nullptr, nullptr, nullptr};
      navi->pushViewController(screen, false);
      advance(1);
      any.lblResult = screen->lblResult;
      any.viewReason = screen->viewReason;
      any.reasons = screen->optionRejectTableView;
      any.confirm = screen->btnConfirm;
    } else {
      auto screen = OSLResulteKYCVC::create(std::move(result));
      navi->pushViewController(screen, false);
      advance(1);
      any = {screen, screen->lblResult, screen->viewReason, screen->optionRejectTableView,
             screen->btnConfirm};
    }
    return any;
  }

  static std::vector<std::shared_ptr<InforCell>> cells(const TableView& table) {
    std::vector<std::shared_ptr<InforCell>> out;
    for (const auto& c : table.visibleCells()) out.push_back(std::dynamic_pointer_cast<InforCell>(c));
    return out;
  }
  // "title=value" per row of an information table.
  static std::vector<std::string> pairs(const TableView& table) {
    std::vector<std::string> out;
    for (const auto& cell : cells(table)) {
      out.push_back(cell ? cell->titleInfoLabel->text().value_or("") + "=" +
                               cell->lblInfor->text().value_or("")
                         : "not an InforCell");
    }
    return out;
  }
  static std::string pngBase64() {
    Image image(cv::Mat(4, 4, CV_8UC4, cv::Scalar(10, 20, 30, 255)));
    auto png = image.pngData();
    return png ? base64Encode(*png) : std::string();
  }
};

TEST_F(ResultScreenTest, RecognisedDataRowsFollowTheFlow) {
  JSON fields = personFields();
  fields.erase("poi");
  auto front = std::make_shared<OSLFrontResult>(JSON{{"fields", fields}});
  OSLPassport passportRecord;
  passportRecord.idNumber = "C1234567";
  passportRecord.name = "LE THI D";
  passportRecord.birthday = "02/02/1992";
  passportRecord.gender = "F";
  passportRecord.doe = "";
  passportRecord.nationality = "VNM";
  auto passport = std::make_shared<OSLPassport>(passportRecord);
  const std::vector<std::string> personRows = {
      "[results_info_id]=001099012345", "[results_info_name]=NGUYỄN VĂN A",
      "[results_info_dob]=01/01/1990",  "[results_info_gender]=Nam",
      "[results_info_home]=Hà Nội",     "[results_info_res]=Hà Nội",
      "[results_info_doi]=01/01/2021",  "[results_info_doe]=01/01/2030",
      "[results_info_poi]=--",          "[results_info_features]=Nốt ruồi",
      "[results_info_type]=eid24_front"};
  const std::vector<std::string> noCard = {
      "[results_info_id]=--",  "[results_info_name]=--",     "[results_info_dob]=--",
      "[results_info_gender]=--", "[results_info_home]=--",  "[results_info_res]=--",
      "[results_info_doi]=--", "[results_info_doe]=--",      "[results_info_poi]=--",
      "[results_info_features]=--", "[results_info_type]=--"};
  const std::vector<std::string> passportRows = {
      "[results_info_id]=C1234567",      "[results_info_name]=LE THI D",
      "[results_info_dob]=02/02/1992",   "[results_info_gender]=F",
      "[results_info_doe]=",             "[results_info_nationality]=VNM",
      "[results_info_type]=[EKYC_PASSPORT]"};
  const std::vector<std::string> noPassport = {
      "[results_info_id]=--",  "[results_info_name]=--",        "[results_info_dob]=--",
      "[results_info_gender]=--", "[results_info_doe]=--",      "[results_info_nationality]=--",
      "[results_info_type]=[EKYC_PASSPORT]"};
  struct Row {
    const char* name;
    OSLFlowType flow;
    std::shared_ptr<OSLFrontResult> front;
    std::shared_ptr<OSLPassport> passport;
    std::vector<std::string> rows;
  };
  const std::vector<Row> rows = {
      {"ekyc", OSLFlowType::ekyc(), front, nullptr, personRows},
      {"ekyc without a reading", OSLFlowType::ekyc(), nullptr, nullptr, noCard},
      {"nfc_only", OSLFlowType::nfc_only(), front, passport, personRows},
      {"passport", OSLFlowType::passport(), front, passport, passportRows},
      {"passport without a record", OSLFlowType::passport(), nullptr, nullptr, noPassport}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Ostrel::shared()->setFlowType(row.flow);
    config->frontResult = row.front;
    config->passport = row.passport;
    config->faceData = std::make_shared<Image>(Size{100, 100});
    auto any = push(false, resultFrom(decided("APPROVED")));
    auto screen = std::dynamic_pointer_cast<OSLResulteKYCVC>(any.controller);
    EXPECT_EQ(pairs(*screen->ocrTableView), row.rows);
    EXPECT_EQ(screen->imgBackId->isHidden(), row.flow.isPassport());
    EXPECT_EQ(screen->imgFace->image(), config->faceData);
    EXPECT_EQ(cornerRadius(*screen->imgFace), 50);
    EXPECT_EQ(screen->lblScreenName->text(), "[results_title_1]");
    EXPECT_EQ(screen->btnConfirm->title(ControlState::normal), "[button_confirm]");
    EXPECT_TRUE(screen->nfcInfoView->superview()->isHidden());
    EXPECT_TRUE(screen->nfcRowData.empty());
  }
}

TEST_F(ResultScreenTest, DecisionsReadTheSameOnBothScreens) {
  const JSON details = JSON::array({{{"is_pass", 0}, {"description", "Blurred"}}});
  struct Row {
    const char* name;
    Kind flow;
    std::optional<std::string> decision;
    bool withDetails;
    const char* textKey;
    std::string colour;  // hex, or "" for the main text colour
    bool reasonsShown;
  };
  const std::vector<Row> rows = {
      {"approved in lower case", Kind::ekyc, "approved", true, "results_decision_approved",
       "#1ABB6C", false},
      {"Manual", Kind::ekyc, "Manual", true, "results_decision_manual", "", true},
      {"rejected", Kind::nfc_ekyc, "REJECTED", true, "results_decision_rejected", "#EC2A2A",
       true},
      {"anything else", Kind::ekyc, "PENDING", true, "results_decision_rejected", "#EC2A2A",
       true},
      {"absent", Kind::ekyc, std::nullopt, true, "results_decision_rejected", "#EC2A2A", true},
      {"rejected without details", Kind::ekyc, "REJECTED", false, "results_decision_rejected",
       "#EC2A2A", false},
      {"passport absent", Kind::passport, std::nullopt, true, "results_decision_approved",
       "#1ABB6C", false},
      {"passport empty", Kind::passport, "", true, "results_decision_approved", "#1ABB6C",
       false},
      {"passport REJECTED", Kind::passport, "REJECTED", true, "results_decision_rejected",
       "#EC2A2A", true},
      {"passport manual", Kind::passport, "manual", true, "results_decision_manual", "", true},
  };
  config->appearance->mainTextColor = "123456";
  for (bool simple : {false, true}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (simple ? " (reasons only)" : " (eKYC)"));
      Ostrel::shared()->setFlowType({row.flow, std::nullopt, std::nullopt});
      auto any = push(simple, resultFrom(decided(row.decision, row.withDetails ? details
                                                                               : JSON())));
      EXPECT_EQ(any.lblResult->text(), bracketed(row.textKey));
      EXPECT_EQ(any.lblResult->textColor(), colorFromHex(row.colour.empty() ? "123456"
                                                                            : row.colour));
      // Without details the reasons keep the nib's state (hidden).
      EXPECT_EQ(any.viewReason->isHidden(), !row.reasonsShown);
      EXPECT_EQ(any.reasons->visibleCells().size(), row.reasonsShown ? 1u : 0u);
    }
  }
}

TEST_F(ResultScreenTest, ReasonsListFailedAndUndecidedChecksInOrder) {
  const JSON details = JSON::array({
      {{"is_pass", 1}, {"description", "Face matches"}, {"description_vi", "Khớp"}},
      {{"is_pass", 0}, {"description", "Blurred"}, {"description_vi", "Mờ"}},
      {{"description", "No flag"}, {"description_vi", "Không cờ"}},
      {{"is_pass", -1}, {"description", "Unsure"}, {"description_vi", "Chưa rõ"}},
      {{"is_pass", 2}, {"description", "Two"}},
      {{"is_pass", 0}},
  });
  struct Row {
    std::string language;
    std::vector<std::string> texts;
  };
  const std::vector<Row> rows = {{"vi", {"Mờ", "Chưa rõ", "--"}},
                                 {"VI", {"Blurred", "Unsure", "--"}},
                                 {"en", {"Blurred", "Unsure", "--"}}};
  const auto error = bundleImage("icon_error");
  const auto question = bundleImage("ic_question_reason");
  ASSERT_TRUE(error && question);
  for (bool simple : {false, true}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.language + (simple ? " (reasons only)" : " (eKYC)"));
      config->appearance->language = row.language;
      auto any = push(simple, resultFrom(decided("MANUAL", details)));
      auto shown = cells(*any.reasons);
      ASSERT_EQ(shown.size(), 3u);
      std::vector<std::string> texts;
      for (const auto& cell : shown) texts.push_back(cell->titleResonLabel->text().value_or(""));
      EXPECT_EQ(texts, row.texts);
      EXPECT_TRUE(samePixels(shown[0]->imgReject->image(), error));
      EXPECT_TRUE(samePixels(shown[1]->imgReject->image(), question));
      EXPECT_TRUE(samePixels(shown[2]->imgReject->image(), error));
      for (std::size_t i = 0; i < shown.size(); ++i) {
        // The reasons-only screen draws no divider; the other one only under inner rows.
        EXPECT_EQ(shown[i]->viewDevide->isHidden(), simple || i + 1 == shown.size()) << i;
        EXPECT_TRUE(shown[i]->titleInfoLabel->superview()->isHidden());
        EXPECT_FALSE(shown[i]->titleResonLabel->superview()->isHidden());
      }
    }
  }
}

TEST_F(ResultScreenTest, EveryRowSetsItsDividerAcrossReloads) {
  Ostrel::shared()->setFlowType(OSLFlowType::nfc_ekyc());
  config->frontResult = std::make_shared<OSLFrontResult>(JSON{{"fields", personFields()}});
  JSON data = decided("REJECTED", JSON::array({{{"is_pass", 0}, {"description", "A"}},
                                                {{"is_pass", -1}, {"description", "B"}}}));
  data["nfc_data"] = {{"name", "A"}};
  auto any = push(false, resultFrom(data));
  auto screen = std::dynamic_pointer_cast<OSLResulteKYCVC>(any.controller);
  // Reloaded on will-appear and did-appear; once more here, so cells come back for other rows.
  for (int reload = 0; reload < 2; ++reload) {
    for (const auto& table : {screen->ocrTableView, screen->nfcTableView,
                              screen->optionRejectTableView}) {
      table->reloadData();
      auto shown = cells(*table);
      ASSERT_FALSE(shown.empty());
      for (std::size_t i = 0; i < shown.size(); ++i) {
        ASSERT_TRUE(shown[i]);
        EXPECT_EQ(shown[i]->viewDevide->isHidden(), i + 1 == shown.size()) << i;
      }
    }
  }
}

TEST_F(ResultScreenTest, TheChipSectionShowsOnlyForAChipReadInTheChipFlow) {
  const std::string png = pngBase64();
  ASSERT_FALSE(png.empty());
  struct Row {
    const char* name;
    OSLFlowType flow;
    std::optional<JSON> chip;
    bool shown;
    bool face;
  };
  const JSON full = {{"id_number", "001099012345"}, {"name", "NGUYỄN VĂN A"},
                     {"date_of_birth", "01/01/1990"}, {"gender", "Nam"},
                     {"hometown", "Hà Nội"}, {"address", "Hà Nội"},
                     {"date_of_issuance", "01/01/2021"}, {"date_of_expiry", "01/01/2030"},
                     {"personal_identification", "Nốt ruồi"}, {"father_name", "B"},
                     {"mother_name", "C"}, {"spouse_name", nullptr},
                     {"face_image", "data:image/png;base64," + png}};
  JSON undecodable = full;
  undecodable["face_image"] = "data:image/jpeg;base64,!!not base64!!";
  JSON noFace = full;
  noFace.erase("face_image");
  const std::vector<Row> rows = {
      {"nfc_ekyc with a chip read", OSLFlowType::nfc_ekyc(), full, true, true},
      {"a face that does not decode", OSLFlowType::nfc_ekyc(), undecodable, true, false},
      {"no face", OSLFlowType::nfc_ekyc(), noFace, true, false},
      {"nfc_ekyc without a chip read", OSLFlowType::nfc_ekyc(), std::nullopt, false, false},
      {"nfc_only with a chip read", OSLFlowType::nfc_only(), full, false, false},
      {"ekyc with a chip read", OSLFlowType::ekyc(), full, false, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Ostrel::shared()->setFlowType(row.flow);
    JSON data = decided("APPROVED");
    if (row.chip) data["nfc_data"] = *row.chip;
    auto any = push(false, resultFrom(data));
    auto screen = std::dynamic_pointer_cast<OSLResulteKYCVC>(any.controller);
    EXPECT_EQ(screen->nfcInfoView->superview()->isHidden(), !row.shown);
    EXPECT_EQ(screen->nfcFaceImageView->image() != nullptr, row.face);
    auto chipRows = pairs(*screen->nfcTableView);
    ASSERT_EQ(chipRows.size(), row.shown ? 12u : 0u);
    if (row.shown) {
      EXPECT_EQ(chipRows.front(), "[results_info_id]=001099012345");
      EXPECT_EQ(chipRows[8], "[results_info_features]=Nốt ruồi");
      EXPECT_EQ(chipRows.back(), "[results_info_spouse]=--");
      EXPECT_EQ(screen->nfcTitleLabel->text(), "[results_title_chip]");
    }
  }
}

// The boxes under the decision follow one another; a hidden one leaves no blank band.
TEST_F(ResultScreenTest, HiddenBoxesGiveTheirSpaceBack) {
  const JSON details = JSON::array({{{"is_pass", 0}, {"description", "Blurred"}}});
  struct Row {
    const char* name;
    OSLFlowType flow;
    std::optional<std::string> decision;
    bool chip;
    bool reasons;
  };
  const JSON chip = {{"id_number", "001099012345"}, {"name", "NGUYỄN VĂN A"}};
  for (const Row& row : {Row{"approved", OSLFlowType::ekyc(), "APPROVED", false, false},
                         Row{"manual", OSLFlowType::ekyc(), "MANUAL", false, true},
                         Row{"approved with the chip", OSLFlowType::nfc_ekyc(), "APPROVED", true,
                             false},
                         Row{"rejected with the chip", OSLFlowType::nfc_ekyc(), "REJECTED", true,
                             true}}) {
    SCOPED_TRACE(row.name);
    Ostrel::shared()->setFlowType(row.flow);
    JSON data = decided(row.decision, details);
    if (row.chip) data["nfc_data"] = chip;
    auto any = push(false, resultFrom(data));
    auto screen = std::dynamic_pointer_cast<OSLResulteKYCVC>(any.controller);
    runDisplayPass();
    auto scroll = std::dynamic_pointer_cast<ScrollView>(screen->viewOCR->superview()->superview());
    ASSERT_TRUE(scroll);
    auto inScroll = [&](const std::shared_ptr<View>& v) {
      return v->convertRectTo(v->bounds(), scroll.get());
    };
    const Rect decision = inScroll(screen->lblResult);
    const Rect reasons = inScroll(screen->viewReason);
    const Rect ocr = inScroll(screen->viewOCR);
    const auto chipSection = screen->nfcInfoView->superview();
    EXPECT_EQ(screen->viewReason->isHidden(), !row.reasons);
    EXPECT_EQ(chipSection->isHidden(), !row.chip);
    const double firstBox = decision.maxY() + 10;
    if (row.reasons) {
      EXPECT_EQ(reasons.minY(), firstBox);
      EXPECT_EQ(ocr.minY(), reasons.maxY() + 16);
    } else {
      EXPECT_EQ(ocr.minY(), firstBox) << "no room kept for the hidden reasons";
    }
    double end = ocr.maxY();
    if (row.chip) {
      EXPECT_EQ(inScroll(chipSection).minY(), ocr.maxY() + 16);
      end = inScroll(chipSection).maxY();
    }
    EXPECT_EQ(scroll->contentSize().height, end + 14) << "the scrolled content ends with the boxes";

    // Drawn so: the recognised data's frame starts right under the decision.
    auto picture = snapshot(*screen->view(), 2);
    ASSERT_TRUE(picture);
    const Rect ocrOnScreen = screen->viewOCR->convertRectTo(screen->viewOCR->bounds(), screen->view().get());
    const Color edge = testing::pixelAt(*picture, {ocrOnScreen.midX(), ocrOnScreen.minY() + 0.25});
    EXPECT_TRUE(edge.isApproximately(colorFromHex(currentAppearance()->mainColor), 0.15))
        << edge.red << " " << edge.green << " " << edge.blue;
  }
}

TEST_F(ResultScreenTest, ConfirmClosesThenHandsTheResultOver) {
  struct Row {
    const char* name;
    bool handler;
    bool result;
  };
  for (bool simple : {false, true}) {
    for (const Row& row : {Row{"with a result", true, true}, Row{"absent result", true, false},
                           Row{"no result handler", false, true}}) {
      SCOPED_TRACE(std::string(row.name) + (simple ? " (reasons only)" : " (eKYC)"));
      heard->clear();
      results->clear();
      auto handler = config->resultHandler;
      if (!row.handler) config->resultHandler = nullptr;
      auto result = row.result ? resultFrom(decided("APPROVED")) : nullptr;
      auto any = push(simple, result);
      auto navi = any.controller->navigationController();
      EXPECT_TRUE(navi->isNavigationBarHidden());
      user().tap(any.confirm);
      user().tap(any.confirm);
      advance(2);
      std::vector<std::string> expected{"event 0"};
      if (row.handler) expected.push_back(row.result ? "result" : "no result");
      EXPECT_EQ(*heard, expected);
      if (row.handler) {
        ASSERT_EQ(results->size(), 1u);
        EXPECT_EQ(results->front(), result);
      }
      EXPECT_FALSE(Ostrel::shared()->naviViewController());
      config->resultHandler = handler;
      Ostrel::shared()->setConfig(config);
    }
  }
}

TEST_F(ResultScreenTest, TheNavigationBarComesBackWhenTheScreenGoes) {
  for (bool simple : {false, true}) {
    SCOPED_TRACE(simple ? "reasons only" : "eKYC");
    auto any = push(simple, resultFrom(decided("APPROVED")));
    auto navi = any.controller->navigationController();
    EXPECT_TRUE(navi->isNavigationBarHidden());
    navi->popViewController(false);
    advance(1);
    EXPECT_FALSE(navi->isNavigationBarHidden());
  }
}

TEST_F(ResultScreenTest, ARowWithoutItsCellIsReportedAndLeftEmpty) {
  std::vector<std::string> reports;
  setDebugSink([&](std::string_view line) { reports.emplace_back(line); });
  auto result = resultFrom(decided("REJECTED", JSON::array({{{"is_pass", 0}}})));
  auto ekyc = OSLResulteKYCVC::create(result);
  auto simple = OSLSimpleResultVC::create(result);
  ekyc->loadViewIfNeeded();
  simple->loadViewIfNeeded();
  // A table whose row cell nib is missing.
  auto table = make<TableView>(Rect{0, 0, 390, 400});
  table->registerNib("NoSuchCell", resourceBundle(), InforCell::kReuseIdentifier);
  for (bool isSimple : {false, true}) {
    SCOPED_TRACE(isSimple ? "reasons only" : "eKYC");
    reports.clear();
    auto cell = isSimple ? simple->cellForRow(*table, {0, 0}) : ekyc->cellForRow(*table, {0, 0});
    ASSERT_TRUE(cell);
    EXPECT_FALSE(std::dynamic_pointer_cast<InforCell>(cell));
    EXPECT_NE(std::find(reports.begin(), reports.end(), "DequeueReusableCell failed while casting"),
              reports.end());
  }
  setDebugSink(nullptr);
}

}  // namespace
}  // namespace ostrel::results_test
