#include <gtest/gtest.h>

#include <pango/pangocairo.h>

#include "platform/foundation/Make.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/PangoText.hpp"
#include "platform/ui/Renderer.hpp"
#include "platform/ui/TextField.hpp"
#include "testing/PixelProbe.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/ScriptedUser.hpp"
#include "ui/OSLPaddingLabel.hpp"
#include "ui/OstrelTextField.hpp"

namespace ostrel::testing {
namespace {

using namespace platform;

// Sentences with every Vietnamese tone mark on plain and modified vowels, and the kit's English.
const char* const kTexts[] = {
    "Vui lòng đặt mặt trước của giấy tờ vào khung hình",
    "Ảnh chụp bị mờ, lóa hoặc thiếu góc. Hãy thử lại ở nơi đủ ánh sáng.",
    "Xác thực khuôn mặt: quay đầu sang trái, sang phải, ngẩng lên, cúi xuống",
    "Ưu tiên: Ứng dụng ữ ự ừ ử ỡ ợ ờ ở ẫ ậ ầ ẩ ễ ệ ề ể ỗ ộ ồ ổ ỹ ỵ ỳ ỷ",
    "Place the front of your ID card inside the frame",
};

class TextTest : public UITest {
 protected:
  TextTest() { PangoTextMeasurer::install(); }
  ~TextTest() override { TextMeasurer::install(nullptr); }
};

TEST_F(TextTest, EveryScriptShapesWithoutMissingGlyphs) {
  PangoContext* context = makeTextContext();
  for (const char* text : kTexts) {
    SCOPED_TRACE(text);
    PangoLayout* layout = makeTextLayout(context, text, {}, 0);
    EXPECT_EQ(pango_layout_get_unknown_glyphs_count(layout), 0);
    g_object_unref(layout);
  }
  // Broken bytes from user text still draw what is readable.
  PangoLayout* broken = makeTextLayout(context, "Nguy\xff\xfe\xc3n", {}, 0);
  EXPECT_GT(textLayoutSize(broken, 0).width, 30);
  g_object_unref(broken);
  g_object_unref(context);
}

TEST_F(TextTest, DrawnInkFitsTheFrameTheMeasurerGave) {
  struct Size_ {
    double points;
    FontWeight weight;
  };
  // The sizes and weights the kit's labels and buttons use.
  const Size_ sizes[] = {{12, FontWeight::regular}, {14, FontWeight::regular},
                         {15, FontWeight::medium},  {16, FontWeight::semibold},
                         {17, FontWeight::regular}, {20, FontWeight::bold},
                         {24, FontWeight::bold}};
  for (const auto& size : sizes) {
    for (const char* text : kTexts) {
      SCOPED_TRACE(std::to_string(size.points) + " " + text);
      auto root = make<View>(Rect{0, 0, 360, 400});
      root->setBackgroundColor(Color::white());
      auto label = make<Label>(Rect{20, 20, 300, 10});
      label->setFont(Font::systemFont(size.points, size.weight));
      label->setNumberOfLines(0);
      label->setText(text);
      // Sized the way layout code sizes a multi-line label: fitting its width.
      Size fitted = TextMeasurer::shared().boundingSize(text, label->font(), {300, 0}, 0);
      label->setFrame({{20, 20}, {300, fitted.height}});
      root->addSubview(label);
      auto image = snapshot(*root, 2);
      auto ink = inkBounds(*image, Color::white());
      ASSERT_TRUE(ink);
      // Half a pixel of antialiasing either way.
      EXPECT_GE(ink->minX(), 20 - 0.5);
      EXPECT_GE(ink->minY(), 20 - 0.5);
      EXPECT_LE(ink->maxX(), 320 + 0.5);
      EXPECT_LE(ink->maxY(), 20 + fitted.height + 0.5);
      EXPECT_GT(ink->height(), fitted.height * 0.5) << "the text fills its lines";
      // One-line width agrees with the drawn width of the same text on one line.
      Size oneLine = TextMeasurer::shared().boundingSize(text, label->font(), {0, 0}, 1);
      EXPECT_NEAR(oneLine.width, TextMeasurer::shared().lineWidth(text, label->font()), 1.0);
    }
  }
}

// Capitals carry two marks in Vietnamese ("NGUYỄN": a tilde over the circumflex) whose ink rises
// above the font's line. A label sized by the measurer holds that ink, and a label whose frame
// is only a line high (a nib's fixed height) still draws it rather than cutting it to "NGUYÊN".
TEST_F(TextTest, MarksStackedOverCapitalsAreDrawnWhole) {
  const std::string name = samplePerson().printedName;
  const Font fonts[] = {Font::systemFont(14), Font::systemFont(14, FontWeight::semibold),
                        Font::systemFont(17, FontWeight::medium),
                        Font::systemFont(20, FontWeight::bold)};
  for (const Font& font : fonts) {
    SCOPED_TRACE(std::to_string(font.pointSize));
    const double rise = stackedMarkRise(name, font);
    ASSERT_GT(rise, font.pointSize * 0.15) << "the name's marks rise above its capitals";
    Size fitted = TextMeasurer::shared().boundingSize(name, font, {300, 0}, 1);
    const Rect frames[] = {{{20, 30}, {300, fitted.height}}, {{20, 30}, {300, font.lineHeight()}}};
    for (const Rect& frame : frames) {
      SCOPED_TRACE(frame.height());
      auto root = make<View>(Rect{0, 0, 360, 100});
      root->setBackgroundColor(Color::white());
      auto label = make<Label>(frame);
      label->setFont(font);
      label->setNumberOfLines(1);
      label->setText(name);
      root->addSubview(label);
      auto image = snapshot(*root, 2);
      auto drawn = inkRiseAboveCapitals(*image, {0, 0, 360, 100}, Color::white());
      ASSERT_TRUE(drawn);
      EXPECT_GE(*drawn, rise - 0.75) << "the tilde above the circumflex is drawn";
      if (frame.height() == fitted.height) {
        auto ink = inkBounds(*image, Color::white());
        ASSERT_TRUE(ink);
        EXPECT_GE(ink->minY(), frame.minY() - 0.5);
        EXPECT_LE(ink->maxY(), frame.maxY() + 0.5);
      }
    }
  }
}

TEST_F(TextTest, TwoLineVietnameseLabelTruncatesInsideItsFrame) {
  auto root = make<View>(Rect{0, 0, 200, 120});
  root->setBackgroundColor(Color::white());
  auto label = make<Label>(Rect{10, 10, 160, 100});
  label->setFont(Font::systemFont(17));
  label->setNumberOfLines(2);
  label->setText(kTexts[1]);
  root->addSubview(label);
  Font font = label->font();
  Size twoLines = TextMeasurer::shared().boundingSize(kTexts[1], font, {160, 0}, 2);
  Size allLines = TextMeasurer::shared().boundingSize(kTexts[1], font, {160, 0}, 0);
  ASSERT_GT(allLines.height, twoLines.height) << "the sentence needs more than two lines";
  Size oneLine = TextMeasurer::shared().boundingSize(kTexts[1], font, {160, 0}, 1);
  EXPECT_NEAR(twoLines.height, 2 * oneLine.height, 1.0);

  auto image = snapshot(*root, 2);
  auto ink = inkBounds(*image, Color::white());
  ASSERT_TRUE(ink);
  // Centred vertically in the label, two lines high, never wider than the label.
  double top = 60 - twoLines.height / 2;
  EXPECT_GE(ink->minY(), top - 0.5);
  EXPECT_LE(ink->maxY(), top + twoLines.height + 0.5);
  EXPECT_GT(ink->height(), oneLine.height) << "both lines are drawn";
  EXPECT_GE(ink->minX(), 10 - 0.5);
  EXPECT_LE(ink->maxX(), 170 + 0.5);

  // Tail truncation: the second line ends in an ellipsis, so it differs from plain clipping.
  label->lineBreakMode = LineBreakMode::byWordWrapping;
  auto clipped = snapshot(*root, 2);
  EXPECT_GT(cv::norm(image->bitmap(), clipped->bitmap(), cv::NORM_INF), 0);
  auto clippedInk = inkBounds(*clipped, Color::white());
  ASSERT_TRUE(clippedInk);
  EXPECT_LE(clippedInk->maxY(), top + twoLines.height + 0.5) << "the third line stays hidden";

  // Unlimited lines in a frame two lines high: the lines it holds, not text spilling out.
  label->setNumberOfLines(0);
  label->lineBreakMode = LineBreakMode::byTruncatingTail;
  label->setFrame({10, 10, 160, twoLines.height + 2});
  auto held = inkBounds(*snapshot(*root, 2), Color::white());
  ASSERT_TRUE(held);
  EXPECT_GE(held->minY(), 10 - 0.5);
  EXPECT_LE(held->maxY(), 10 + twoLines.height + 2 + 0.5);
}

TEST_F(TextTest, PaddedLabelsDrawInsideTheirPadding) {
  auto root = make<View>(Rect{0, 0, 200, 60});
  root->setBackgroundColor(Color::white());
  auto label = make<OSLPaddingLabel>(Rect{0, 0, 200, 60});
  label->leftInset = 40;
  label->topInset = 20;
  label->textAlignment = TextAlignment::left;
  label->setText("Đã hiểu");
  root->addSubview(label);
  auto ink = inkBounds(*snapshot(*root, 2), Color::white());
  ASSERT_TRUE(ink);
  EXPECT_GE(ink->minX(), 40);
  EXPECT_LT(ink->minX(), 45);
  EXPECT_GE(ink->minY(), 20);
}

// A field holds one line, however long its text (the review screen's addresses): drawn inside
// its text rectangle, starting at its start until it edits, then showing its end by the caret.
TEST_F(TextTest, AFieldDrawsItsTextOnOneLine) {
  auto root = make<View>(Rect{0, 0, 200, 60});
  root->setBackgroundColor(Color::white());
  show(make<ViewController>());
  window()->rootViewController()->view()->addSubview(root);
  auto field = make<TextField>(Rect{10, 10, 180, 40});
  field->setText(kTexts[1]);
  root->addSubview(field);
  const double lineHeight = field->font.lineHeight();
  auto ink = [&] {
    auto found = inkBounds(*snapshot(*root, 2), Color::white());
    EXPECT_TRUE(found);
    return found.value_or(Rect{});
  };
  const Rect resting = ink();
  EXPECT_LE(resting.height(), lineHeight + 1) << "one line";
  EXPECT_GE(resting.minY(), 10);
  EXPECT_LE(resting.maxY(), 50);
  EXPECT_GE(resting.minX(), 10);
  EXPECT_LE(resting.maxX(), 190 + 0.5);
  ASSERT_TRUE(field->becomeFirstResponder());
  const Rect editing = ink();
  EXPECT_LE(editing.height(), lineHeight + 1);
  const Rect caret = ViewRenderer().caretRect(*field);
  EXPECT_NEAR(editing.maxX(), 10 + caret.maxX(), 4) << "the text's end meets the caret";
  field->resignFirstResponder();
}

// The confirmation screen's boxed field keeps its text off the box's border.
TEST_F(TextTest, ABoxedFieldKeepsItsTextOffItsBorder) {
  auto root = make<View>(Rect{0, 0, 200, 60});
  root->setBackgroundColor(Color::white());
  auto field = make<ostrel::OstrelTextField>(Rect{10, 10, 180, 40});
  field->setupTextField();
  field->setText("NGUYỄN THỊ MAI ANH");
  root->addSubview(field);
  const Color box = field->backgroundColor().value_or(Color::white());
  auto image = snapshot(*root, 2);
  // The text's ink inside the box, away from the border's own pixels.
  double left = 1e9;
  for (double x = 12; x < 100; x += 0.5) {
    for (double y = 14; y < 46; y += 0.5) {
      if (!pixelAt(*image, {x, y}).isApproximately(box, 0.3)) left = std::min(left, x);
    }
  }
  ASSERT_LT(left, 100) << "the text is drawn";
  EXPECT_GE(left, 10 + 5) << "the text starts clear of the border";
}

TEST_F(TextTest, IntrinsicSizesComeFromThePangoMetrics) {
  auto label = make<Label>();
  label->setFont(Font::systemFont(17));
  label->setText("Tiếp tục");
  Size intrinsic = label->intrinsicContentSize();
  TextMeasurer::install(nullptr);
  Size deterministic = label->intrinsicContentSize();
  EXPECT_NE(intrinsic.width, deterministic.width) << "the installed measurer is used";
  EXPECT_GT(intrinsic.width, 17 * 2);
  EXPECT_LT(intrinsic.height, 17 * 1.6);
  EXPECT_GT(intrinsic.height, 17);
}

}  // namespace
}  // namespace ostrel::testing
