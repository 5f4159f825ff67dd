#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ScreenFactories.hpp"
#include "model/OSLPassport.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/ScriptedScreens.hpp"
#include "testing/UserJourney.hpp"
#include "tests/results/ResultsTest.hpp"

namespace ostrel::results_test {
namespace {

// The real confirmation and result screens at the end of whole flows, the earlier steps
// played by stand-ins.
class FlowEndTest : public ResultsTest {
 protected:
  void SetUp() override {
    show(make<ViewController>());
    // Only the steps before these screens are stand-ins.
    ScreenFactories library;
    installLibraryScreens(library);
    auto& table = ScreenFactories::shared();
    table.confirm = library.confirm;
    table.ekycResult = library.ekycResult;
    table.simpleResult = library.simpleResult;
  }
  void TearDown() override { Ostrel::shared()->setNaviViewController(nullptr); }

  void finishTop(const std::string& kind) {
    auto top = testing::ScriptedScreens::top();
    ASSERT_TRUE(top) << "expected " << kind;
    ASSERT_EQ(top->kind, kind);
    top->finish();
    advance(1);
  }
  // Runs "ekyc" past the stand-ins and returns the confirmation screen once the server's
  // default reading (the sample person) is in.
  std::shared_ptr<ConfirmViewController> runEkycToConfirm() {
    config->showResultScreen = true;
    Ostrel::shared()->run("ekyc", config);
    advance(1);
    finishTop("id-front");
    finishTop("id-back");
    finishTop("face-p");
    auto confirm = top<ConfirmViewController>();
    if (confirm) await("hide loading");
    return confirm;
  }
  template <class T>
  std::shared_ptr<T> top() const {
    auto navi = Ostrel::shared()->naviViewController();
    return navi ? std::dynamic_pointer_cast<T>(navi->topViewController()) : nullptr;
  }

  testing::ScriptedScreens stand_ins;
};

TEST_F(FlowEndTest, TheLibraryTableMakesTheseScreens) {
  ScreenFactories table;
  installLibraryScreens(table);
  ASSERT_TRUE(table.confirm && table.ekycResult && table.simpleResult);
  auto confirm = table.confirm();
  ASSERT_TRUE(confirm.controller);
  EXPECT_EQ(typeNameWithoutModule(*confirm.controller), "ConfirmViewController");
  EXPECT_TRUE(confirm.setOnNext);
  EXPECT_EQ(typeNameWithoutModule(*table.ekycResult(nullptr)), "OSLResulteKYCVC");
  EXPECT_EQ(typeNameWithoutModule(*table.simpleResult(nullptr)), "OSLSimpleResultVC");
}

TEST_F(FlowEndTest, AnEkycRunConfirmsAndEndsOnTheResultScreen) {
  auto confirm = runEkycToConfirm();
  ASSERT_TRUE(confirm);
  // Every required field came from the reading: confirming needs no edit.
  const auto& person = testing::samplePerson();
  EXPECT_EQ(confirm->nameTextField->text(), person.printedName);
  EXPECT_EQ(confirm->idNumberTextField->text(), person.idNumber);
  EXPECT_EQ(confirm->dateIssueTextField->text(), person.issueDate);
  EXPECT_NE(confirm->gender, 0);
  confirmAndWait(confirm);
  advance(1);
  auto result = top<OSLResulteKYCVC>();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->ocrRowData.size(), 11u);
  auto body = server.lastRequest(kConfirm)->jsonBody();
  ASSERT_TRUE(body);
  EXPECT_EQ((*body)["id_number"], person.idNumber);
  EXPECT_EQ((*body)["features"], person.features);
  EXPECT_EQ(result->lblResult->text(), "[results_decision_approved]");
  user().tap(result->btnConfirm);
  advance(2);
  EXPECT_EQ(*heard, (std::vector<std::string>{"show loading", "hide loading", "show loading",
                                              "hide loading", "event 0", "result"}));
  ASSERT_EQ(results->size(), 1u);
  EXPECT_EQ(results->front()->decision, "APPROVED");
  EXPECT_FALSE(Ostrel::shared()->naviViewController());
}

// The cooperative user of the demo and the end-to-end runs, on these screens: it confirms the
// review, confirms the alert of a failed confirmation and tries again, then confirms the result.
TEST_F(FlowEndTest, TheCooperativeUserTakesAnEkycRunFromReviewToResult) {
  std::vector<std::string> said;
  testing::UserJourney user([&](const std::string& line) { said.push_back(line); });
  user.addCooperativeSteps();
  auto confirm = runEkycToConfirm();
  ASSERT_TRUE(confirm);
  server.pushOnceReply(kConfirm, ScriptedReply::error(500, "Boom"));
  const auto hides = count("hide loading");
  ASSERT_TRUE(user.look(window()));
  EXPECT_FALSE(user.look(window())) << "the review was confirmed again before its answer";
  await("hide loading", hides + 1);
  advance(1);
  ASSERT_TRUE(shownAlert());

  ASSERT_TRUE(user.look(window()));
  advance(1);
  EXPECT_FALSE(shownAlert());
  ASSERT_TRUE(user.look(window())) << "the review was not tried again";
  await("hide loading", hides + 2);
  advance(1);
  ASSERT_TRUE(top<OSLResulteKYCVC>());
  ASSERT_TRUE(user.look(window()));
  advance(2);
  EXPECT_FALSE(user.look(window()));

  const auto& person = testing::samplePerson();
  EXPECT_EQ(said, (std::vector<std::string>{"confirms the review of " + person.printedName,
                                            "confirms the alert",
                                            "confirms the review of " + person.printedName,
                                            "confirms the result screen"}));
  EXPECT_EQ(server.requests(kConfirm).size(), 2u);
  ASSERT_EQ(results->size(), 1u);
  EXPECT_EQ(results->front()->decision, "APPROVED");
  EXPECT_FALSE(Ostrel::shared()->naviViewController());
}

TEST_F(FlowEndTest, APassportRunEndsOnTheResultScreenWithItsRecord) {
  auto passport = std::make_shared<OSLPassport>();
  passport->idNumber = "C1234567";
  passport->nationality = "VNM";
  stand_ins.onCreate = [&](testing::ScriptedStepScreen& screen) {
    if (screen.kind == "id-front") config->passport = passport;
  };
  Ostrel::shared()->run("passport", config);
  advance(1);
  finishTop("id-front");
  finishTop("face-p");
  auto result = top<OSLResulteKYCVC>();
  ASSERT_TRUE(result);
  ASSERT_EQ(result->ocrRowData.size(), 7u);
  EXPECT_EQ(result->ocrRowData.front().value, "C1234567");
  EXPECT_EQ(result->ocrRowData.back().value, "[EKYC_PASSPORT]");
  EXPECT_TRUE(result->imgBackId->isHidden());
  EXPECT_EQ(result->lblResult->text(), "[results_decision_approved]");
  EXPECT_TRUE(result->viewReason->isHidden());
  user().tap(result->btnConfirm);
  advance(2);
  EXPECT_EQ(*heard, (std::vector<std::string>{"event 0", "result"}));
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(FlowEndTest, ANullAppearanceShowsTheDefaultLook) {
  config->appearance = nullptr;
  auto confirm = runEkycToConfirm();
  ASSERT_TRUE(confirm);
  auto defaults = OSLAppearance::create();
  EXPECT_EQ(confirm->titleLabel->textColor(), colorFromHex(defaults->mainTextColor));
  EXPECT_EQ(confirm->datePickerDOB->localeIdentifier, "vi_VN");
  EXPECT_EQ(server.lastRequest(kGetResult)->queryValue("lang"), defaults->language);
  confirmAndWait(confirm);
  advance(1);
  auto result = top<OSLResulteKYCVC>();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->lblInfor->textColor(), colorFromHex(defaults->mainColor));
  user().tap(result->btnConfirm);
  advance(2);
  EXPECT_EQ(results->size(), 1u);
}

}  // namespace
}  // namespace ostrel::results_test
