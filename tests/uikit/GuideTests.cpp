#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "platform/ui/Animation.hpp"
#include "platform/ui/Renderer.hpp"
#include "testing/PixelProbe.hpp"
#include "tests/uikit/UIKitTest.hpp"
#include "ui/GuideVC.hpp"
#include "ui/TutorialButtonView.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel::uikit_test {
namespace {

using Type = GuideVC::TypeOfGuide;

class GuideTest : public UIKitTest {
 protected:
  std::shared_ptr<GuideVC> presentGuide(Type type) {
    if (!presenter) {
      presenter = make<ViewController>();
      show(presenter);
    }
    auto guide = GuideVC::create(type);
    guide->modalPresentationStyle = ModalPresentationStyle::formSheet;
    EXPECT_TRUE(presenter->present(guide, true));
    advance(0.3);
    return guide;
  }
  int closeEvents() {
    int n = 0;
    for (const auto& e : *logged) n += e.event == "GUIDE_TAP_CLOSE";
    return n;
  }
  std::shared_ptr<ViewController> presenter;
};

TEST_F(GuideTest, EachKindShowsItsContent) {
  config->appearance->withMainTextColor("222222").withMainColor("1ABB6C").withBackgroundColor(
      "FAFAFA");
  struct Row {
    Type type;
    std::string title, picture, tips, rejects, rejectPictures;
  };
  for (const Row& row : {Row{Type::frontId, "guide_id_title", "ic_guide_front", "guide_id_",
                             "guide_id_reject_", "ic_reject_front_"},
                         Row{Type::backId, "guide_id_title", "ic_guide_id_back", "guide_id_",
                             "guide_id_reject_", "ic_reject_back_"},
                         Row{Type::liveness, "guide_liveness_title", "ic_guide_liveness",
                             "guide_liveness_", "guide_liveness_reject_", "ic_reject_liveness_"},
                         Row{Type::passport, "guide_passport_title", "ic_passport", "guide_id_",
                             "guide_id_reject_", "ic_reject_passport_"}}) {
    SCOPED_TRACE(row.picture);
    auto guide = GuideVC::create(row.type);
    EXPECT_EQ(guide->typeOfGuide, row.type);
    guide->loadViewIfNeeded();
    EXPECT_EQ(guide->lblTitle->text(), "[" + row.title + "]");
    EXPECT_TRUE(samePixels(guide->imgScreen->image(), bundleImage(row.picture)));
    EXPECT_EQ(guide->imgScreen->contentMode(), ContentMode::scaleAspectFit);
    EXPECT_EQ(guide->lblCheckListTitle->text(), "[guide_note]");
    EXPECT_EQ(guide->lblRejectTitle->text(), "[guide_reject_title]");
    EXPECT_EQ(guide->btnConfirm->title(ControlState::normal), "[guide_button_close]");
    ASSERT_EQ(guide->listLblChecklist.size(), 4u);
    for (int n = 1; n <= 4; ++n) {
      EXPECT_EQ(guide->listLblChecklist[n - 1]->text(), "[" + row.tips + std::to_string(n) + "]");
      EXPECT_EQ(guide->listLblChecklist[n - 1]->textColor(), colorFromHex("222222"));
    }
    for (const auto& tick : guide->checklistImageViews) {
      ASSERT_TRUE(tick->image());
      EXPECT_EQ(tick->image()->tintColor(), colorFromHex("1ABB6C"));
    }
    ASSERT_EQ(guide->listLblRejectContent.size(), 3u);
    for (int n = 1; n <= 3; ++n) {
      EXPECT_EQ(guide->listLblRejectContent[n - 1]->text(),
                "[" + row.rejects + std::to_string(n) + "]");
      EXPECT_TRUE(samePixels(guide->listImgReject[n - 1]->image(),
                             bundleImage(row.rejectPictures + std::to_string(n))));
    }
    EXPECT_EQ(guide->viewMain->layer()->cornerRadius, 24);
    EXPECT_EQ(guide->viewMain->layer()->maskedCorners, kMinXMinYCorner | kMaxXMinYCorner);
    EXPECT_EQ(guide->viewMain->backgroundColor(), colorFromHex("FAFAFA"));
    EXPECT_EQ(guide->view()->backgroundColor(), Color::clear());
  }
}

// What a picture of the bundle shows, measured on its opaque pixels.
struct PictureLook {
  double sharpness = 0;   // variance of the grey picture's Laplacian
  double brightness = 0;  // mean grey, 0 to 255
  double white = 0;       // share of pixels washed out to white
  double black = 0;       // share of nearly black pixels
  double maskBlue = 0;    // share of pixels of the face mask's blue
  bool topRightGone = false;
  bool bottomLeftThere = false;
};

PictureLook lookOf(const ImagePtr& image) {
  PictureLook look;
  if (!image || !image->hasBitmap()) return look;
  const cv::Mat& rgba = image->bitmap();
  cv::Mat grey;
  cv::cvtColor(rgba, grey, cv::COLOR_RGBA2GRAY);
  cv::Mat laplacian;
  cv::Laplacian(grey, laplacian, CV_64F);
  cv::Scalar mean, deviation;
  cv::meanStdDev(laplacian, mean, deviation);
  look.sharpness = deviation[0] * deviation[0];
  double opaque = 0, sum = 0;
  for (int y = 0; y < rgba.rows; ++y) {
    for (int x = 0; x < rgba.cols; ++x) {
      const auto& p = rgba.at<cv::Vec4b>(y, x);
      if (p[3] < 128) continue;
      ++opaque;
      sum += grey.at<std::uint8_t>(y, x);
      look.white += p[0] > 245 && p[1] > 245 && p[2] > 245;
      look.black += p[0] < 30 && p[1] < 30 && p[2] < 30;
      look.maskBlue += std::abs(p[0] - 120) < 12 && std::abs(p[1] - 170) < 12 &&
                       std::abs(p[2] - 220) < 12;
    }
  }
  if (opaque > 0) {
    look.brightness = sum / opaque;
    look.white /= opaque;
    look.black /= opaque;
    look.maskBlue /= opaque;
  }
  look.topRightGone = rgba.at<cv::Vec4b>(15, rgba.cols - 15)[3] == 0;
  look.bottomLeftThere = rgba.at<cv::Vec4b>(rgba.rows - 15, 15)[3] > 0;
  return look;
}

// The n-th reject picture shows what the n-th reject caption names: for the documents "blurred",
// "glare" and "corner cut off", for the face "too dark", "face mask" and "sunglasses", each
// measured against the kind's own good example.
TEST_F(GuideTest, EachRejectPictureShowsWhatItsCaptionSays) {
  for (const char* kind : {"front", "back", "passport"}) {
    SCOPED_TRACE(kind);
    const std::string good = std::string(kind) == "front"  ? "ic_guide_front"
                             : std::string(kind) == "back" ? "ic_guide_id_back"
                                                           : "ic_passport";
    const PictureLook example = lookOf(bundleImage(good));
    const auto reject = [&](int n) {
      return lookOf(bundleImage("ic_reject_" + std::string(kind) + "_" + std::to_string(n)));
    };
    EXPECT_LT(reject(1).sharpness, example.sharpness * 0.3) << "1: blurred";
    EXPECT_GT(reject(2).white, example.white + 0.03) << "2: glare";
    EXPECT_FALSE(example.topRightGone);
    EXPECT_TRUE(reject(3).topRightGone && reject(3).bottomLeftThere) << "3: a corner cut off";
    for (int n : {1, 2}) EXPECT_FALSE(reject(n).topRightGone) << n << ": the card is whole";
  }
  const PictureLook face = lookOf(bundleImage("ic_guide_liveness"));
  const PictureLook dark = lookOf(bundleImage("ic_reject_liveness_1"));
  const PictureLook masked = lookOf(bundleImage("ic_reject_liveness_2"));
  const PictureLook glasses = lookOf(bundleImage("ic_reject_liveness_3"));
  EXPECT_LT(dark.brightness, face.brightness * 0.5) << "1: too dark";
  EXPECT_GT(masked.maskBlue, face.maskBlue + 0.1) << "2: a face mask";
  EXPECT_GT(glasses.black, face.black + 0.05) << "3: sunglasses";
  EXPECT_LT(glasses.maskBlue, 0.01);
  EXPECT_LT(masked.black, 0.01);
}

// The sheet is as white as the screen it covers; the presentation dims that screen, so the
// sheet's edge shows.
TEST_F(GuideTest, TheSheetStandsOutFromTheScreenItCovers) {
  config->appearance->withBackgroundColor("FFFFFF");
  presenter = make<ViewController>();
  show(presenter);
  presenter->view()->setBackgroundColor(Color::white());
  auto guide = presentGuide(Type::frontId);
  window()->layoutIfNeeded();
  auto image = platform::snapshot(*window(), 2);
  ASSERT_TRUE(image);
  const Rect sheet = guide->viewMain->convertRectTo(guide->viewMain->bounds(), window().get());
  ASSERT_GT(sheet.minY(), 40) << "the sheet leaves some of the screen above it";
  const Color above = testing::pixelAt(*image, {sheet.midX(), sheet.minY() / 2});
  const Color inside = testing::pixelAt(*image, {sheet.minX() + 4, sheet.minY() + 30});
  EXPECT_LT(above.red, 0.8) << "what the sheet covers is dimmed";
  EXPECT_GT(inside.red, 0.95) << "the sheet itself is not";
}

TEST_F(GuideTest, PictureHeightDependsOnTheScreenHeight) {
  for (auto [height, expected] : {std::pair{699.0, 80.0}, std::pair{700.0, 100.0}}) {
    SCOPED_TRACE(height);
    Screen::main().setBounds({0, 0, 390, height});
    auto guide = GuideVC::create(Type::frontId);
    guide->loadViewIfNeeded();
    EXPECT_EQ(guide->heightImageCT->constant, expected);
  }
}

TEST_F(GuideTest, DragClosesOnlyPastTheLimitAndOtherwiseSpringsBack) {
  auto guide = presentGuide(Type::liveness);
  Point origin = guide->view()->frame().origin;

  user().pan(guide->pan(), {{0, 80}, {0, 150}});
  EXPECT_EQ(presenter->presentedViewController(), guide);
  EXPECT_EQ(guide->view()->frame().origin, origin);
  auto spring = animations().back();
  ASSERT_TRUE(spring->spring);
  EXPECT_EQ(spring->duration, 0.3);
  EXPECT_EQ(spring->spring->dampingRatio, 0.75);
  EXPECT_EQ(spring->spring->initialVelocity, 3.0);

  // Upward never lifts the sheet; it stays where the last downward move left it.
  guide->pan()->setTranslation({0, 0}, nullptr);
  guide->pan()->drive(GestureState::began, {});
  guide->pan()->setTranslation({0, 40}, nullptr);
  guide->pan()->drive(GestureState::changed, {});
  EXPECT_EQ(guide->view()->frame().minY(), origin.y + 40);
  guide->pan()->setTranslation({0, -60}, nullptr);
  guide->pan()->drive(GestureState::changed, {});
  EXPECT_EQ(guide->view()->frame().minY(), origin.y + 40);
  // An interrupted drag springs back too.
  guide->pan()->drive(GestureState::cancelled, {});
  EXPECT_EQ(guide->view()->frame().origin, origin);
  EXPECT_EQ(closeEvents(), 0);

  user().pan(guide->pan(), {{0, 100}, {0, 151}});
  advance(0.3);
  EXPECT_EQ(presenter->presentedViewController(), nullptr);
  ASSERT_EQ(closeEvents(), 1);
  EXPECT_EQ(logged->back().screen, "OSL_SCREEN_LIVENESS");
  EXPECT_EQ(logged->back().level, OSLLogLevel::info);
  EXPECT_EQ(logged->back().data, JSON::object());
}

TEST_F(GuideTest, EveryWayOfClosingReportsOnce) {
  struct Row {
    Type type;
    const char* screen;
    int way;
  };
  for (const Row& row : {Row{Type::frontId, "OSL_SCREEN_CAPTURE_FRONT", 0},
                         Row{Type::backId, "OSL_SCREEN_CAPTURE_BACK", 1},
                         Row{Type::passport, "OSL_SCREEN_PASSPORT", 2}}) {
    SCOPED_TRACE(row.screen);
    logged->clear();
    auto guide = presentGuide(row.type);
    if (row.way == 0) user().tap(guide->btnConfirm);
    if (row.way == 1) user().tap(guide->viewDismiss);
    if (row.way == 2) user().pan(guide->pan(), {{0, 300}});
    // A second trigger while the sheet goes away.
    guide->closeGuide();
    user().fire(guide->dismissTap());
    advance(0.3);
    EXPECT_EQ(presenter->presentedViewController(), nullptr);
    ASSERT_EQ(closeEvents(), 1);
    EXPECT_EQ(logged->back().screen, row.screen);
  }
}

TEST_F(GuideTest, TutorialButtonOpensTheGuide) {
  config->appearance->withMainColor("AA0000");
  auto screen = make<ViewController>();
  show(screen);
  auto tutorial = make<TutorialButtonView>(Rect{20, 100, 160, 36});
  screen->view()->addSubview(tutorial);
  ASSERT_TRUE(tutorial->lblTitle);
  EXPECT_EQ(tutorial->lblTitle->text(), "[guide_button_open]");
  EXPECT_EQ(tutorial->lblTitle->textColor(), colorFromHex("AA0000"));
  EXPECT_EQ(tutorial->lblTitle->font(), Font::systemFont(14, FontWeight::semibold));
  user().tap(tutorial);  // nothing set: nothing happens
  int opened = 0;
  tutorial->onShowTutorial = [&] { ++opened; };
  user().tap(tutorial);
  EXPECT_EQ(opened, 1);
}

}  // namespace
}  // namespace ostrel::uikit_test
