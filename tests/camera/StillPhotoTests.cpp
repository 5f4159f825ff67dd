#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "camera/OSLVideoCapture.hpp"
#include "testing/ImageFileCamera.hpp"
#include "testing/RuntimeFixture.hpp"
#include "ui/ImageExtensions.hpp"

namespace ostrel {
namespace {

using namespace ostrel::platform;
using testing::ImageFileCamera;
using testing::ScriptedCameraDevice;
using testing::ScriptedFrame;
using testing::ScriptedPhoto;

struct Answer {
  ImagePtr image;
  std::optional<PlatformError> error;
  bool onPhotoQueue = false;
};

class StillPhotoTest : public testing::RuntimeTest {
 protected:
  void SetUp() override {
    camera->addDevice(ScriptedCameraDevice::make(CaptureDevicePosition::back,
                                                 {ScriptedFrame::picture(scene)}));
    capture->setUp(LayerVideoGravity::resizeAspectFill, CaptureDevicePosition::back, 30,
                   [](bool configured) { ASSERT_TRUE(configured); });
    photos = std::dynamic_pointer_cast<iOS10CaptureOutput>(capture->imageCaptureOutput());
    ASSERT_TRUE(photos);
    driver = camera->driver(CaptureDevicePosition::back);
  }

  void takePhoto() {
    auto queue = photos->output()->callbackQueue();
    photos->capture([this, queue](ImagePtr image, std::optional<PlatformError> error) {
      answers.push_back({std::move(image), std::move(error), queue->isCurrent()});
    });
  }

  void run() {
    capture->start();
    runUntilIdle();
  }

  cv::Mat scene = testing::coordinatePicture(30, 40);
  std::shared_ptr<ImageFileCamera> camera = ImageFileCamera::install();
  std::shared_ptr<OSLVideoCapture> capture = std::make_shared<OSLVideoCapture>();
  std::shared_ptr<iOS10CaptureOutput> photos;
  std::shared_ptr<testing::ImageFileCameraDriver> driver;
  std::vector<Answer> answers;
};

TEST_F(StillPhotoTest, APhotoComesUprightThroughItsOrientationWithoutFlash) {
  run();
  takePhoto();
  runUntilIdle();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_TRUE(answers[0].onPhotoQueue);
  EXPECT_FALSE(answers[0].error);
  ASSERT_TRUE(answers[0].image);
  // The sensor's pixels with orientation right; turned, they are the scene.
  EXPECT_EQ(answers[0].image->orientation(), ImageOrientation::right);
  auto upright = fixedOrientation(answers[0].image);
  ASSERT_TRUE(upright && upright->hasBitmap());
  ASSERT_EQ(upright->bitmap().size(), scene.size());
  cv::Mat diff;
  cv::absdiff(upright->bitmap(), scene, diff);
  EXPECT_LT(cv::mean(diff)[0] + cv::mean(diff)[1], 6);
  ASSERT_EQ(driver->photoRequests().size(), 1u);
  EXPECT_EQ(driver->photoRequests()[0].flashMode, FlashMode::off);
}

TEST_F(StillPhotoTest, FailedPhotosAnswerOnceWithWhatWentWrong) {
  struct Row {
    const char* name;
    std::optional<ScriptedPhoto> scripted;  // none: the session is not running
    bool image;
    std::optional<PlatformError> error;
  };
  const PlatformError cameraError{"AVFoundationErrorDomain", -11800, "The operation could not be completed",
                                  "An unknown error occurred."};
  const Row rows[] = {
      {"camera error", ScriptedPhoto::failure(cameraError), false, cameraError},
      {"no data", ScriptedPhoto::noData(), false,
       PlatformError{"CameraView", -1, "Fail to convert pixel buffer",
                     "AVCapturePhoto.fileDataRepresentation() return null"}},
      // Neither picture nor error: the capture screen treats it as a failed capture.
      {"undecodable", ScriptedPhoto::undecodable(), false, std::nullopt},
  };
  run();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    answers.clear();
    driver->queuePhoto(*row.scripted);
    takePhoto();
    runUntilIdle();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].image != nullptr, row.image);
    ASSERT_EQ(answers[0].error.has_value(), row.error.has_value());
    if (row.error) {
      EXPECT_EQ(answers[0].error->domain, row.error->domain);
      EXPECT_EQ(answers[0].error->code, row.error->code);
      EXPECT_EQ(answers[0].error->localizedDescription, row.error->localizedDescription);
      EXPECT_EQ(answers[0].error->localizedFailureReason, row.error->localizedFailureReason);
    }
  }
  EXPECT_EQ(photos->pendingRequestCount(), 0u);
}

TEST_F(StillPhotoTest, APhotoOfAStoppedCameraIsAnError) {
  takePhoto();
  runUntilIdle();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_FALSE(answers[0].image);
  ASSERT_TRUE(answers[0].error);
  EXPECT_EQ(answers[0].error->code, kCaptureErrorSessionNotRunning);
}

// Two requests before the first answer: each caller gets its own photo, once.
TEST_F(StillPhotoTest, OverlappingRequestsAreEachAnsweredOnce) {
  run();
  driver->queuePhoto(ScriptedPhoto::noData());
  driver->queuePhoto(ScriptedPhoto::jpeg(scene, 1));
  std::vector<int> firstCalls, secondCalls;
  std::vector<bool> secondHadImage;
  photos->capture([&](ImagePtr image, std::optional<PlatformError>) { firstCalls.push_back(image ? 1 : 0); });
  photos->capture([&](ImagePtr image, std::optional<PlatformError> error) {
    secondCalls.push_back(error ? 0 : 1);
    secondHadImage.push_back(image != nullptr);
  });
  EXPECT_EQ(photos->pendingRequestCount(), 2u);
  runUntilIdle();
  ASSERT_EQ(firstCalls.size(), 1u);
  EXPECT_EQ(firstCalls[0], 0);
  ASSERT_EQ(secondCalls.size(), 1u);
  EXPECT_EQ(secondCalls[0], 1);
  EXPECT_TRUE(secondHadImage[0]);
  EXPECT_EQ(photos->pendingRequestCount(), 0u);
}

}  // namespace
}  // namespace ostrel
