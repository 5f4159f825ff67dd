#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/Make.hpp"
#include "platform/media/GraphicsContext.hpp"
#include "platform/ui/Transaction.hpp"
#include "testing/ScriptedUser.hpp"

namespace ostrel {
namespace {

using namespace platform;
using Kind = GraphicsOperation::Kind;

cv::Vec4b pixelAt(const Image& image, double x, double y) {
  return image.bitmap().at<cv::Vec4b>(static_cast<int>(y * image.scale()),
                                      static_cast<int>(x * image.scale()));
}

// An overlay drawn the way the capture masks are: a tinted cover with a hole cut into it and an
// outline around the hole. Its layout decides where the hole goes, so drawing must follow layout.
class HoleView : public View {
 public:
  using View::View;
  std::vector<std::string>* journal = nullptr;
  Rect hole;
  int draws = 0;

  void layoutSubviews() override {
    hole = {bounds().width() / 4, bounds().height() / 4, bounds().width() / 2,
            bounds().height() / 2};
    if (journal) journal->push_back("layout " + std::to_string(tag()));
  }
  void draw(Rect rect) override {
    ++draws;
    if (journal) journal->push_back("draw " + std::to_string(tag()));
    auto context = currentImageContext();
    ASSERT_TRUE(context);
    context->setFillColor({0, 0, 1, 0.5});
    context->fill(rect);
    context->setBlendMode(BlendMode::clear);
    context->fillPath(Path::roundedRect(hole, 4));
    context->setBlendMode(BlendMode::normal);
    context->setStrokeColor({1, 0, 0, 1});
    context->setLineWidth(2);
    context->strokePath(Path::ellipse(hole));
  }
};

class DisplayPassTest : public testing::UITest {};

TEST_F(DisplayPassTest, LaysOutThenDrawsMarkedViewsParentsFirstAtScreenScale) {
  std::vector<std::string> journal;
  auto parent = make<HoleView>(Rect{0, 0, 100, 60});
  parent->setTag(1);
  auto child = make<HoleView>(Rect{10, 10, 40, 20});
  child->setTag(2);
  parent->journal = child->journal = &journal;
  parent->addSubview(child);
  window()->addSubview(parent);

  // Nothing is drawn before something asks.
  runDisplayPass();
  EXPECT_EQ(parent->draws, 0);
  EXPECT_FALSE(parent->drawnContents());

  child->setNeedsDisplay();
  parent->setNeedsDisplay();
  parent->setFrame({0, 0, 120, 80});
  journal.clear();
  runDisplayPass();
  EXPECT_EQ(journal, (std::vector<std::string>{"layout 1", "draw 1", "draw 2"}));
  EXPECT_FALSE(parent->needsDisplay());
  EXPECT_FALSE(child->needsDisplay());

  auto contents = parent->drawnContents();
  ASSERT_TRUE(contents);
  EXPECT_EQ(contents->pixelWidth(), 360);
  EXPECT_EQ(contents->pixelHeight(), 240);
  EXPECT_EQ(contents->size(), (Size{120, 80}));
  // The hole (30, 20, 60, 40) is cleared, the cover around it is half-transparent blue, and the
  // outline sits on the hole's oval (left end of its horizontal axis).
  EXPECT_EQ(pixelAt(*contents, 60, 40), (cv::Vec4b{0, 0, 0, 0}));
  EXPECT_EQ(pixelAt(*contents, 5, 5), (cv::Vec4b{0, 0, 255, 128}));
  EXPECT_EQ(pixelAt(*contents, 30.2, 40), (cv::Vec4b{255, 0, 0, 255}));
  EXPECT_EQ(pixelAt(*contents, 33, 40), (cv::Vec4b{0, 0, 0, 0}));
  // The hole's rounded corner leaves the cover in the corner's cut-off.
  EXPECT_EQ(pixelAt(*contents, 30.3, 20.3), (cv::Vec4b{0, 0, 255, 128}));

  // An unmarked view is not drawn again; a redraw content mode redraws on a size change.
  runDisplayPass();
  EXPECT_EQ(parent->draws, 1);
  parent->setContentMode(ContentMode::redraw);
  parent->setFrame({0, 0, 100, 80});
  EXPECT_TRUE(parent->needsDisplay());
  runDisplayPass();
  EXPECT_EQ(parent->draws, 2);
  EXPECT_EQ(parent->drawnContents()->pixelWidth(), 300);
}

TEST(GraphicsContextTest, RecordsEveryOperationBesideThePixels) {
  beginImageContext({20, 10}, false, 2);
  auto context = currentImageContext();
  ASSERT_TRUE(context);
  context->setFillColor(Color::white());
  context->fill({0, 0, 20, 10});
  context->setBlendMode(BlendMode::clear);
  context->fillPath(Path::roundedRect({2, 2, 8, 6}, 3));
  context->setBlendMode(BlendMode::normal);
  context->setStrokeColor(Color::systemGreen());
  context->setLineWidth(1.5);
  context->strokePath(Path::ellipse({12, 2, 6, 6}));
  Image stamp(cv::Mat(2, 2, CV_8UC4, cv::Scalar(1, 2, 3, 255)));
  context->drawImage(stamp, {0, 0, 1, 1});

  const auto& ops = context->operations();
  ASSERT_EQ(ops.size(), 4u);
  EXPECT_EQ(ops[0].kind, Kind::fillRect);
  EXPECT_EQ(ops[0].color, Color::white());
  EXPECT_EQ(ops[1].kind, Kind::fillPath);
  EXPECT_EQ(ops[1].blendMode, BlendMode::clear);
  EXPECT_EQ(ops[1].rect, (Rect{2, 2, 8, 6}));
  EXPECT_EQ(ops[1].radius, 3);
  EXPECT_EQ(ops[1].shape, PathElement::Kind::roundedRect);
  EXPECT_EQ(ops[2].kind, Kind::strokePath);
  EXPECT_EQ(ops[2].blendMode, BlendMode::normal);
  EXPECT_EQ(ops[2].color, Color::systemGreen());
  EXPECT_EQ(ops[2].lineWidth, 1.5);
  EXPECT_EQ(ops[2].shape, PathElement::Kind::ellipse);
  EXPECT_EQ(ops[3].kind, Kind::drawImage);
  ASSERT_TRUE(ops[3].image);
  EXPECT_EQ(ops[3].image->pixelWidth(), 2);
  endImageContext();
}

TEST(GraphicsContextTest, FillRulesAndShapesDecideWhatIsInside) {
  // Two overlapping squares and a circle drawn as a full arc; pixel size 1.
  Path overlap = Path::rect({0, 0, 6, 6});
  overlap.append(Path::rect({3, 3, 6, 6}));
  struct Case {
    const char* name;
    Path path;
    PathFillRule rule;
    std::vector<std::pair<Point, bool>> probes;
  };
  const Case cases[] = {
      {"winding fills the overlap", overlap, PathFillRule::winding,
       {{{1, 1}, true}, {{4.5, 4.5}, true}, {{7, 7}, true}, {{7, 1}, false}}},
      {"even-odd leaves the overlap out", overlap, PathFillRule::evenOdd,
       {{{1, 1}, true}, {{4.5, 4.5}, false}, {{7, 7}, true}}},
      {"ellipse", Path::ellipse({0, 0, 10, 4}), PathFillRule::winding,
       {{{5, 2}, true}, {{0.5, 0.5}, false}, {{9.5, 2}, true}, {{9.5, 0.5}, false}}},
      {"full arc", Path::arc({5, 5}, 3, 0, 6.2832, true), PathFillRule::winding,
       {{{5, 5}, true}, {{7.5, 5}, true}, {{8.5, 5}, false}, {{7.5, 7.5}, false}}},
      {"half arc closed by its chord", Path::arc({5, 5}, 3, 0, 3.14159, true),
       PathFillRule::winding, {{{5, 6.5}, true}, {{5, 3.5}, false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto context = GraphicsContext::makeBitmap(10, 10, 8, ColorSpace::deviceRGB);
    ASSERT_TRUE(context);
    // Top-left user space, as in an image context.
    context->translateBy(0, 10);
    context->scaleBy(1, -1);
    context->setFillColor(Color::black());
    context->fillPath(c.path, c.rule);
    cv::Mat pixels = context->makeImage();
    for (const auto& [point, inside] : c.probes) {
      SCOPED_TRACE(::testing::Message() << point.x << "," << point.y);
      auto alpha = pixels.at<cv::Vec4b>(static_cast<int>(point.y), static_cast<int>(point.x))[3];
      EXPECT_EQ(alpha, inside ? 255 : 0);
    }
  }
}

TEST(GraphicsContextTest, StrokesFollowTheLineWidthAndShapesOutsideTheContextAreHarmless) {
  beginImageContext({40, 40}, false, 1);
  auto context = currentImageContext();
  context->setStrokeColor(Color::white());
  context->setLineWidth(4);
  context->strokePath(Path::roundedRect({10, 10, 20, 20}, 5));
  // Far outside, huge and non-finite shapes draw nothing and do not trap.
  context->strokePath(Path::ellipse({-1e12, -1e12, 1e9, 1e9}));
  context->fillPath(Path::rect({NAN, 0, 5, 5}));
  context->fillPath(Path::roundedRect({0, 0, INFINITY, 5}, 2));
  cv::Mat pixels = context->makeImage();
  endImageContext();
  auto alpha = [&](int x, int y) { return pixels.at<cv::Vec4b>(y, x)[3]; };
  EXPECT_EQ(alpha(20, 9), 255);   // straight edge, inside the stroke
  EXPECT_EQ(alpha(20, 11), 255);
  EXPECT_EQ(alpha(20, 7), 0);     // beyond half the width
  EXPECT_EQ(alpha(20, 13), 0);
  EXPECT_EQ(alpha(20, 20), 0);    // the inside is not filled
  EXPECT_EQ(alpha(9, 9), 0);      // the rounded corner keeps away from the square corner
  EXPECT_EQ(alpha(0, 0), 0);
}

TEST(TransactionTest, RecordsTransactionsAndTheirActionFlag) {
  CATransaction::reset();
  CATransaction::begin();
  CATransaction::setDisableActions(true);
  EXPECT_TRUE(CATransaction::disableActions());
  EXPECT_EQ(CATransaction::depth(), 1);
  CATransaction::commit();
  EXPECT_FALSE(CATransaction::disableActions());
  CATransaction::commit();  // unbalanced: recorded, harmless
  EXPECT_EQ(CATransaction::depth(), 0);
  using R = CATransaction::Record;
  EXPECT_EQ(CATransaction::log(),
            (std::vector<R>{{R::Kind::begin, false},
                            {R::Kind::setDisableActions, true},
                            {R::Kind::commit, false},
                            {R::Kind::commit, false}}));
  CATransaction::reset();
}

}  // namespace
}  // namespace ostrel
