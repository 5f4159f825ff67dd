#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/OSLQRCodeModel.hpp"
#include "tests/results/ResultsTest.hpp"

namespace ostrel::results_test {
namespace {

class ConfirmCallTest : public ResultsTest {
 protected:
  static std::string errorText(const ConfirmViewController& screen) {
    return screen.lblError->text().value_or("");
  }
  std::shared_ptr<ViewController> topScreen() const {
    auto navi = Ostrel::shared()->naviViewController();
    return navi ? navi->topViewController() : nullptr;
  }
  static JSON approved() {
    return {{"session", "s-1"}, {"decision_detail", {{"decision", "APPROVED"}}}};
  }
};

TEST_F(ConfirmCallTest, AMissingRequiredFieldIsNamedAndNothingIsSent) {
  struct Row {
    const char* missing;
    const char* labelKey;
  };
  // In the order they are asked for; each row leaves out one field and everything after it
  // present, so the first missing one is the one named.
  const std::vector<Row> rows = {{"name", "results_info_name"},
                                 {"gender", "results_info_gender"},
                                 {"birthday", "results_info_dob"},
                                 {"id_number", "results_info_id"},
                                 {"doi", "results_info_doi"},
                                 {"resident", "results_info_res"},
                                 {"home", "results_info_home"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.missing);
    heard->clear();
    JSON fields = personFields();
    fields.erase(row.missing);
    auto screen = openConfirmWith(fields);
    user().tap(screen->confirmButton);
    runUntilIdle();
    EXPECT_FALSE(screen->errorContainer()->isHidden());
    EXPECT_EQ(errorText(*screen), "[confirm_warning] " + bracketed(row.labelKey));
    EXPECT_EQ(count("show loading"), 1);
  }
  EXPECT_TRUE(server.requests(kConfirm).empty());
}

TEST_F(ConfirmCallTest, TheRequestCarriesTheNineFieldsAsTheUserLeftThem) {
  struct Row {
    bool fullResult;
    std::string language;
    int gender;  // chosen by tapping
    std::string genderSent;
  };
  for (const Row& row : {Row{true, "vi", 2, "Nữ"}, Row{false, "en", 1, "Nam"}}) {
    SCOPED_TRACE(row.genderSent);
    config->getFullResult = row.fullResult;
    config->appearance->language = row.language;
    JSON fields = personFields();
    fields.erase("doe");  // never touched: sent empty
    auto screen = openConfirmWith(fields);
    user().tap(row.gender == 1 ? screen->maleImageView : screen->femaleImageView);
    enter(screen->dateOfBirthTextField, "25-12-1990");
    enter(screen->nameTextField, "Lê Văn C");
    server.setReply(kConfirm, ScriptedReply::data(approved()));
    confirmAndWait(screen);
    auto request = server.lastRequest(kConfirm);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->method, "POST");
    EXPECT_EQ(request->queryValue("get_full_result"), row.fullResult ? "true" : "false");
    EXPECT_EQ(request->queryValue("lang"), row.language);
    EXPECT_EQ(request->header("content-type"), "application/json");
    EXPECT_EQ(request->header("authorization"), "token");
    const JSON expected = {{"name", "Lê Văn C"},         {"id_number", "001099012345"},
                           {"gender", row.genderSent},   {"birthday", "25-12-1990"},
                           {"resident", "Hà Nội"},       {"poi", "01/01/2021"},
                           {"doe", ""},                  {"home", "Hà Nội"},
                           {"features", "Nốt ruồi"}};
    EXPECT_EQ(request->jsonBody(), expected);
    // The bytes are UTF-8 as typed.
    EXPECT_NE(request->body.find(row.genderSent), std::string::npos);
    advance(2);
    Ostrel::shared()->setConfig(config);
    server.clearLog();
    heard->clear();
  }
}

TEST_F(ConfirmCallTest, ASuccessEndsTheFlowWithTheWholeResult) {
  const JSON chip = {{"id_number", "001099012345"},
                     {"name", "NGUYỄN VĂN A"},
                     {"face_image", "data:image/jpeg;base64,AAAA"}};
  struct Row {
    const char* name;
    JSON reply;
    bool chipModel;
  };
  JSON withChip = approved();
  withChip["nfc_data"] = chip;
  JSON chipNotObject = approved();
  chipNotObject["nfc_data"] = "abc";
  JSON chipWrongMember = approved();
  chipWrongMember["nfc_data"] = {{"name", 5}};
  const std::vector<Row> rows = {{"with chip data", withChip, true},
                                 {"without chip data", approved(), false},
                                 {"chip data not an object", chipNotObject, false},
                                 {"chip data that does not decode", chipWrongMember, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto qr = std::make_shared<OSLQRCodeModel>();
    config->qrCodeResult = qr;
    auto screen = openConfirmWith(personFields());
    const auto front = config->frontResult;
    server.setReply(kConfirm, ScriptedReply::data(row.reply));
    heard->clear();
    confirmAndWait(screen);
    advance(2);
    // Closed first (no cancel reported), then the handler got the result.
    EXPECT_EQ(*heard, (std::vector<std::string>{"show loading", "hide loading", "result"}));
    EXPECT_FALSE(Ostrel::shared()->naviViewController());
    ASSERT_EQ(results->size(), 1u);
    auto result = results->front();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->nfcModel != nullptr, row.chipModel);
    if (row.chipModel) {
      EXPECT_EQ(result->nfcModel->faceImageBase64(), "AAAA");
    }
    EXPECT_EQ(result->qrCodeModel, qr);
    EXPECT_EQ(result->rawJson, row.reply);
    EXPECT_EQ(result->decision, "APPROVED");
    EXPECT_EQ(result->session, "s-1");
    // The server's reading, not the user's corrections.
    EXPECT_EQ(result->frontResult, front);
    ASSERT_TRUE(result->backResult);
    results->clear();
    Ostrel::shared()->setConfig(config);
  }
}

TEST_F(ConfirmCallTest, WithAResultScreenTheSessionGoesOnThere) {
  for (bool reasonsOnly : {false, true}) {
    SCOPED_TRACE(reasonsOnly ? "reasons only" : "eKYC result");
    config->showResultScreen = true;
    config->isOnlyShowReasonInResultVC = reasonsOnly;
    auto screen = openConfirmWith(personFields());
    server.setReply(kConfirm, ScriptedReply::data(approved()));
    confirmAndWait(screen);
    advance(1);
    auto top = topScreen();
    ASSERT_TRUE(top);
    EXPECT_EQ(typeNameWithoutModule(*top), reasonsOnly ? "OSLSimpleResultVC" : "OSLResulteKYCVC");
    EXPECT_TRUE(results->empty());
    Ostrel::shared()->setNaviViewController(nullptr);
  }
}

TEST_F(ConfirmCallTest, FailuresKeepWhatTheUserTypedAndAllowAnotherTry) {
  struct Row {
    int code;
    bool hostHandler;
    std::optional<OSLAlertVC::TypeOfAlert> alert;
    std::optional<std::string> hostCall;
  };
  const std::vector<Row> rows = {{401, false, OSLAlertVC::TypeOfAlert::timeout, std::nullopt},
                                 {77, true, std::nullopt, "Boom 77"},
                                 {77, false, OSLAlertVC::TypeOfAlert::networkError, std::nullopt},
                                 {12, false, OSLAlertVC::TypeOfAlert::networkError, std::nullopt}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.code) + (row.hostHandler ? " host handler" : ""));
    auto calls = std::make_shared<std::vector<std::string>>();
    config->showErrorAlertHandler =
        row.hostHandler ? OSLConfig::ShowErrorAlertHandler(
                              [calls](const std::string& message, int code, auto) {
                                calls->push_back(message + " " + std::to_string(code));
                              })
                        : nullptr;
    auto screen = openConfirmWith(personFields());
    enter(screen->nameTextField, "Lê Văn C");
    server.setReply(kConfirm, row.code == 401 ? ScriptedReply::error(401, "Expired", 401)
                                              : ScriptedReply::error(row.code, "Boom"));
    confirmAndWait(screen);
    EXPECT_EQ(screen->nameTextField->text(), "Lê Văn C");
    EXPECT_EQ(screen->idNumberTextField->text(), "001099012345");
    EXPECT_EQ(*calls, row.hostCall ? std::vector<std::string>{*row.hostCall}
                                   : std::vector<std::string>{});
    auto alert = shownAlert();
    ASSERT_EQ(alert != nullptr, row.alert.has_value());
    if (alert) {
      EXPECT_EQ(alert->alert, *row.alert);
      if (*row.alert == OSLAlertVC::TypeOfAlert::networkError) {
        EXPECT_EQ(alert->message, "Boom");
      }
      advance(1);
      alert->dismiss(false);
    }
    EXPECT_TRUE(results->empty());
    // Another try is sent.
    server.setReply(kConfirm, ScriptedReply::data(approved()));
    confirmAndWait(screen);
    EXPECT_EQ(server.requests(kConfirm).size(), 2u);
    advance(2);
    EXPECT_EQ(results->size(), 1u);
    server.clearLog();
    results->clear();
    heard->clear();
    Ostrel::shared()->setConfig(config);
    Ostrel::shared()->setNaviViewController(nullptr);
  }
}

TEST_F(ConfirmCallTest, ASecondTapWhileTheCallRunsSendsNothing) {
  config->showResultScreen = true;
  auto screen = openConfirmWith(personFields());
  JSON reply = approved();
  ScriptedReply slow = ScriptedReply::data(reply);
  slow.delaySeconds = 0.2;
  server.setReply(kConfirm, slow);
  user().tap(screen->confirmButton);
  EXPECT_TRUE(screen->isConfirmationInFlight());
  user().tap(screen->confirmButton);
  await("hide loading", 2);
  advance(1);
  EXPECT_EQ(server.requests(kConfirm).size(), 1u);
  EXPECT_EQ(count("show loading"), 2);
  auto navi = Ostrel::shared()->naviViewController();
  ASSERT_TRUE(navi);
  EXPECT_EQ(navi->viewControllers().size(), 2u);
  EXPECT_FALSE(screen->isConfirmationInFlight());
}

TEST_F(ConfirmCallTest, CloseAsksAndReportsEachAnswer) {
  auto screen = openConfirmWith(personFields());
  advance(1);
  for (bool leave : {false, true}) {
    SCOPED_TRACE(leave ? "leave" : "stay");
    logged->clear();
    screen->closeTapped();
    advance(1);
    auto alert = shownAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->alert, OSLAlertVC::TypeOfAlert::exitConfirmation);
    EXPECT_FALSE(alert->titleAlert);
    user().tap(leave ? alert->btnConfirm : alert->btnCancel);
    advance(2);
    std::vector<std::string> expected{"TAP_EXIT", leave ? "EXIT_TAP_YES" : "EXIT_TAP_NO"};
    EXPECT_EQ(eventNames(), expected);
    for (const auto& e : *logged) {
      EXPECT_EQ(e.screen, "OSL_SCREEN_CONFIRM_INFORMATION");
      EXPECT_EQ(e.level, OSLLogLevel::info);
    }
    EXPECT_EQ(count("event 0"), leave ? 1 : 0);
    EXPECT_EQ(Ostrel::shared()->naviViewController() == nullptr, leave);
  }
  EXPECT_TRUE(results->empty());
}

TEST_F(ConfirmCallTest, AScreenShownAgainStartsFresh) {
  auto screen = openConfirmWith(personFields());
  enter(screen->idNumberTextField, "1234567890");
  ASSERT_FALSE(screen->confirmButton->isEnabled());
  enter(screen->idNumberTextField, "123456789");
  user().tap(screen->femaleImageView);
  ScriptedReply slow = ScriptedReply::data(approved());
  slow.delaySeconds = 0.3;
  server.setReply(kConfirm, slow);
  user().tap(screen->confirmButton);
  enter(screen->tfHomeTown, std::string(40, 'h'));
  screen->tfHomeTown->setText(std::string(120, 'h'));
  user().pressReturn(screen->tfHomeTown);
  screen->tfHomeTown->becomeFirstResponder();
  screen->resetForNewRun();

  EXPECT_FALSE(screen->isConfirmationInFlight());
  for (const auto& field :
       {screen->nameTextField, screen->idNumberTextField, screen->dateOfBirthTextField,
        screen->dateIssueTextField, screen->addressTextField, screen->tfHomeTown,
        screen->tfExpiryDate}) {
    EXPECT_EQ(field->text(), "");
  }
  EXPECT_EQ(screen->gender, 0);
  EXPECT_FALSE(screen->femaleImageView->image());
  EXPECT_EQ(screen->datePickerDOB->date, 0);
  EXPECT_EQ(screen->features, "");
  EXPECT_TRUE(screen->errorContainer()->isHidden());
  EXPECT_TRUE(screen->confirmButton->isEnabled());
  // The late reply of the old confirmation only balances its indicator.
  await("hide loading", 2);
  advance(1);
  EXPECT_TRUE(results->empty());
  EXPECT_EQ(Ostrel::shared()->naviViewController()->viewControllers().size(), 1u);
  EXPECT_EQ(server.requests(kGetResult).size(), 1u);

  // Shown again, it reads the card once more.
  auto navi = screen->navigationController();
  navi->pushViewController(make<ViewController>(), false);
  advance(1);
  navi->popViewController(false);
  await("hide loading", 3);
  EXPECT_EQ(server.requests(kGetResult).size(), 2u);
  EXPECT_EQ(screen->idNumberTextField->text(), "001099012345");
  EXPECT_EQ(screen->gender, 1);
  // Nothing checked yet: an invalid ID typed now is the only problem.
  enter(screen->idNumberTextField, "12");
  EXPECT_EQ(screen->lblError->text(), "[confirm_invalid_id]");
  enter(screen->idNumberTextField, "123456789");
  EXPECT_TRUE(screen->confirmButton->isEnabled());
  server.setReply(kConfirm, ScriptedReply::data(approved()));
  confirmAndWait(screen);
  advance(2);
  EXPECT_EQ(results->size(), 1u);
}

}  // namespace
}  // namespace ostrel::results_test
