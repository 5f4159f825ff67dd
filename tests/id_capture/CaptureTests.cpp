#include <algorithm>
#include <cmath>

#include "network/ModelDownloader.hpp"
#include "testing/TinyOnnxModel.hpp"

#include "tests/id_capture/IDCaptureTest.hpp"

namespace ostrel::id_capture_test {
namespace {

// The pixel rectangle a crop of the mask's crop frame, grown by 5 % of its height above and
// below, covers in a picture of `picture` pixels shown stretched over `view` points.
cv::Rect expectedCrop(Rect cropFrame, Size view, cv::Size picture) {
  const double sx = picture.width / view.width, sy = picture.height / view.height;
  const double top = cropFrame.minY() - 0.05 * cropFrame.height();
  const double bottom = top + 1.1 * cropFrame.height();
  const int x0 = int(std::floor(std::max(0.0, cropFrame.minX() * sx)));
  const int y0 = int(std::floor(std::max(0.0, top * sy)));
  const int x1 = int(std::ceil(std::min(double(picture.width), cropFrame.maxX() * sx)));
  const int y1 = int(std::ceil(std::min(double(picture.height), bottom * sy)));
  return {x0, y0, x1 - x0, y1 - y0};
}

// Whether `image` is the part `crop` of the coordinate picture (within `tolerance` per channel,
// for pictures that went through JPEG).
void expectCoordinateCrop(const ImagePtr& image, cv::Rect crop, int tolerance) {
  ASSERT_TRUE(image && image->hasBitmap());
  const cv::Mat pixels = image->uprightBitmap();
  ASSERT_EQ(pixels.cols, crop.width);
  ASSERT_EQ(pixels.rows, crop.height);
  for (cv::Point at : {cv::Point(0, 0), cv::Point(crop.width - 1, crop.height - 1),
                       cv::Point(crop.width / 2, crop.height / 3)}) {
    const cv::Vec4b px = pixels.at<cv::Vec4b>(at);
    const int x = (crop.x + at.x) % 256, y = (crop.y + at.y) % 256;
    EXPECT_NEAR(px[0], x, tolerance) << "x at " << at;
    EXPECT_NEAR(px[1], y, tolerance) << "y at " << at;
  }
}

TEST_F(IDCaptureTest, ManualCaptureShowsTheCroppedPhotoAndRetakeGoesBackToTheLiveCamera) {
  // The rule worked by hand: (20, 100, 300, 190) grown to (20, 90.5, 300, 209), times 3.
  ASSERT_EQ(expectedCrop({20, 100, 300, 190}, {375, 812}, {1125, 2436}),
            cv::Rect(60, 271, 900, 628));
  open(true);
  ASSERT_TRUE(isLive());
  EXPECT_EQ(screen->cameraMarkView->cropFrame, screen->targetView->frame())
      << "the mask's hole follows the target";
  EXPECT_EQ(screen->viewCamera->cropRect, screen->cameraMarkView->cropFrame);
  auto start = lastEvent("CAPTURE_START");
  ASSERT_TRUE(start);
  EXPECT_EQ(start->data, (JSON{{"side", "front"}}));
  EXPECT_EQ(start->screen, "OSL_SCREEN_CAPTURE_FRONT");
  clearLog();

  tapCapture();
  ASSERT_TRUE(isPreview());
  EXPECT_EQ(events(), (Strings{"TAP_CAPTURE"})) << "a manual capture is no auto success";
  EXPECT_EQ(haptics(), (Strings{"impact.heavy"}));
  EXPECT_EQ(backCamera()->photoRequests().size(), 1u);
  EXPECT_FALSE(screen->viewCamera->videoCapture()->captureSession()->isRunning());
  EXPECT_FALSE(screen->viewCamera->isCaptured);
  EXPECT_TRUE(screen->viewCaptureSuccess->isHidden());
  EXPECT_EQ(thumbnails(), 0);
  // The photo is the upright scene (the camera wrote it turned, with its orientation tag).
  expectCoordinateCrop(screen->cardImageView->image(),
                       expectedCrop(screen->cameraMarkView->cropFrame,
                                    screen->cameraMarkView->bounds().size, {780, 1688}),
                       4);
  clearLog();

  tapRetake();
  EXPECT_TRUE(isLive());
  EXPECT_EQ(events(), (Strings{"CAPTURE_START", "TAP_RETRY"})) << "the camera restarts before the event";
  EXPECT_EQ(screen->guideDescLabel->text(), "[id_capture_subtitle] [id_capture_subtitle_front]");
  EXPECT_EQ(screen->captureButton->superview()->alpha(), 1);

  tapCapture();
  EXPECT_TRUE(isPreview()) << "the camera takes photos again after a retake";
  EXPECT_EQ(backCamera()->photoRequests().size(), 2u);
}

TEST_F(IDCaptureTest, AutomaticCaptureUsesTheDetectedFrameOnlyWithTheSwitchOn) {
  open(false);
  const auto picture = std::make_shared<Image>(testing::coordinatePicture(780, 1688));
  screen->viewCamera->_preprocess.imageCropFit = std::make_shared<Image>(testing::coordinatePicture(64, 40));

  user().tap(screen->viewSwitchBtn);
  settle();
  EXPECT_FALSE(screen->viewSwitchBtn->isOn);
  clearLog();
  screen->didDetect(picture);
  settle();
  EXPECT_TRUE(isLive()) << "with the switch off a detection takes no photo";
  EXPECT_TRUE(backCamera()->photoRequests().empty());

  user().tap(screen->viewSwitchBtn);
  settle();
  screen->didDetect(picture);
  settle();
  ASSERT_TRUE(isPreview());
  EXPECT_EQ(events(), (Strings{"CAPTURE_AUTO_ON", "CAPTURE_AUTO_SUCCESS"}));
  EXPECT_EQ(lastEvent("CAPTURE_AUTO_SUCCESS")->screen, "OSL_SCREEN_CAPTURE_BACK");
  EXPECT_FALSE(screen->viewCaptureSuccess->isHidden());
  EXPECT_EQ(screen->viewCaptureSuccess->alpha(), 1);
  ASSERT_EQ(thumbnails(), 1);
  const auto thumbnail = screen->cameraMarkView->viewWithTag(IDCaptureVC::kThumbnailTag);
  EXPECT_EQ(thumbnail->frame(), screen->cameraMarkView->cropFrame);
  EXPECT_EQ(thumbnail->alpha(), 1);
  // The frame picture is used as it is, not the photo: exact pixels.
  expectCoordinateCrop(screen->cardImageView->image(),
                       expectedCrop(screen->cameraMarkView->cropFrame,
                                    screen->cameraMarkView->bounds().size, {780, 1688}),
                       0);

  tapRetake();
  EXPECT_EQ(thumbnails(), 0) << "every retake removes the thumbnail";
  EXPECT_TRUE(isLive());
  EXPECT_TRUE(screen->viewCaptureSuccess->isHidden());
}

TEST_F(IDCaptureTest, ASteadyCardInTheFrameIsCapturedByTheDetectionModel) {
  // The sample card detector sees a card with its four corners in any bright frame, inside the
  // target.
  ModelDownloader().store("idcard_model",
                          testing::tinyDetectorModel(testing::sampleCardDetectorRecipe()));
  installCameras(cv::Mat(1688, 780, CV_8UC4, cv::Scalar::all(255)));

  for (bool automatic : {false, true}) {
    SCOPED_TRACE(automatic ? "switch on" : "switch off");
    clearLog();
    // The switch is set before the first frame arrives.
    screen = IDCaptureVC::create(true);
    screen->loadViewIfNeeded();
    screen->viewSwitchBtn->isOn = automatic;
    startSession(screen);
    for (int i = 0; i < 90 && !screen->isPreviewShown(); ++i) {
      advance(1.0 / 30);
      runUntilIdle();
    }
    settle();
    if (!automatic) {
      EXPECT_TRUE(isLive()) << "no photo with the switch off";
      EXPECT_TRUE(backCamera()->photoRequests().empty());
      continue;
    }
    ASSERT_TRUE(isPreview());
    const Strings seen = events();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "CAPTURE_AUTO_SUCCESS"), 1);
    EXPECT_EQ(seen.back(), "CAPTURE_AUTO_SUCCESS");
    EXPECT_EQ(thumbnails(), 1);
    EXPECT_FALSE(screen->viewCaptureSuccess->isHidden());
    EXPECT_EQ(backCamera()->photoRequests().size(), 1u);
  }
}

TEST_F(IDCaptureTest, ACardFrameAtTheVeryTopIsCutWithinThePicture) {
  open(true);
  // The target moved up to the top edge: the grown crop reaches above the picture.
  screen->topTargetViewCT->constant = -150;
  screen->view()->setNeedsLayout();
  screen->view()->layoutIfNeeded();
  const Rect frame = screen->cameraMarkView->cropFrame;
  ASSERT_EQ(frame.minY(), 0);
  screen->didDetect(std::make_shared<Image>(testing::coordinatePicture(780, 1688)));
  settle();
  ASSERT_TRUE(isPreview());
  const cv::Rect crop = expectedCrop(frame, screen->cameraMarkView->bounds().size, {780, 1688});
  EXPECT_EQ(crop.y, 0);
  expectCoordinateCrop(screen->cardImageView->image(), crop, 0);
}

TEST_F(IDCaptureTest, OnlyTheLiveCameraTakesPhotos) {
  open(true);
  const auto picture = std::make_shared<Image>(testing::coordinatePicture(780, 1688));
  // A double tap: the second tap finds a photo under way.
  screen->onTapCapture();
  screen->onTapCapture();
  EXPECT_TRUE(screen->viewCamera->isCaptured);
  settle();
  ASSERT_TRUE(isPreview());
  EXPECT_EQ(backCamera()->photoRequests().size(), 1u);
  EXPECT_EQ(haptics().size(), 1u);
  // A detection result that was already on its way when the photo came back.
  const auto shown = screen->cardImageView->image();
  screen->didDetect(picture);
  settle();
  EXPECT_EQ(backCamera()->photoRequests().size(), 1u);
  EXPECT_EQ(screen->cardImageView->image(), shown);
  EXPECT_EQ(lastEvent("CAPTURE_AUTO_SUCCESS"), nullptr);
}

TEST_F(IDCaptureTest, AFailedPhotoLeavesTheCameraLiveAgain) {
  struct Row {
    const char* name;
    testing::ScriptedPhoto photo;
    Strings events;
  };
  const Row rows[] = {
      {"error", testing::ScriptedPhoto::failure({"Camera", 3, "The photo failed", ""}),
       {"TAP_CAPTURE", "CAPTURE_ERROR", "CAPTURE_START"}},
      {"neither picture nor error", testing::ScriptedPhoto::undecodable(),
       {"TAP_CAPTURE", "CAPTURE_START"}},
  };
  open(true);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    clearLog();
    backCamera()->queuePhoto(row.photo);
    const auto requests = backCamera()->photoRequests().size();
    screen->onTapCapture();
    settle();
    EXPECT_TRUE(isLive());
    EXPECT_EQ(events(), row.events);
    if (auto error = lastEvent("CAPTURE_ERROR")) {
      EXPECT_EQ(error->data, (JSON{{"error", "The photo failed"}}));
      EXPECT_EQ(error->level, OSLLogLevel::error);
    }
    EXPECT_EQ(screen->cardImageView->image(), nullptr);
    EXPECT_TRUE(alert() == nullptr) << "no message is shown";
    // The next tap takes a photo that works.
    tapCapture();
    EXPECT_TRUE(isPreview());
    EXPECT_EQ(backCamera()->photoRequests().size(), requests + 2);
    tapRetake();
  }
}

TEST_F(IDCaptureTest, APhotoFailingAfterTheScreenLeftStartsNoCamera) {
  open(true);
  backCamera()->queuePhoto(testing::ScriptedPhoto::failure({"Camera", 3, "The photo failed", ""}));
  screen->onTapCapture();
  Ostrel::shared()->close(true);
  settle(2);
  ASSERT_FALSE(screen->view()->window());
  EXPECT_TRUE(lastEvent("CAPTURE_ERROR"));
  EXPECT_FALSE(screen->viewCamera->videoCapture()->captureSession()->isRunning());
  EXPECT_FALSE(backCamera()->isStreaming());
}

}  // namespace
}  // namespace ostrel::id_capture_test
