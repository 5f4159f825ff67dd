#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "platform/camera/CaptureVideoPreviewLayer.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/media/GraphicsContext.hpp"
#include "platform/ui/Button.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/Renderer.hpp"
#include "platform/ui/ScrollView.hpp"
#include "platform/ui/ScreenSnapshots.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/PixelProbe.hpp"
#include "testing/ScriptedUser.hpp"

namespace ostrel::testing {
namespace {

using namespace platform;

const Color kRed{1, 0, 0, 1};
const Color kGreen{0, 1, 0, 1};
const Color kBlue{0, 0, 1, 1};
const Color kWhite = Color::white();

struct Probe {
  const char* what;
  Point at;
  Color expected;
};

void expectPixels(const Image& image, const std::vector<Probe>& probes) {
  for (const auto& p : probes) {
    SCOPED_TRACE(p.what);
    Color got = pixelAt(image, p.at);
    EXPECT_TRUE(got.isApproximately(p.expected, 0.03))
        << "at (" << p.at.x << ", " << p.at.y << "): " << got.red << " " << got.green << " "
        << got.blue << " " << got.alpha;
  }
}

std::shared_ptr<View> canvas(Size size) {
  auto root = make<View>(Rect{{0, 0}, size});
  root->setBackgroundColor(kWhite);
  return root;
}

ImagePtr solidImage(int w, int h, Color c) {
  cv::Mat rgba(h, w, CV_8UC4, cv::Scalar(c.red * 255, c.green * 255, c.blue * 255, c.alpha * 255));
  return std::make_shared<Image>(rgba);
}

// A 100-point square outlined in blue, 6 points wide, at (20, 20), not filled.
std::shared_ptr<ShapeLayer> outlinedSquare() {
  auto shape = make<ShapeLayer>();
  shape->frame = {20, 20, 100, 100};
  shape->path = Path::rect({0, 0, 100, 100});
  shape->fillColor.reset();
  shape->strokeColor = kBlue;
  shape->lineWidth = 6;
  return shape;
}

class DrawingTest : public UITest {};

TEST_F(DrawingTest, RoundedBorderedClippingViewAndMaskedCorners) {
  auto root = canvas({240, 140});
  auto box = make<View>(Rect{10, 10, 100, 100});
  box->setBackgroundColor(kRed);
  box->layer()->cornerRadius = 20;
  box->layer()->borderWidth = 4;
  box->layer()->borderColor = kBlue;
  box->setClipsToBounds(true);
  auto overflow = make<View>(Rect{-20, -20, 200, 60});
  overflow->setBackgroundColor(kGreen);
  box->addSubview(overflow);
  root->addSubview(box);
  // Only the top-left corner rounded, no clipping: the other corners stay square.
  auto tab = make<View>(Rect{130, 10, 100, 100});
  tab->setBackgroundColor(kRed);
  tab->layer()->cornerRadius = 30;
  tab->layer()->maskedCorners = kMinXMinYCorner;
  root->addSubview(tab);

  auto image = snapshot(*root, 2);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 480);
  EXPECT_EQ(image->pixelHeight(), 280);
  expectPixels(*image, {
                           {"outside the rounded corner", {12, 12}, kWhite},
                           {"border over the subview", {60, 11.5}, kBlue},
                           {"subview inside", {60, 40}, kGreen},
                           {"own background", {60, 90}, kRed},
                           {"border at the bottom", {60, 108.5}, kBlue},
                           {"subview clipped away", {150 - 30, 40}, kWhite},
                           {"masked corner rounded", {132, 12}, kWhite},
                           {"unmasked corners square", {228, 12}, kRed},
                           {"unmasked corners square, bottom left", {132, 108}, kRed},
                       });
}

TEST_F(DrawingTest, ShapeLayerStrokesHalfItsOutlineAtStrokeEndOneHalf) {
  auto root = canvas({140, 140});
  auto shape = outlinedSquare();
  shape->strokeEnd = 0.5;
  root->layer()->addSublayer(shape);
  // A filled circle in a second shape layer, fill only.
  auto dot = make<ShapeLayer>();
  dot->frame = {60, 60, 20, 20};
  dot->path = Path::arc({10, 10}, 10, 0, 2 * std::numbers::pi, true);
  dot->fillColor = kRed;
  root->layer()->addSublayer(dot);

  auto image = snapshot(*root, 2);
  ASSERT_TRUE(image);
  // The outline runs from the top-left corner clockwise: top edge, then right edge.
  expectPixels(*image, {
                           {"top edge stroked", {70, 20}, kBlue},
                           {"right edge stroked", {120, 70}, kBlue},
                           {"bottom edge not reached", {70, 120}, kWhite},
                           {"left edge not reached", {20, 70}, kWhite},
                           {"inside not filled", {40, 40}, kWhite},
                           {"circle filled", {70, 70}, kRed},
                           {"circle's bounding corner empty", {61, 61}, kWhite},
                       });
}

TEST_F(DrawingTest, ImageViewsPlaceTheirPictureByContentModeAndTint) {
  auto root = canvas({340, 100});
  struct Row {
    const char* name;
    ContentMode mode;
    bool clips;
    std::vector<Probe> probes;
  };
  // A 40 x 20 red picture in 100 x 100 blue views, side by side.
  std::vector<Row> rows = {
      {"aspect fit",
       ContentMode::scaleAspectFit,
       false,
       {{"picture in the middle", {50, 50}, kRed},
        {"bar above", {50, 20}, kBlue},
        {"bar below", {50, 80}, kBlue}}},
      {"aspect fill, clipped",
       ContentMode::scaleAspectFill,
       true,
       {{"picture fills", {170, 5}, kRed}, {"no spill past the view", {230, 50}, kWhite}}},
      {"center",
       ContentMode::center,
       false,
       {{"picture unscaled in the middle", {290, 50}, kRed}, {"beside it", {245, 50}, kBlue}}},
  };
  double x = 0;
  for (const auto& row : rows) {
    auto view = make<ImageView>(Rect{x, 0, 100, 100});
    view->setBackgroundColor(kBlue);
    view->setImage(solidImage(40, 20, kRed));
    view->setContentMode(row.mode);
    view->setClipsToBounds(row.clips);
    root->addSubview(view);
    x += 120;
  }
  auto image = snapshot(*root, 2);
  ASSERT_TRUE(image);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    expectPixels(*image, row.probes);
  }

  // A template picture shows in its tint colour wherever it is opaque.
  auto tinted = make<ImageView>(Rect{0, 0, 40, 20});
  tinted->setImage(solidImage(40, 20, kRed)->withTintColor(kGreen));
  auto tintedImage = snapshot(*tinted, 2);
  expectPixels(*tintedImage, {{"tinted", {20, 10}, kGreen}});
}

TEST_F(DrawingTest, HiddenAndTransparentViewsAreSkippedAndAlphaBlends) {
  auto root = canvas({300, 100});
  auto hidden = make<View>(Rect{0, 0, 100, 100});
  hidden->setBackgroundColor(kRed);
  hidden->setHidden(true);
  auto faint = make<View>(Rect{100, 0, 100, 100});
  faint->setBackgroundColor(kRed);
  faint->setAlpha(0.005);
  auto half = make<View>(Rect{200, 0, 100, 100});
  half->setBackgroundColor(kRed);
  half->setAlpha(0.5);
  // The inner view's alpha multiplies with its parent's: a group, not two separate blends.
  auto inner = make<View>(Rect{0, 0, 50, 50});
  inner->setBackgroundColor(kBlue);
  half->addSubview(inner);
  for (auto& v : {hidden, faint, half}) root->addSubview(v);
  // The subviews of a hidden view are hidden with it.
  auto underHidden = make<View>(Rect{10, 10, 20, 20});
  underHidden->setBackgroundColor(kGreen);
  hidden->addSubview(underHidden);

  auto image = snapshot(*root, 2);
  ASSERT_TRUE(image);
  expectPixels(*image, {
                           {"hidden", {50, 70}, kWhite},
                           {"hidden subview", {20, 20}, kWhite},
                           {"alpha under 0.01", {150, 50}, kWhite},
                           {"half red on white", {270, 70}, {1, 0.5, 0.5, 1}},
                           {"blue over red in a half group", {220, 20}, {0.5, 0.5, 1, 1}},
                       });
}

TEST_F(DrawingTest, ShadowTransformAndBoundsOrigin) {
  auto root = canvas({200, 200});
  auto card = make<View>(Rect{20, 20, 60, 60});
  card->setBackgroundColor(kWhite);
  card->layer()->shadowOpacity = 1;
  card->layer()->shadowRadius = 0;
  card->layer()->shadowOffset = {0, 10};
  root->addSubview(card);
  // Turned a quarter about its centre: a wide bar becomes a tall one.
  auto bar = make<View>(Rect{100, 140, 80, 20});
  bar->setBackgroundColor(kRed);
  bar->setTransform(AffineTransform::rotation(std::numbers::pi / 2));
  root->addSubview(bar);
  // Content scrolled by the bounds origin.
  auto scroller = make<View>(Rect{100, 20, 60, 60});
  scroller->setBounds({0, 30, 60, 60});
  auto content = make<View>(Rect{0, 30, 60, 10});
  content->setBackgroundColor(kBlue);
  scroller->addSubview(content);
  root->addSubview(scroller);

  auto image = snapshot(*root, 2);
  ASSERT_TRUE(image);
  expectPixels(*image, {
                           {"shadow under the card", {50, 85}, Color::black()},
                           {"no shadow above", {50, 15}, kWhite},
                           {"turned bar, above its old box", {140, 120}, kRed},
                           {"turned bar leaves its old ends", {105, 150}, kWhite},
                           {"scrolled content at the top", {130, 25}, kBlue},
                       });
}

TEST_F(DrawingTest, DrawingTwiceGivesTheSamePixelsAndAnimationsShowTheirPresentValue) {
  auto root = canvas({100, 100});
  auto fading = make<View>(Rect{0, 0, 100, 100});
  fading->setBackgroundColor(kRed);
  root->addSubview(fading);
  AnimationOptions linear;
  linear.curve = TimingFunction::linear;
  View::animate(1.0, 0, linear, [&] { fading->setAlpha(0); });
  // A layer animation on a second canvas: a stroke drawn from nothing over a second, and a
  // dot that fades out again and again.
  auto layered = canvas({140, 140});
  auto ring = outlinedSquare();
  auto draw = std::make_shared<BasicAnimation>("strokeEnd");
  draw->fromValue = 0;
  draw->toValue = 1;
  draw->duration = 1;
  draw->timingFunction = TimingFunction::linear;
  ring->addAnimation(draw, "draw");
  layered->layer()->addSublayer(ring);
  auto dot = make<View>(Rect{60, 60, 20, 20});
  dot->setBackgroundColor(kRed);
  auto pulse = std::make_shared<AnimationGroup>();
  auto fade = std::make_shared<BasicAnimation>("opacity");
  fade->fromValue = 1;
  fade->toValue = 0;
  fade->duration = 0.4;
  fade->timingFunction = TimingFunction::linear;
  pulse->animations = {fade};
  pulse->duration = 0.4;
  pulse->timingFunction = TimingFunction::linear;
  pulse->repeatCount = std::numeric_limits<double>::infinity();
  dot->layer()->addAnimation(pulse, "pulse");
  layered->addSubview(dot);

  ViewRenderer renderer;
  auto start = renderer.snapshot(*root, 1);
  expectPixels(*start, {{"not started", {50, 50}, kRed}});
  advance(0.5);
  auto middle = renderer.snapshot(*root, 1);
  auto again = renderer.snapshot(*root, 1);
  expectPixels(*middle, {{"half way", {50, 50}, {1, 0.5, 0.5, 1}}});
  expectPixels(*renderer.snapshot(*layered, 2),
               {{"stroke drawn along the top", {70, 20}, kBlue},
                {"and down the right", {120, 70}, kBlue},
                {"not yet along the bottom", {70, 120}, kWhite},
                {"dot a quarter into its second fade", {70, 70}, {1, 0.25, 0.25, 1}}});
  advance(0.1);
  expectPixels(*renderer.snapshot(*layered, 2),
               {{"dot half way through its second fade", {70, 70}, {1, 0.5, 0.5, 1}}});
  EXPECT_EQ(cv::norm(middle->bitmap(), again->bitmap(), cv::NORM_INF), 0);
  EXPECT_EQ(fading->alpha(), 0) << "the model keeps its final value";
  advance(0.6);
  runUntilIdle();
  expectPixels(*renderer.snapshot(*root, 1), {{"finished", {50, 50}, kWhite}});
}

TEST_F(DrawingTest, ButtonsDrawTheTitleOfTheirStateInTheMiddle) {
  auto button = make<Button>(Rect{0, 0, 200, 44});
  button->setBackgroundColor(kBlue);
  button->setTitle("Tiếp tục", ControlState::normal);
  button->setTitleColor(kWhite, ControlState::normal);
  button->setTitleColor(kRed, ControlState::disabled);
  button->layoutIfNeeded();
  auto normal = snapshot(*button, 2);
  auto ink = inkBounds(*normal, kBlue, 0.3);
  ASSERT_TRUE(ink);
  EXPECT_NEAR(ink->midX(), 100, 2) << "centred";
  EXPECT_NEAR(ink->midY(), 22, 4);

  button->setEnabled(false);
  auto disabled = snapshot(*button, 2);
  // Somewhere in the title the disabled colour shows, and the normal one no longer does.
  int red = 0, white = 0;
  for (double y = ink->minY(); y < ink->maxY(); y += 0.5) {
    for (double x = ink->minX(); x < ink->maxX(); x += 0.5) {
      Color c = pixelAt(*disabled, {x, y});
      red += c.isApproximately(kRed, 0.1);
      white += c.isApproximately(kWhite, 0.1);
    }
  }
  EXPECT_GT(red, 10);
  EXPECT_EQ(white, 0);
}

// A view that paints its right half green in its display pass.
class HalfPainted : public View {
 public:
  using View::View;
  void draw(Rect rect) override {
    auto context = currentImageContext();
    context->setFillColor(kGreen);
    context->fill({rect.midX(), rect.minY(), rect.width() / 2, rect.height()});
  }
};

TEST_F(DrawingTest, WhatAViewDrewInItsDisplayPassIsShown) {
  auto root = canvas({100, 50});
  auto painted = make<HalfPainted>(Rect{0, 0, 100, 50});
  root->addSubview(painted);
  expectPixels(*snapshot(*root, 2), {{"not drawn before the display pass", {75, 25}, kWhite}});
  painted->setNeedsDisplay();
  root->displayIfNeeded();
  expectPixels(*snapshot(*root, 2), {{"left half untouched", {25, 25}, kWhite},
                                     {"right half painted", {75, 25}, kGreen}});
}

// Content scrolled below a scroll view is not drawn over what lies under it (the result screens'
// lists run on past their scroll view, above the confirm button).
TEST_F(DrawingTest, ScrollViewsShowOnlyTheContentInsideThem) {
  auto root = canvas({100, 200});
  auto scroll = make<ScrollView>(Rect{0, 0, 100, 100});
  auto content = make<View>(Rect{0, 0, 100, 300});
  content->setBackgroundColor(kGreen);
  scroll->addSubview(content);
  scroll->setContentSize({100, 300});
  root->addSubview(scroll);
  expectPixels(*snapshot(*root, 1), {{"inside", {50, 50}, kGreen}, {"below", {50, 150}, kWhite}});
  scroll->setContentOffset({0, 150});
  expectPixels(*snapshot(*root, 1), {{"scrolled", {50, 50}, kGreen}, {"below", {50, 150}, kWhite}});
}

// A camera preview shows the latest frame the way the screens' metadata mapping places it:
// turned upright for a portrait connection, then scaled by the gravity.
TEST_F(DrawingTest, CameraPreviewShowsTheLatestFrameTurnedAndPlacedByItsGravity) {
  // Upright 48 x 64: red top half, blue bottom half (the camera writes it turned a quarter).
  cv::Mat upright(64, 48, CV_8UC4, cv::Scalar(255, 0, 0, 255));
  upright.rowRange(32, 64).setTo(cv::Scalar(0, 0, 255, 255));
  auto camera = ImageFileCamera::install();
  auto device = camera->addDevice(
      ScriptedCameraDevice::make(CaptureDevicePosition::back, {ScriptedFrame::picture(upright)}));
  auto session = std::make_shared<CaptureSession>();
  ASSERT_TRUE(session->addInput(CaptureDeviceInput::make(device).value));

  auto root = canvas({120, 200});
  auto preview = std::make_shared<CaptureVideoPreviewLayer>(session);
  preview->frame = {0, 0, 120, 200};
  root->layer()->addSublayer(preview);
  expectPixels(*snapshot(*root, 1), {{"no frame yet", {60, 100}, kWhite}});
  session->startRunning();
  runUntilIdle();

  struct Row {
    const char* what;
    CaptureVideoOrientation orientation;
    LayerVideoGravity gravity;
    std::vector<Probe> probes;
  };
  const Row rows[] = {
      // 120 x 160 at y 20.
      {"portrait, aspect",
       CaptureVideoOrientation::portrait,
       LayerVideoGravity::resizeAspect,
       {{"letterbox above", {60, 10}, kWhite},
        {"top half", {60, 40}, kRed},
        {"bottom half", {60, 160}, kBlue},
        {"letterbox below", {60, 190}, kWhite}}},
      // 150 x 200, overflowing the layer's sides, which clip it.
      {"portrait, fill",
       CaptureVideoOrientation::portrait,
       LayerVideoGravity::resizeAspectFill,
       {{"top edge", {60, 5}, kRed}, {"bottom edge", {60, 195}, kBlue}}},
      // As written, 64 x 48 in 120 x 90 at y 55: the halves lie side by side.
      {"landscape, aspect",
       CaptureVideoOrientation::landscapeRight,
       LayerVideoGravity::resizeAspect,
       {{"letterbox above", {60, 40}, kWhite}, {"letterbox below", {60, 160}, kWhite}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    preview->connection()->setVideoOrientation(row.orientation);
    preview->videoGravity = row.gravity;
    auto picture = snapshot(*root, 1);
    expectPixels(*picture, row.probes);
    if (row.orientation == CaptureVideoOrientation::landscapeRight) {
      Color left = pixelAt(*picture, {20, 100}), right = pixelAt(*picture, {100, 100});
      EXPECT_TRUE((left.isApproximately(kRed, 0.03) && right.isApproximately(kBlue, 0.03)) ||
                  (left.isApproximately(kBlue, 0.03) && right.isApproximately(kRed, 0.03)));
    }
  }
  session->stopRunning();
  runUntilIdle();
}

TEST_F(DrawingTest, SnapshotsWriteAsPNGFiles) {
  auto root = canvas({30, 20});
  auto image = snapshot(*root, 2);
  ASSERT_TRUE(image);
  auto path = dataDirectory() / "snap.png";
  ASSERT_TRUE(writePNG(*image, path));
  auto back = Image::fromFile(path);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->pixelWidth(), 60);
  EXPECT_EQ(back->pixelHeight(), 40);
  EXPECT_FALSE(writePNG(*image, dataDirectory() / "missing" / "folder" / "x.png"));
  for (Size size : {Size{0, 10}, Size{40000, 10}, Size{std::nan(""), 10}, Size{-5, 10}}) {
    SCOPED_TRACE(std::to_string(size.width));
    EXPECT_FALSE(snapshot(*make<View>(Rect{{0, 0}, size}), 2)) << "no picture for this size";
  }
}

}  // namespace
}  // namespace ostrel::testing

namespace ostrel::testing {
namespace {

class WelcomeScreen : public platform::ViewController {
 public:
  void viewDidLoad() override {
    ViewController::viewDidLoad();
    view()->setBackgroundColor(platform::Color{0, 0, 1, 1});
  }
};
class DetailScreen : public platform::ViewController {};

TEST_F(DrawingTest, EachSettledScreenIsPicturedOnceInOrder) {
  auto directory = dataDirectory() / "snapshots";
  platform::ScreenSnapshotRecorder recorder(directory);
  EXPECT_FALSE(recorder.poll()) << "no screen yet";
  auto welcome = platform::make<WelcomeScreen>();
  show(welcome);
  EXPECT_FALSE(recorder.poll()) << "not settled";
  advance(platform::ScreenSnapshotRecorder::kSettleTime);
  auto first = recorder.poll();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->filename(), "001-WelcomeScreen.png");
  EXPECT_FALSE(recorder.poll()) << "the same screen is pictured once";

  auto detail = platform::make<DetailScreen>();
  welcome->present(detail, true);
  advance(1);
  EXPECT_FALSE(recorder.poll()) << "first seen now; it settles from here";
  advance(platform::ScreenSnapshotRecorder::kSettleTime);
  auto second = recorder.poll();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->filename(), "002-DetailScreen.png");

  auto picture = platform::Image::fromFile(*first);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->pixelWidth(), 780);
  EXPECT_EQ(picture->pixelHeight(), 1688);
  EXPECT_TRUE(pixelAt(*picture, {195, 422}).isApproximately(kBlue, 0.03));
  EXPECT_EQ(recorder.written().size(), 2u);
}

// A user quicker than the transition: the screen leaves before it settles and is still pictured,
// as it last looked, in its place in the order.
TEST_F(DrawingTest, AScreenThatLeavesBeforeItSettlesIsPicturedAsItLastLooked) {
  auto directory = dataDirectory() / "quick";
  platform::ScreenSnapshotRecorder recorder(directory);
  auto welcome = platform::make<WelcomeScreen>();
  show(welcome);
  advance(0.1);
  EXPECT_FALSE(recorder.poll()) << "not settled";
  auto detail = platform::make<DetailScreen>();
  detail->loadViewIfNeeded();
  detail->view()->setBackgroundColor(kRed);
  welcome->present(detail, false);
  auto left = recorder.poll();
  ASSERT_TRUE(left) << "the welcome screen left unsettled";
  EXPECT_EQ(left->filename(), "001-WelcomeScreen.png");
  auto picture = platform::Image::fromFile(*left);
  ASSERT_TRUE(picture);
  EXPECT_TRUE(pixelAt(*picture, {195, 422}).isApproximately(kBlue, 0.03)) << "its own look";

  advance(platform::ScreenSnapshotRecorder::kSettleTime);
  auto second = recorder.poll();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->filename(), "002-DetailScreen.png");
  welcome->dismiss(false);
  advance(0.1);
  EXPECT_FALSE(recorder.poll()) << "back to the pictured screen before it settled again";
  EXPECT_EQ(recorder.written().size(), 2u);
}

}  // namespace
}  // namespace ostrel::testing
