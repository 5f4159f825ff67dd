#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "capture/CameraView.hpp"
#include "core/Localization.hpp"
#include "platform/media/PixelBufferConversion.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/Transaction.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/ScriptedModelLoader.hpp"
#include "testing/ScriptedUser.hpp"
#include "testing/TinyOnnxModel.hpp"

namespace ostrel {
namespace {

using namespace platform;
using testing::observation;
using testing::ScriptedModel;
using Answer = ScriptedModel::Answer;

struct RecordingListener : DetectorListener {
  int detections = 0;
  ImagePtr last;
  void didDetect(const ImagePtr& image) override {
    ++detections;
    last = image;
  }
};

// The frame pictures are the buffer turned a quarter right, so a buffer of 244 x 340 is seen as
// 340 x 244; its corners below outline a 320 x 224 card.
constexpr int kPictureWidth = 340, kPictureHeight = 244;
const std::vector<Point> kCardCorners = {{10, 10}, {330, 10}, {330, 234}, {10, 234}};

// A corner observation whose box centre is the pixel `corner` of the frame picture.
RecognizedObjectObservationPtr corner(Point at, const char* name, float labelConfidence = 0.9f) {
  return observation({at.x / kPictureWidth, 1 - at.y / kPictureHeight, 0, 0}, labelConfidence,
                     {{name, labelConfidence}, {"card", 0.05f}});
}

struct CardResult {
  // The card's box in view coordinates of the 400 x 800 view, as the detector places it.
  Rect viewBox{60, 250, 280, 300};
  float confidence = 0.9f;
  std::string label = "card";
  float cornerConfidence = 0.9f;
  int corners = 4;
  int extra = 0;  // observations beyond the usual five
};

Answer answer(const CardResult& r) {
  Answer a;
  const Rect& v = r.viewBox;
  a.observations.push_back(observation(
      {v.minX() / 400, 1 - v.minY() / 800 - v.height() / 800, v.width() / 400, v.height() / 800},
      r.confidence, {{r.label, r.confidence}, {"top_left_corner", 0.01f}}));
  const char* names[] = {"top_left_corner", "top_right_corner", "bottom_right_corner",
                         "bottom_left_corner"};
  for (int i = 0; i < 4; ++i) {
    a.observations.push_back(corner(kCardCorners[std::size_t(i)], names[i],
                                    i < r.corners ? r.cornerConfidence : 0.5f));
  }
  for (int i = 0; i < r.extra; ++i) a.observations.push_back(corner({5, 5}, "noise", 0.1f));
  if (r.extra < 0) a.observations.resize(std::size_t(5 + r.extra));
  return a;
}

// A glare box on the letterboxed 320 x 224 card lighting `cells` cells of one row inside the
// front's large region: the letterbox scales the card by 1.5 and puts it 72 rows down, so card
// cell (c, 100) reads letterbox cell (1.5 c, 222). Half-cell margins keep truncation exact.
Answer glare(int cells, float confidence = 0.4f) {
  const double firstColumn = 150, endColumn = std::floor(1.5 * (100 + cells - 1)) + 1;
  Answer a;
  a.observations.push_back(observation({(firstColumn + 0.5) / 480, 222.5 / 480,
                                        (endColumn - firstColumn) / 480, 1.0 / 480},
                                       confidence, {{"glare", confidence}}));
  return a;
}

class CameraViewTest : public testing::UITest {
 protected:
  CameraViewTest() { setLanguageDictionary({{"id_capture_over_exposed", "Too bright"}}); }
  ~CameraViewTest() override {
    TextMeasurer::install(nullptr);
    setLanguageDictionary(JSON::object());
  }

  void store(const std::string& name, const Bytes& bytes = testing::tinyDetectorModel()) {
    ModelDownloader().store(name, bytes);
  }

  // A view whose models load from the store as the store holds them.
  void makeView() {
    view = make<CameraView>(Rect{0, 0, 400, 800});
    view->cropRect = {40, 200, 320, 400};
    view->detectorListener = listener;
    view->setUpModels();
  }

  void scriptedModels(bool withGlare) {
    store("idcard_model");
    if (withGlare) store("flashcard_model");
    makeView();
  }

  // One frame through the frame handler, judged to the end. A frame still holding the slot
  // fails the test here instead of blocking the next frame for ever.
  void frame(std::optional<Answer> result, PixelBufferPtr buffer = nullptr) {
    ASSERT_EQ(view->framesInDetectionForTesting(), 0) << "the slot was not given back";
    if (result) cardModel->enqueue(std::move(*result));
    if (!buffer) buffer = makePixelBuffer(cv::Mat(kPictureWidth, kPictureHeight, CV_8UC4,
                                                  cv::Scalar(200, 200, 200, 255)),
                                          PixelFormat::bgra32, 8);
    view->processFrame(buffer);
    runUntilIdle();
    ASSERT_EQ(view->framesInDetectionForTesting(), 0) << "the slot was not given back";
  }

  int badges() const {
    int n = 0;
    for (const auto& child : view->subviews()) n += child->tag() == CameraView::kBadgeTag;
    return n;
  }
  int markers() const { return int(view->subviews().size()) - badges(); }

  std::shared_ptr<testing::ScriptedModelLoader> loader = testing::ScriptedModelLoader::install();
  std::shared_ptr<ScriptedModel> cardModel = loader->model("idcard_model");
  std::shared_ptr<ScriptedModel> glareModel = loader->model("flashcard_model");
  std::shared_ptr<RecordingListener> listener = std::make_shared<RecordingListener>();
  std::shared_ptr<CameraView> view;
};

TEST_F(CameraViewTest, CounterFollowsPlacementAndHandsOffAtOneHundred) {
  scriptedModels(false);
  CardResult good;
  CardResult outside;
  outside.viewBox = {20, 250, 280, 300};  // starts left of the capture frame
  CardResult exactlyThreshold;
  exactlyThreshold.confidence = 0.7f;
  CardResult onTheEdges;
  onTheEdges.viewBox = {40, 200, 320, 400};
  CardResult accented;
  accented.label = "ID_CÁRD_front";
  CardResult notFirstLabel;
  notFirstLabel.label = "cord";
  CardResult four;
  four.extra = -1;
  CardResult six;
  six.extra = 1;
  CardResult notANumber;
  notANumber.viewBox = {NAN, 250, 280, 300};

  struct Step {
    const char* name;
    std::optional<CardResult> result;  // nothing: the model answers no observations
    int confidence;
    int handOffs;
    int markers;
  };
  const Step steps[] = {
      {"good", good, 10, 0, 1},
      {"edges inclusive", onTheEdges, 20, 0, 1},
      {"accents and case ignored", accented, 30, 0, 1},
      {"confidence 0.7 is not enough", exactlyThreshold, 20, 0, 0},
      {"outside", outside, 10, 0, 0},
      {"outside again clamps at 0", outside, 0, 0, 0},
      {"not a card label", notFirstLabel, 0, 0, 0},
      {"no observations", std::nullopt, 0, 0, 0},
      {"six observations", six, 0, 0, 0},
      {"good after clamping", good, 10, 0, 1},
      {"four observations keep the counter", four, 10, 0, 0},
      {"a box that is not a number is not placed", notANumber, 0, 0, 0},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    frame(s.result ? std::optional(answer(*s.result)) : std::optional(Answer{}));
    EXPECT_EQ(view->confidence, s.confidence);
    EXPECT_EQ(listener->detections, s.handOffs);
    EXPECT_EQ(markers(), s.markers);
  }
  // From 0 (the capture screen resets the counter when the camera starts), ten good results in
  // a row: the tenth hands the frame picture on and starts again.
  view->confidence = 0;
  for (int i = 1; i <= 10; ++i) {
    frame(answer(good));
    EXPECT_EQ(view->confidence, i < 10 ? 10 * i : 0) << i;
  }
  EXPECT_EQ(listener->detections, 1);
  ASSERT_TRUE(listener->last);
  EXPECT_EQ(listener->last->size(), (Size{kPictureWidth, kPictureHeight}));
  // The card was straightened from the corner centres for the thumbnail.
  EXPECT_EQ(view->_preprocess.iw, 320);
  EXPECT_EQ(view->_preprocess.ih, 224);
  EXPECT_EQ(view->framesAdmittedForTesting(), 22);
  // Marker updates ran inside transactions without implicit actions.
  EXPECT_EQ(CATransaction::depth(), 0);
  ASSERT_GE(CATransaction::log().size(), 2u);
  EXPECT_EQ(CATransaction::log()[1],
            (CATransaction::Record{CATransaction::Record::Kind::setDisableActions, true}));
}

TEST_F(CameraViewTest, CardBoxesAreScaledToTheViewAndCornersToThePicture) {
  scriptedModels(false);
  // (0.1, 0.2, 0.3, 0.4) from the bottom-left in a 400 x 800 view is (40, 320, 120, 320).
  Answer a = answer(CardResult{});
  a.observations[0]->boundingBox = {0.1, 0.2, 0.3, 0.4};
  view->cropRect = {40, 320, 120, 320};
  frame(a);
  EXPECT_EQ(view->confidence, 10);
  Answer b = answer(CardResult{});
  b.observations[0]->boundingBox = {0.1, 0.2, 0.3, 0.4};
  view->cropRect = {41, 320, 120, 320};
  frame(b);
  EXPECT_EQ(view->confidence, 0);
  // Corner centres land on the pixels of the (turned) frame picture, in result order.
  ASSERT_EQ(view->_cropWithFourPoints.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_NEAR(view->_cropWithFourPoints[i].x, kCardCorners[i].x, 1e-9);
    EXPECT_NEAR(view->_cropWithFourPoints[i].y, kCardCorners[i].y, 1e-9);
  }
  // A corner label of exactly 0.7 is not a corner.
  CardResult weak;
  weak.cornerConfidence = 0.7f;
  frame(answer(weak));
  EXPECT_TRUE(view->_cropWithFourPoints.empty());
}

TEST_F(CameraViewTest, GlareCheckDecidesBetweenBadgeAndHandOff) {
  scriptedModels(true);
  auto reachThreshold = [&] {
    view->confidence = 90;
    frame(answer(CardResult{}));
  };
  struct Row {
    const char* name;
    std::optional<Answer> glareAnswer;
    int corners;
    bool handOff;
    int glareRuns;  // frames the glare model saw
  };
  Answer broken;
  broken.failure = "glare model broke";
  Answer hostile = glare(400);
  hostile.observations[0]->boundingBox = {NAN, 0.2, INFINITY, 1e300};
  const Row rows[] = {
      {"51 lit cells are too many", glare(51), 4, false, 1},
      {"50 lit cells are fine", glare(50), 4, true, 1},
      {"boxes under 0.4 do not count", glare(400, 0.39f), 4, true, 1},
      {"0.4 counts", glare(400, 0.4f), 4, false, 1},
      {"a failing glare request hands off once", broken, 4, true, 1},
      {"boxes that are not numbers light nothing", hostile, 4, true, 1},
      {"three corners skip the check", std::nullopt, 3, true, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const int before = listener->detections, seen = glareModel->frames();
    // Start each row without a badge.
    frame(Answer{});
    if (row.glareAnswer) glareModel->enqueue(*row.glareAnswer);
    view->confidence = 90;
    CardResult card;
    card.corners = row.corners;
    frame(answer(card));
    EXPECT_EQ(listener->detections - before, row.handOff ? 1 : 0);
    EXPECT_EQ(glareModel->frames() - seen, row.glareRuns);
    EXPECT_EQ(view->confidence, 0);
    EXPECT_EQ(badges(), row.handOff ? 0 : 1);
    if (row.glareRuns) {
      // The glare model saw the letterbox of the straightened card.
      EXPECT_EQ(glareModel->lastFrameSize(), cv::Size(480, 480));
      EXPECT_EQ(view->_preprocess.dy, 72);
    }
  }
  // Over-exposed again and again: one badge; a usable result below the threshold keeps it, an
  // unusable one removes it.
  for (int i = 0; i < 3; ++i) {
    glareModel->enqueue(glare(60));
    reachThreshold();
  }
  EXPECT_EQ(badges(), 1);
  frame(answer(CardResult{}));
  EXPECT_EQ(badges(), 1);
  frame(Answer{});
  EXPECT_EQ(badges(), 0);
}

TEST_F(CameraViewTest, BadgeIsMeasuredAndClampedToTheCaptureFrame) {
  scriptedModels(false);
  struct FixedWidth : TextMeasurer {
    Size boundingSize(const std::string&, const Font& font, Size limit, int) const override {
      EXPECT_EQ(font.weight, FontWeight::semibold);
      EXPECT_EQ(font.pointSize, 11);
      EXPECT_EQ(limit.height, 14);
      return {100.4, 13};
    }
  };
  TextMeasurer::install(std::make_shared<FixedWidth>());
  view->cropRect = {40, 200, 320, 400};
  auto badge = view->makeOverExposedBadge();
  // Text width 101 (integral) + 41, centred on the frame, 31 above its bottom.
  EXPECT_EQ(badge->frame(), (Rect{200 - 71, 569, 142, 22}));
  EXPECT_EQ(badge->tag(), -1);
  ASSERT_EQ(badge->subviews().size(), 2u);
  auto label = std::dynamic_pointer_cast<Label>(badge->subviews()[1]);
  ASSERT_TRUE(label);
  EXPECT_EQ(label->text(), "Too bright");
  EXPECT_EQ(badge->constraints().size() + label->constraints().size() +
                badge->subviews()[0]->constraints().size(),
            8u);
  view->cropRect = {40, 200, 120, 400};  // narrower than the text
  EXPECT_EQ(view->makeOverExposedBadge()->frame(), (Rect{40, 569, 120, 22}));
}

TEST_F(CameraViewTest, FramesKeepFlowingWhateverTheModelsDo) {
  struct Row {
    const char* name;
    std::function<void()> arrange;
    std::function<std::optional<Answer>()> result;
    PixelBufferPtr buffer;
  };
  Answer broken;
  broken.failure = "model broke";
  auto unreadable = PixelBuffer::makeBGRA(8, 8);
  unreadable->plane(0).bytesPerRow = 4;  // rows shorter than the picture
  const Row rows[] = {
      {"no model stored", [&] { makeView(); }, [] { return std::nullopt; }, nullptr},
      {"request that fails", [&] { scriptedModels(false); }, [&] { return broken; }, nullptr},
      {"no results", [&] { scriptedModels(false); }, [] { return Answer{}; }, nullptr},
      {"buffer that cannot be read", [&] { scriptedModels(false); }, [] { return std::nullopt; },
       unreadable},
      {"model that does not load",
       [&] {
         store("idcard_model");
         loader->failLoading("idcard_model", "corrupt");
         makeView();
       },
       [] { return std::nullopt; }, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    row.arrange();
    for (int i = 0; i < 5; ++i) {
      frame(row.result(), row.buffer);
      if (HasFatalFailure()) return;
    }
    EXPECT_EQ(view->framesAdmittedForTesting(), 5);
    EXPECT_EQ(view->confidence, 0);
  }
  // While a photo is being taken frames are not admitted at all.
  view->isCaptured = true;
  frame(Answer{});
  EXPECT_EQ(view->framesAdmittedForTesting(), 5);
}

TEST_F(CameraViewTest, APictureWithoutPixelsIsHandedOnWithoutAGlareCheck) {
  scriptedModels(true);
  view->confidence = 90;
  // The frame picture loses its pixels while the frame is in detection.
  cardModel->setScript([&](const cv::Mat&) {
    view->_imageRequest.setValue(std::make_shared<Image>(Size{kPictureWidth, kPictureHeight}));
    return answer(CardResult{});
  });
  frame(std::nullopt);
  EXPECT_EQ(listener->detections, 1);
  EXPECT_EQ(glareModel->frames(), 0);
  // No listener: the hand-off still resets the counter.
  view->detectorListener.reset();
  view->confidence = 90;
  frame(std::nullopt);
  EXPECT_EQ(view->confidence, 0);
}

TEST_F(CameraViewTest, ImageFileCameraAndTinyModelReachTheHandOff) {
  // A detector that finds a card and its four corners in a bright frame.
  testing::TinyDetectorRecipe recipe;
  recipe.labels = {"card", "top_left_corner", "top_right_corner", "bottom_right_corner",
                 "bottom_left_corner"};
  recipe.scores.assign(5, std::vector<testing::TinyDetectorRecipe::Score>(5));
  for (int n = 0; n < 5; ++n) recipe.scores[std::size_t(n)][std::size_t(n)] = {{0.3f, 0.3f, 0.3f}, 0.05f};
  recipe.boxes = {{0.5f, 0.5f, 0.6f, 0.4f}, {0.2f, 0.3f, 0.02f, 0.02f}, {0.8f, 0.3f, 0.02f, 0.02f},
                {0.8f, 0.7f, 0.02f, 0.02f}, {0.2f, 0.7f, 0.02f, 0.02f}};
  store("idcard_model", testing::tinyDetectorModel(recipe));
  loader = nullptr;
  ModelLoader::install(nullptr);  // the real ONNX loader

  auto camera = testing::ImageFileCamera::install();
  camera->addDevice(testing::ScriptedCameraDevice::make(
      CaptureDevicePosition::back,
      {testing::ScriptedFrame::picture(cv::Mat(480, 270, CV_8UC4, cv::Scalar::all(255)))}));
  view = make<CameraView>(Rect{0, 0, 400, 800});
  view->cropRect = {0, 0, 400, 800};
  view->detectorListener = listener;
  std::optional<bool> configured;
  view->setUpCamera([&](bool ok) { configured = ok; });
  ASSERT_EQ(configured, true);
  ASSERT_EQ(view->requests.value().size(), 1u);
  EXPECT_FALSE(view->_flashCardRequest);  // no glare model in the store
  view->videoCapture()->start();
  runUntilIdle();
  for (int i = 0; i < 40 && listener->detections == 0; ++i) {
    advance(1.0 / 30);
    runUntilIdle();
    ASSERT_LE(view->framesInDetectionForTesting(), 1);
  }
  EXPECT_EQ(listener->detections, 1);
  ASSERT_TRUE(listener->last);
  EXPECT_EQ(listener->last->size(), (Size{270, 480}));
  EXPECT_EQ(view->_preprocess.image ? view->_preprocess.image->pixelWidth() : 0, 480);
  view->videoCapture()->stop();
  runUntilIdle();
}

TEST_F(CameraViewTest, WithoutAnyModelFramesFlowAndPhotosAreTaken) {
  auto camera = testing::ImageFileCamera::install();
  camera->addDevice(testing::ScriptedCameraDevice::make(
      CaptureDevicePosition::back,
      {testing::ScriptedFrame::picture(cv::Mat(480, 270, CV_8UC4, cv::Scalar::all(90)))}));
  view = make<CameraView>(Rect{0, 0, 400, 800});
  std::optional<bool> configured;
  view->setUpCamera([&](bool ok) { configured = ok; });
  ASSERT_EQ(configured, true);
  EXPECT_TRUE(view->requests.value().empty());
  view->videoCapture()->start();
  runUntilIdle();
  for (int i = 0; i < 15; ++i) {
    advance(1.0 / 30);
    runUntilIdle();
    ASSERT_EQ(view->framesInDetectionForTesting(), 0);
  }
  EXPECT_GE(view->framesAdmittedForTesting(), 10);
  EXPECT_EQ(listener->detections, 0);

  ImagePtr photo;
  int answers = 0;
  view->isCaptured = true;
  view->videoCapture()->imageCaptureOutput()->capture(
      [&](ImagePtr image, std::optional<PlatformError>) {
        photo = std::move(image);
        ++answers;
      });
  runUntilIdle();
  EXPECT_EQ(answers, 1);
  EXPECT_TRUE(photo);
  view->videoCapture()->stop();
  runUntilIdle();
}

TEST_F(CameraViewTest, SetUpWithoutACameraStillLoadsTheModels) {
  store("idcard_model");
  view = make<CameraView>(Rect{0, 0, 400, 800});
  std::optional<bool> configured;
  view->setUpCamera([&](bool ok) { configured = ok; });
  EXPECT_EQ(configured, false);
  EXPECT_EQ(view->requests.value().size(), 1u);
  EXPECT_TRUE(view->layer()->sublayers().empty());
}

}  // namespace
}  // namespace ostrel
