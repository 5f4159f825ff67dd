#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Helpers.hpp"
#include "model/OSLFrontResult.hpp"
#include "tests/results/ResultsTest.hpp"

namespace ostrel::results_test {
namespace {

class ConfirmLoadingTest : public ResultsTest {
 protected:
  static std::optional<double> day(const std::string& text) {
    auto date = Helpers::dateFromString(text, "dd/MM/yyyy");
    return date ? std::optional<double>(date->timeIntervalSince1970) : std::nullopt;
  }
  // A fresh session per row.
  void endSession() {
    Ostrel::shared()->setNaviViewController(nullptr);
    heard->clear();
  }
};

TEST_F(ConfirmLoadingTest, ReadingsFillTheFieldsGenderFeaturesAndPickers) {
  // "nữ" with its horn and tilde as combining marks.
  const std::string decomposedNu = "nu\xCC\x9B\xCC\x83";
  struct Row {
    const char* name;
    JSON reply;  // the reply's data
    std::string language;
    std::vector<std::string> texts;  // name, id, birth, issue, home town, expiry, address
    int gender;
    std::string features;
    std::optional<std::string> birthPicked;  // the birth picker's day, "dd/MM/yyyy"
    std::string pickerLocale;
  };
  const std::vector<std::string> none(7, "");
  const std::vector<Row> rows = {
      {"the whole person",
       {{"fields", personFields()}},
       "vi",
       {"NGUYỄN VĂN A", "001099012345", "01/01/1990", "01/01/2021", "Hà Nội", "01/01/2030",
        "Hà Nội"},
       1,
       "Nốt ruồi",
       "01/01/1990",
       "vi_VN"},
      {"upper-case NỮ", {{"fields", {{"gender", "NỮ"}}}}, "VI-vn", none, 2, "", std::nullopt,
       "vi_VN"},
      {"decomposed nữ", {{"fields", {{"gender", decomposedNu}}}}, "en", none, 2, "", std::nullopt,
       "en_US"},
      {"Female", {{"fields", {{"gender", "Female"}}}}, "ko_kr", none, 2, "", std::nullopt,
       "ko_KR"},
      {"male", {{"fields", {{"gender", "male"}}}}, "fr", none, 1, "", std::nullopt, ""},
      {"other gender", {{"fields", {{"gender", "khác"}}}}, "vi", none, 0, "", std::nullopt,
       "vi_VN"},
      {"no fields", {{"card_type", "eid24_front"}}, "vi", none, 0, "", std::nullopt, "vi_VN"},
      {"fields not an object", {{"fields", "x"}}, "vi", none, 0, "", std::nullopt, "vi_VN"},
      {"wrong-typed fields",
       {{"fields", {{"name", 5}, {"gender", 1}, {"birthday", true}, {"features", {1}}}}},
       "vi",
       none,
       0,
       "",
       std::nullopt,
       "vi_VN"},
      {"reply data not an object", JSON::array({1, 2}), "vi", none, 0, "", std::nullopt,
       "vi_VN"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    config->appearance->language = row.language;
    server.setReply(kGetResult, ScriptedReply::data(row.reply));
    auto screen = openConfirm();
    await("hide loading");
    std::vector<std::string> texts;
    for (const auto& field : {screen->nameTextField, screen->idNumberTextField,
                              screen->dateOfBirthTextField, screen->dateIssueTextField,
                              screen->tfHomeTown, screen->tfExpiryDate, screen->addressTextField}) {
      texts.push_back(field->text());
    }
    EXPECT_EQ(texts, row.texts);
    EXPECT_EQ(screen->gender, row.gender);
    EXPECT_EQ(screen->features, row.features);
    EXPECT_EQ(screen->datePickerDOB->date, row.birthPicked ? *day(*row.birthPicked) : 0);
    EXPECT_EQ(screen->datePickerDOB->localeIdentifier, row.pickerLocale);
    EXPECT_EQ(screen->datePickerDOE->localeIdentifier, row.pickerLocale);
    // The reading replaces the front result the card capture stored.
    ASSERT_TRUE(config->frontResult);
    EXPECT_EQ(config->frontResult->cardType,
              row.reply.is_object() && row.reply.contains("card_type")
                  ? std::optional<std::string>("eid24_front")
                  : std::nullopt);
    auto request = server.lastRequest(kGetResult);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->queryValue("lang"), row.language);
    EXPECT_EQ(*heard, (std::vector<std::string>{"show loading", "hide loading"}));
    endSession();
  }
}

TEST_F(ConfirmLoadingTest, EachDateFormatOfAReadingSetsItsPicker) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> rows = {
      {"25/12/1990", "25/12/1990"}, {"12/25/1990", "25/12/1990"}, {"1990/12/25", "25/12/1990"},
      {"12-25-1990", "25/12/1990"}, {"1990-12-25", "25/12/1990"}, {"25-12-1990", "25/12/1990"},
      {"1990.12.25", "25/12/1990"}, {"12.25.1990", "25/12/1990"}, {"25.12.1990", std::nullopt}};
  for (const auto& [text, picked] : rows) {
    SCOPED_TRACE(text);
    // The expiry after an unreadable issue date is still read: a miss does not end the filling.
    auto screen = openConfirmWith({{"birthday", text}, {"doi", "not a date"}, {"doe", text}});
    EXPECT_EQ(screen->dateOfBirthTextField->text(), text);
    EXPECT_EQ(screen->datePickerDOB->date, picked ? *day(*picked) : 0);
    EXPECT_EQ(screen->datePickerDOI->date, 0);
    EXPECT_EQ(screen->datePickerDOE->date, picked ? *day(*picked) : 0);
    endSession();
  }
}

TEST_F(ConfirmLoadingTest, LoadingIsHiddenThroughEitherPathAlsoWhenTheScreenIsGone) {
  {
    SCOPED_TRACE("the library's indicator");
    useHostLoading(false);
    server.setReply(kGetResult, ScriptedReply::data({{"fields", personFields()}}));
    auto screen = openConfirm();
    runUntilIdle();
    EXPECT_GT(OSLProgressHUD::shared()->alpha(), 0);
    EXPECT_TRUE(waitUntil([&] { return !screen->nameTextField->text().empty(); }));
    advance(1);
    EXPECT_EQ(OSLProgressHUD::shared()->alpha(), 0);
    endSession();
  }
  {
    SCOPED_TRACE("the host's handlers, screen gone before the reply");
    useHostLoading(true);
    auto stored = std::make_shared<OSLFrontResult>();
    config->frontResult = stored;
    auto screen = loadFromNib<ConfirmViewController>();
    screen->loadViewIfNeeded();
    std::weak_ptr<ConfirmViewController> weakScreen = screen;
    screen.reset();
    EXPECT_TRUE(weakScreen.expired());
    await("hide loading");
    EXPECT_EQ(*heard, (std::vector<std::string>{"show loading", "hide loading"}));
    // Nothing else happens: the stored front result stays.
    EXPECT_EQ(config->frontResult, stored);
  }
}

TEST_F(ConfirmLoadingTest, ReadingFailuresAlertOrCallTheHostAndLeaveTheFieldsUsable) {
  struct Row {
    int code;
    bool hostHandler;
    bool screenGone;
    // What the user or the host sees: the host call, or the alert kind and message.
    std::optional<std::string> hostCall;
    std::optional<OSLAlertVC::TypeOfAlert> alert;
    std::string alertMessage;
  };
  const std::string retry = "Boom, [osl_confirm_please_retry]";
  const std::vector<Row> rows = {
      {401, false, false, std::nullopt, OSLAlertVC::TypeOfAlert::timeout, ""},
      {401, true, true, std::nullopt, OSLAlertVC::TypeOfAlert::timeout, ""},
      {12, true, false, retry + " 12", std::nullopt, ""},
      {12, true, true, std::nullopt, std::nullopt, ""},
      {12, false, false, std::nullopt, OSLAlertVC::TypeOfAlert::generalError, retry},
      {12, false, true, std::nullopt, OSLAlertVC::TypeOfAlert::generalError, retry},
      {77, true, false, "Boom 77", std::nullopt, ""},
      {77, true, true, std::nullopt, std::nullopt, ""},
      {77, false, false, std::nullopt, OSLAlertVC::TypeOfAlert::networkError, "Boom"},
      {77, false, true, std::nullopt, OSLAlertVC::TypeOfAlert::networkError, "Boom"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.code) + (row.hostHandler ? " host handler" : " no handler") +
                 (row.screenGone ? " screen gone" : " screen there"));
    heard->clear();
    auto calls = std::make_shared<std::vector<std::string>>();
    std::weak_ptr<ViewController> handedScreen;
    config->showErrorAlertHandler =
        row.hostHandler ? OSLConfig::ShowErrorAlertHandler(
                              [calls, &handedScreen](const std::string& message, int code,
                                                     std::shared_ptr<ViewController> screen) {
                                calls->push_back(message + " " + std::to_string(code));
                                handedScreen = screen;
                              })
                        : nullptr;
    server.setReply(kGetResult, row.code == 401 ? ScriptedReply::error(401, "Expired", 401)
                                                : ScriptedReply::error(row.code, "Boom"));
    std::shared_ptr<ConfirmViewController> screen;
    if (row.screenGone) {
      show(make<ViewController>());
      auto doomed = loadFromNib<ConfirmViewController>();
      doomed->loadViewIfNeeded();
    } else {
      screen = openConfirm();
    }
    await("hide loading");
    EXPECT_EQ(count("hide loading"), 1);
    if (row.hostCall) {
      EXPECT_EQ(*calls, std::vector<std::string>{*row.hostCall});
      EXPECT_EQ(handedScreen.lock(), screen);
    } else {
      EXPECT_TRUE(calls->empty());
    }
    auto alert = shownAlert();
    ASSERT_EQ(alert != nullptr, row.alert.has_value());
    if (alert) {
      EXPECT_EQ(alert->alert, *row.alert);
      if (*row.alert != OSLAlertVC::TypeOfAlert::timeout) {
        EXPECT_EQ(alert->message, row.alertMessage);
        EXPECT_FALSE(alert->titleAlert);
      }
    }
    if (screen) {
      // The fields stay empty and usable.
      user().typeText(screen->nameTextField, "An");
      EXPECT_EQ(screen->nameTextField->text(), "An");
    }
    if (row.code == 401 && !row.screenGone) {
      // Confirming the time-out alert ends the session: the cancel, then the expiry.
      advance(1);
      user().tap(alert->btnConfirm);
      advance(2);
      EXPECT_EQ(count("event 0"), 1);
      EXPECT_EQ(count("event 1"), 1);
      ASSERT_GE(heard->size(), 2u);
      EXPECT_EQ(heard->back(), "event 1");
      Ostrel::shared()->setConfig(config);
    }
    Ostrel::shared()->setNaviViewController(nullptr);
  }
}

}  // namespace
}  // namespace ostrel::results_test
