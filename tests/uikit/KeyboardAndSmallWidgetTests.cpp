#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/Bundle.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/Keyboard.hpp"
#include "platform/ui/TextField.hpp"
#include "testing/GifWriter.hpp"
#include "tests/uikit/UIKitTest.hpp"
#include "ui/AnimatedImage.hpp"
#include "ui/AttributedText.hpp"
#include "ui/LocalisableLabel.hpp"
#include "ui/OSLDynamicHeightTableView.hpp"
#include "ui/OSLPaddingLabel.hpp"
#include "ui/OstrelTextField.hpp"
#include "ui/TPKeyboardAvoidingState.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel::uikit_test {
namespace {

// A scroll view filling the window with content 1600 high and a field in it.
class KeyboardTest : public UIKitTest {
 protected:
  void SetUp() override {
    auto screen = make<ViewController>();
    show(screen);
    scroll = make<ScrollView>(Rect{0, 0, 390, 844});
    scroll->setContentSize({390, 1600});
    scroll->setContentInset({10, 0, 0, 0});
    screen->view()->addSubview(scroll);
    field = make<TextField>(Rect{20, 1000, 300, 40});
    scroll->addSubview(field);
  }
  Notification note(const char* name, std::optional<Rect> end, std::optional<Rect> begin = {}) {
    JSON info = JSON::object();
    if (end) info[KeyboardFrameEndUserInfoKey] = rectToJSON(*end);
    if (begin) info[KeyboardFrameBeginUserInfoKey] = rectToJSON(*begin);
    info[KeyboardAnimationDurationUserInfoKey] = 0.25;
    return {name, info};
  }
  void willShow(Rect end) {
    TPKeyboardAvoiding_keyboardWillShow(*scroll, note(KeyboardWillShowNotification, end));
  }
  void willHide() {
    TPKeyboardAvoiding_keyboardWillHide(*scroll,
                                        note(KeyboardWillHideNotification, Rect{0, 844, 390, 300}));
  }
  std::shared_ptr<ScrollView> scroll;
  std::shared_ptr<TextField> field;
};

TEST_F(KeyboardTest, KeyboardOverlapBecomesTheBottomInsetAfterAMoment) {
  scroll->isPagingEnabled = true;
  willShow({0, 544, 390, 300});
  EXPECT_FALSE(scroll->isPagingEnabled);
  EXPECT_EQ(scroll->contentInset().bottom, 0);  // applied 0.01 s later
  advance(0.01);
  EXPECT_EQ(scroll->contentInset(), (EdgeInsets{10, 0, 300, 0}));
  EXPECT_EQ(scroll->scrollIndicatorInsets(), scroll->contentInset());
  EXPECT_EQ(animations().back()->duration, 0.25);
  willHide();
  EXPECT_EQ(scroll->contentInset(), (EdgeInsets{10, 0, 0, 0}));
  EXPECT_TRUE(scroll->isPagingEnabled);

  // A keyboard entirely below the scroll view covers nothing.
  scroll->setFrame({0, 0, 390, 400});
  willShow({0, 544, 390, 300});
  advance(0.01);
  EXPECT_EQ(scroll->contentInset().bottom, 0);
}

TEST_F(KeyboardTest, RepeatedShowsRestoreWhatWasThereFirst) {
  scroll->setScrollIndicatorInsets({1, 2, 3, 4});
  willShow({0, 544, 390, 300});
  advance(0.01);
  willShow({0, 494, 390, 350});
  advance(0.01);
  EXPECT_EQ(scroll->contentInset().bottom, 350);
  EXPECT_TRUE(keyboardAvoidingState(*scroll).keyboardVisible);
  willHide();
  EXPECT_EQ(scroll->contentInset(), (EdgeInsets{10, 0, 0, 0}));
  EXPECT_EQ(scroll->scrollIndicatorInsets(), (EdgeInsets{1, 2, 3, 4}));
  // A hide without a show changes nothing.
  scroll->setContentInset({5, 5, 5, 5});
  willHide();
  EXPECT_EQ(scroll->contentInset(), (EdgeInsets{5, 5, 5, 5}));
}

TEST_F(KeyboardTest, FocusedFieldIsCentredWithinTheLimits) {
  field->becomeFirstResponder();
  willShow({0, 544, 390, 300});
  advance(0.01);
  // Viewable 844 - 10 - 300 = 534; the field's middle goes to its middle.
  EXPECT_EQ(scroll->contentOffset().y, 1000 - (534 - 40) / 2.0);
  willHide();

  // Near the top the offset stops at -top inset.
  field->setFrame({20, 5, 300, 40});
  willShow({0, 544, 390, 300});
  advance(0.01);
  EXPECT_EQ(scroll->contentOffset().y, -10);
  willHide();

  // Content shorter than the viewable area stays at the top: no gap pushed in above it.
  scroll->setContentSize({390, 200});
  field->setFrame({20, 150, 300, 40});
  willShow({0, 544, 390, 300});
  advance(0.01);
  EXPECT_EQ(scroll->contentOffset().y, -10);
}

TEST_F(KeyboardTest, EmptyEndFrameAndEarlyHideLeaveNothingBehind) {
  scroll->isPagingEnabled = true;
  willShow({0, 544, 390, 300});
  advance(0.01);
  // The keyboard goes away through a will-show with an empty end frame.
  willShow({0, 844, 390, 0});
  EXPECT_FALSE(keyboardAvoidingState(*scroll).keyboardVisible);
  EXPECT_EQ(scroll->contentInset(), (EdgeInsets{10, 0, 0, 0}));
  EXPECT_TRUE(scroll->isPagingEnabled);

  // A hide inside the 0.01 s before the adjustment wins.
  willShow({0, 544, 390, 300});
  willHide();
  advance(0.01);
  EXPECT_EQ(scroll->contentInset(), (EdgeInsets{10, 0, 0, 0}));
  EXPECT_TRUE(scroll->isPagingEnabled);
}

TEST_F(KeyboardTest, OddNotificationsAreTakenCalmly) {
  // No user info: nothing.
  TPKeyboardAvoiding_keyboardWillShow(*scroll, Notification{KeyboardWillShowNotification, {}});
  EXPECT_FALSE(keyboardAvoidingState(*scroll).keyboardVisible);
  // No duration: 0.25; a malformed begin frame counts as empty.
  JSON info = {{KeyboardFrameEndUserInfoKey, rectToJSON({0, 544, 390, 300})},
               {KeyboardFrameBeginUserInfoKey, "nonsense"}};
  TPKeyboardAvoiding_keyboardWillShow(*scroll, {KeyboardWillShowNotification, info});
  EXPECT_EQ(keyboardAvoidingState(*scroll).animationDuration, 0.25);
  EXPECT_TRUE(keyboardAvoidingState(*scroll).keyboardVisible);
  // Equal frames are ignored only when asked to.
  auto& state = keyboardAvoidingState(*scroll);
  state.ignoringNotifications = true;
  state.keyboardRect = {};
  TPKeyboardAvoiding_keyboardWillShow(
      *scroll, note(KeyboardWillShowNotification, Rect{0, 500, 390, 344}, Rect{0, 500, 390, 344}));
  EXPECT_EQ(state.keyboardRect, Rect{});
}

// --------------------------------------------------------------------- small widgets

class SmallWidgetTest : public UIKitTest {};

TEST_F(SmallWidgetTest, LocalisableWidgetsUseTheMainBundle) {
  auto dir = dataDirectory() / "Host.app";
  std::filesystem::create_directories(dir / "en.lproj");
  std::ofstream(dir / "en.lproj" / "Localizable.json") << R"({"greeting": "Hello there"})";
  Bundle::setMain(Bundle::open(dir));

  auto label = make<LocalisableLabel>();
  label->setLocalisedKey("greeting");
  EXPECT_EQ(label->text(), "Hello there");
  label->setLocalisedKey(std::nullopt);
  EXPECT_EQ(label->text(), "Hello there");
  label->setLocalisedKey("missing_key");
  EXPECT_EQ(label->text(), "missing_key");

  auto plain = make<Label>();
  setLocalizableText(*plain, "greeting");
  EXPECT_EQ(localizableText(*plain), "Hello there");
  setLocalizableText(*plain, std::nullopt);
  EXPECT_EQ(localizableText(*plain), "Hello there");

  auto button = make<LocalisableButton>();
  button->setLocalisedKey("guide_note");
  EXPECT_EQ(button->title(ControlState::normal), "GUIDE_NOTE");
  button->setLocalisedKey(std::nullopt);
  EXPECT_EQ(button->title(ControlState::normal), "GUIDE_NOTE");
  Bundle::setMain(nullptr);
}

TEST_F(SmallWidgetTest, PaddingLabelPadsOnlyText) {
  auto label = make<OSLPaddingLabel>(Rect{0, 0, 200, 40});
  label->topInset = label->bottomInset = label->leftInset = label->rightInset = 8;
  Size empty = label->intrinsicContentSize();
  auto plain = make<Label>();
  EXPECT_EQ(empty, plain->intrinsicContentSize());
  label->display();
  EXPECT_EQ(label->lastDrawnTextRect(), (Rect{0, 0, 200, 40}));
  label->setText("ABC");
  plain->setText("ABC");
  Size padded = label->intrinsicContentSize();
  EXPECT_EQ(padded.width, plain->intrinsicContentSize().width + 16);
  EXPECT_EQ(padded.height, plain->intrinsicContentSize().height + 16);
  label->display();
  EXPECT_EQ(label->lastDrawnTextRect(), (Rect{8, 8, 184, 24}));
}

TEST_F(SmallWidgetTest, TextFieldAndTableAndAttributedText) {
  auto field = make<OstrelTextField>();
  field->awakeFromNib();
  EXPECT_EQ(cornerRadius(*field), 5);
  EXPECT_TRUE(field->clipsToBounds());
  EXPECT_EQ(borderWidth(*field), 1);
  EXPECT_EQ(borderColors(*field), colorFromHex("696969"));
  EXPECT_EQ(field->backgroundColor(), colorFromHex("ECECEC"));
  EXPECT_EQ(field->font, Font::systemFont(14, FontWeight::bold));
  EXPECT_EQ(field->textColor, Color::black());
  EXPECT_EQ(field->autocorrectionType, TextAutocorrectionType::no);

  auto table = make<OSLDynamicHeightTableView>(Rect{0, 0, 390, 100});
  int rows = 2;
  table->numberOfRows = [&](TableView&, int) { return rows; };
  table->cellForRow = [](TableView&, IndexPath) { return make<TableViewCell>(); };
  table->rowHeight = 50;
  table->reloadData();
  int before = table->intrinsicContentSizeInvalidations();
  EXPECT_EQ(table->intrinsicContentSize(), (Size{kNoIntrinsicMetric, 100}));
  rows = 5;
  table->reloadData();
  EXPECT_GT(table->intrinsicContentSizeInvalidations(), before);
  EXPECT_EQ(table->intrinsicContentSize().height, 250);

  auto text = makeAttributedText("Hi", Color::gray(), Font::systemFont(13), TextAlignment::right,
                                 true, 4.0, LineBreakMode::byWordWrapping, true);
  EXPECT_EQ(text.string, "Hi");
  EXPECT_EQ(text.font, Font::systemFont(13));
  EXPECT_EQ(text.foregroundColor, Color::gray());
  EXPECT_EQ(text.underlineStyle, 1);
  EXPECT_EQ(text.strikethroughStyle, 1);
  ASSERT_TRUE(text.paragraphStyle);
  EXPECT_EQ(text.paragraphStyle->lineSpacing, 4.0);
  EXPECT_EQ(text.paragraphStyle->alignment, TextAlignment::right);
  EXPECT_EQ(text.paragraphStyle->lineBreakMode, LineBreakMode::byWordWrapping);
  auto plainText = makeAttributedText("Hi", Color::gray(), Font::systemFont(13));
  EXPECT_FALSE(plainText.paragraphStyle->lineSpacing);
  EXPECT_EQ(plainText.underlineStyle, 0);
}

cv::Mat solid(int r, int g, int b) {
  return cv::Mat(4, 4, CV_8UC4, cv::Scalar(r, g, b, 255));
}

// An image source played by the test.
class ScriptedSource : public ImageSource {
 public:
  struct Frame {
    ImagePtr image;
    JSON properties;
  };
  std::vector<Frame> frames;
  std::size_t count() const override { return frames.size(); }
  ImagePtr imageAt(std::size_t i) const override {
    return i < frames.size() ? frames[i].image : nullptr;
  }
  JSON propertiesAt(std::size_t i) const override {
    return i < frames.size() ? frames[i].properties : JSON::object();
  }
};

JSON gifDelays(JSON unclamped, JSON clamped) {
  JSON gif = JSON::object();
  if (!unclamped.is_null()) gif[kImagePropertyGIFUnclampedDelayTime] = unclamped;
  if (!clamped.is_null()) gif[kImagePropertyGIFDelayTime] = clamped;
  return {{kImagePropertyGIFDictionary, gif}};
}

TEST_F(SmallWidgetTest, GifFramesRepeatByTheirDelays) {
  auto data =
      testing::writeGif({{solid(255, 0, 0), 5}, {solid(0, 255, 0), 20}, {solid(0, 0, 255), 30}});
  ASSERT_TRUE(data);
  auto source = ImageSource::create(*data);
  ASSERT_TRUE(source);
  auto image = animatedImage(*source);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->images().size(), 6u);
  EXPECT_DOUBLE_EQ(image->duration(), 0.6);
  // Frame entries pair with their own pictures: 1 red, 2 green, 3 blue.
  std::vector<int> greens;
  for (const auto& f : image->images()) greens.push_back(f->bitmap().at<cv::Vec4b>(0, 0)[1]);
  EXPECT_EQ(greens, (std::vector<int>{0, 255, 255, 0, 0, 0}));

  // A frame that cannot be decoded goes with its delay.
  ScriptedSource broken;
  broken.frames = {{std::make_shared<Image>(solid(255, 0, 0)), gifDelays(0.2, 0.2)},
                   {nullptr, gifDelays(0.5, 0.5)},
                   {std::make_shared<Image>(solid(0, 0, 255)), gifDelays(0.3, 0.3)}};
  auto played = animatedImage(broken);
  ASSERT_TRUE(played);
  EXPECT_EQ(played->images().size(), 5u);  // 200 and 300 ms in steps of 100
  EXPECT_DOUBLE_EQ(played->duration(), 0.5);
  EXPECT_EQ(played->images()[1]->bitmap().at<cv::Vec4b>(0, 0)[0], 255);
  EXPECT_EQ(played->images()[2]->bitmap().at<cv::Vec4b>(0, 0)[2], 255);
}

TEST_F(SmallWidgetTest, GifDelaysAreReadAndRoundedSoundly) {
  struct Row {
    JSON properties;
    std::int64_t ms;
  };
  const std::vector<Row> rows{
      {gifDelays(0.05, 0.1), 100},    // below 0.1 s
      {gifDelays(0.0, 0.3), 300},     // unclamped 0 uses the clamped delay
      {gifDelays(2.01, 2.01), 2010},  // rounded, not truncated to 2009
      {gifDelays(0.11f, 0.11f), 110},
      {gifDelays(nullptr, nullptr), 100},  // no delay at all
      {JSON::object(), 100},
      {gifDelays("0.5", 0.2), 200},  // not a number: the clamped one
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.properties.dump());
    EXPECT_EQ(gifFrameDelayMilliseconds(row.properties), row.ms);
  }

  ScriptedSource source;
  auto a = std::make_shared<Image>(solid(1, 1, 1));
  auto b = std::make_shared<Image>(solid(2, 2, 2));
  // 2010 and 670 ms share 670: four entries. Truncated to 2009 they would share only 1 ms.
  source.frames = {{a, gifDelays(2.01, 2.01)}, {b, gifDelays(0.67, 0.67)}};
  auto image = animatedImage(source);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->images().size(), 4u);
  EXPECT_DOUBLE_EQ(image->duration(), 2.68);
  ScriptedSource empty;
  EXPECT_FALSE(animatedImage(empty));
  source.frames = {{nullptr, gifDelays(0.2, 0.2)}};
  EXPECT_FALSE(animatedImage(source));
}

}  // namespace
}  // namespace ostrel::uikit_test
