#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Helpers.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "tests/results/ResultsTest.hpp"
#include "ui/ImageExtensions.hpp"

namespace ostrel::results_test {
namespace {

using Field = std::shared_ptr<OstrelTextField>;
using FieldOf = std::function<Field(ConfirmViewController&)>;

class ConfirmEditingTest : public ResultsTest {
 protected:
  static bool errorShown(const ConfirmViewController& screen) {
    return !screen.errorContainer()->isHidden();
  }
  static std::string errorText(const ConfirmViewController& screen) {
    return screen.lblError->text().value_or("");
  }
};

const std::string kHundred(100, 'a');

TEST_F(ConfirmEditingTest, EachFieldIsCheckedWhenTheUserLeavesIt) {
  struct Row {
    const char* name;
    FieldOf field;
    std::string text;
    std::optional<std::string> message;  // the key shown; none when valid
  };
  const FieldOf id = [](ConfirmViewController& s) { return s.idNumberTextField; };
  const FieldOf birth = [](ConfirmViewController& s) { return s.dateOfBirthTextField; };
  const FieldOf issue = [](ConfirmViewController& s) { return s.dateIssueTextField; };
  const FieldOf expiry = [](ConfirmViewController& s) { return s.tfExpiryDate; };
  const FieldOf address = [](ConfirmViewController& s) { return s.addressTextField; };
  const FieldOf home = [](ConfirmViewController& s) { return s.tfHomeTown; };
  const FieldOf name = [](ConfirmViewController& s) { return s.nameTextField; };
  // A thumbs-up with a skin tone is two code points and one character.
  const std::string thumb = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";
  const std::vector<Row> rows = {
      {"ID of 9", id, "123456789", std::nullopt},
      {"ID of 10", id, "1234567890", "confirm_invalid_id"},
      {"ID of 12", id, "12345678901A", std::nullopt},
      {"ID of 8 and an emoji", id, "12345678" + thumb, std::nullopt},
      {"emptied ID", id, "", "confirm_invalid_id"},
      {"birth 05/07/1990", birth, "05/07/1990", std::nullopt},
      {"birth 5/7/1990", birth, "5/7/1990", "confirm_invalid_dob"},
      {"birth 31/02/1990", birth, "31/02/1990", "confirm_invalid_dob"},
      {"birth 25-12-1990", birth, "25-12-1990", std::nullopt},
      {"issue 31/02/1990", issue, "31/02/1990", "confirm_invalid_doi"},
      {"expiry 1/1/2030", expiry, "1/1/2030", "confirm_invalid_doe"},
      {"expiry emptied", expiry, "", std::nullopt},
      {"address of 100", address, kHundred, std::nullopt},
      {"home town of 100", home, kHundred, std::nullopt},
      {"name", name, "Trần Thị B", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto screen = openConfirmWith(personFields());
    auto field = row.field(*screen);
    enter(field, row.text);
    EXPECT_EQ(field->text(), row.text);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(errorShown(*screen), row.message.has_value());
    EXPECT_EQ(screen->confirmButton->isEnabled(), !row.message.has_value());
    if (row.message) {
      EXPECT_EQ(errorText(*screen), bracketed(*row.message));
    }
  }
}

TEST_F(ConfirmEditingTest, PlacesHoldAHundredCharactersYetALongerReadingCanBeShortened) {
  // 150 characters from the server: too long, but each deletion brings it nearer.
  JSON fields = personFields();
  fields["resident"] = std::string(150, 'x');
  auto screen = openConfirmWith(fields);
  auto address = screen->addressTextField;
  address->becomeFirstResponder();
  EXPECT_TRUE(address->deleteBackward());
  EXPECT_EQ(address->text().size(), 149u);
  EXPECT_FALSE(address->insertText("y"));
  user().pressReturn(address);
  EXPECT_EQ(errorText(*screen), "[confirm_invalid_address]");
  EXPECT_FALSE(screen->confirmButton->isEnabled());

  struct Row {
    const char* name;
    std::string start;
    std::string typed;  // inserted at the end in one edit, as a paste
    bool allowed;
  };
  // "ữ" written as u, horn and tilde: three code points, one character.
  const std::string decomposed = "u\xCC\x9B\xCC\x83";
  const std::string family =
      "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
  const std::vector<Row> rows = {
      {"the 100th", std::string(99, 'a'), "b", true},
      {"the 101st", kHundred, "b", false},
      {"a paste to 100", std::string(60, 'a'), std::string(40, 'b'), true},
      {"a paste past 100", std::string(60, 'a'), std::string(41, 'b'), false},
      {"a decomposed letter as the 100th", std::string(99, 'a'), decomposed, true},
      {"a family emoji as the 100th", std::string(99, 'a'), family, true},
      {"a family emoji as the 101st", kHundred, family, false},
      {"typing into an empty field", "", "H", true},
  };
  for (const Row& row : rows) {
    for (const auto& field : {screen->addressTextField, screen->tfHomeTown}) {
      SCOPED_TRACE(std::string(row.name) + (field == screen->tfHomeTown ? " (home)" : ""));
      field->setText(row.start);
      field->becomeFirstResponder();
      EXPECT_EQ(field->insertText(row.typed), row.allowed);
      EXPECT_EQ(field->text(), row.allowed ? row.start + row.typed : row.start);
    }
  }
  // Typed one character at a time, the decomposed letter still counts once.
  address->setText(std::string(99, 'a'));
  user().typeText(address, decomposed);
  EXPECT_EQ(address->text(), std::string(99, 'a') + decomposed);
  user().pressReturn(address);
  EXPECT_FALSE(errorShown(*screen));
}

TEST_F(ConfirmEditingTest, AnEditThatWouldSplitACharacterIsRefused) {
  auto screen = openConfirmWith(personFields());
  auto name = screen->nameTextField;
  name->setText("a\xF0\x9F\x98\x80");  // "a" and a face: three UTF-16 units
  name->becomeFirstResponder();
  EXPECT_FALSE(name->replaceCharacters({2, 1}, ""));
  EXPECT_FALSE(name->replaceCharacters({2, 0}, "b"));
  EXPECT_EQ(name->text(), "a\xF0\x9F\x98\x80");
  EXPECT_TRUE(name->replaceCharacters({1, 2}, "b"));
  EXPECT_EQ(name->text(), "ab");
}

TEST_F(ConfirmEditingTest, OneInvalidFieldKeepsTheButtonOffWhateverIsCheckedLast) {
  auto screen = openConfirmWith(personFields());
  enter(screen->idNumberTextField, "1234567890");
  EXPECT_FALSE(screen->confirmButton->isEnabled());
  // A valid field checked afterwards neither enables the button nor hides why it is off.
  enter(screen->nameTextField, "Trần Thị B");
  EXPECT_FALSE(screen->confirmButton->isEnabled());
  EXPECT_EQ(errorText(*screen), "[confirm_invalid_id]");
  enter(screen->dateOfBirthTextField, "31/02/1990");
  EXPECT_EQ(errorText(*screen), "[confirm_invalid_dob]");
  enter(screen->idNumberTextField, "123456789012");
  EXPECT_FALSE(screen->confirmButton->isEnabled());
  EXPECT_EQ(errorText(*screen), "[confirm_invalid_dob]");
  // A confirmation asked for in code is refused too, with the wrong field's message.
  screen->confirmInformation();
  EXPECT_TRUE(errorShown(*screen));
  EXPECT_EQ(errorText(*screen), "[confirm_invalid_dob]");
  runUntilIdle();
  EXPECT_TRUE(server.requests(kConfirm).empty());
  EXPECT_EQ(count("show loading"), 1);
  enter(screen->dateOfBirthTextField, "28/02/1990");
  EXPECT_TRUE(screen->confirmButton->isEnabled());
  EXPECT_FALSE(errorShown(*screen));
}

TEST_F(ConfirmEditingTest, DoneWritesThePickedDayAndEndsTheEditing) {
  auto screen = openConfirmWith(personFields());
  struct Row {
    Field field;
    std::shared_ptr<DatePicker> picker;
    int tag;
  };
  const std::vector<Row> rows = {{screen->dateOfBirthTextField, screen->datePickerDOB, 1},
                                 {screen->dateIssueTextField, screen->datePickerDOI, 2},
                                 {screen->tfExpiryDate, screen->datePickerDOE, 3}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tag);
    EXPECT_EQ(row.field->inputView, row.picker);
    EXPECT_EQ(row.picker->timeZoneIdentifier, "Asia/Ho_Chi_Minh");
    EXPECT_EQ(row.picker->datePickerMode, DatePicker::Mode::date);
    EXPECT_EQ(row.picker->preferredDatePickerStyle, DatePicker::Style::wheels);
    auto toolbar = std::dynamic_pointer_cast<Toolbar>(row.field->inputAccessoryView);
    ASSERT_TRUE(toolbar);
    ASSERT_EQ(toolbar->items().size(), 1u);
    auto done = toolbar->items().front();
    EXPECT_EQ(done->systemItem, BarButtonItem::SystemItem::done);
    EXPECT_EQ(done->tag, row.tag);
    // The field held another format; Done writes the picker's day as dd/MM/yyyy.
    row.field->setText("1990-12-25");
    row.picker->date = Helpers::dateFromString("07/03/1991", "dd/MM/yyyy")->timeIntervalSince1970;
    row.field->becomeFirstResponder();
    user().tap(done);
    EXPECT_EQ(row.field->text(), "07/03/1991");
    EXPECT_FALSE(row.field->isEditing());
    EXPECT_FALSE(errorShown(*screen));
  }
  // Return ends the editing and keeps the keyboard's return from doing anything else.
  screen->nameTextField->becomeFirstResponder();
  EXPECT_FALSE(user().pressReturn(screen->nameTextField));
  EXPECT_FALSE(screen->nameTextField->isEditing());
  // So does a tap on the screen.
  screen->idNumberTextField->becomeFirstResponder();
  user().fire(screen->dismissTap());
  EXPECT_FALSE(screen->idNumberTextField->isEditing());
}

TEST_F(ConfirmEditingTest, TheKeyboardInsetsTheFormWhileTheScreenIsShown) {
  auto screen = openConfirmWith(personFields());
  advance(1);
  EXPECT_EQ(screen->scrollView->keyboardDismissMode, KeyboardDismissMode::onDrag);
  EXPECT_TRUE(screen->navigationController()->isNavigationBarHidden());
  const EdgeInsets before = screen->scrollView->contentInset();
  screen->addressTextField->becomeFirstResponder();
  showKeyboard({0, 544, 390, 300});
  advance(1);
  EXPECT_GT(screen->scrollView->contentInset().bottom, before.bottom);
  hideKeyboard();
  advance(1);
  EXPECT_EQ(screen->scrollView->contentInset(), before);
  // Once another screen covers it, the keyboard no longer moves it.
  screen->navigationController()->pushViewController(make<ViewController>(), false);
  advance(1);
  EXPECT_FALSE(screen->navigationController()->isNavigationBarHidden());
  showKeyboard({0, 544, 390, 300});
  advance(1);
  EXPECT_EQ(screen->scrollView->contentInset(), before);
}

TEST_F(ConfirmEditingTest, GenderChoiceShowsTheTintedTickOnTheChosenSide) {
  config->appearance->mainColor = "FF0000";
  auto screen = openConfirmWith({{"name", "A"}});
  EXPECT_EQ(screen->gender, 0);
  EXPECT_FALSE(screen->maleImageView->image());
  auto checked = tinted(bundleImage("checked"), colorFromHex("FF0000"));
  auto unchecked = bundleImage("uncheck");
  ASSERT_TRUE(checked && unchecked);
  user().tap(screen->femaleImageView);
  EXPECT_EQ(screen->gender, 2);
  EXPECT_TRUE(samePixels(screen->femaleImageView->image(), checked));
  EXPECT_TRUE(samePixels(screen->maleImageView->image(), unchecked));
  user().tap(screen->maleLabel);
  EXPECT_EQ(screen->gender, 1);
  EXPECT_TRUE(samePixels(screen->maleImageView->image(), checked));
  EXPECT_TRUE(samePixels(screen->femaleImageView->image(), unchecked));
}

}  // namespace
}  // namespace ostrel::results_test
