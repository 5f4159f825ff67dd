#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/Debug.hpp"
#include "platform/foundation/DeviceInfo.hpp"
#include "platform/media/Image.hpp"
#include "platform/media/PixelBufferConversion.hpp"
#include "platform/media/ExifOrientation.hpp"
#include "platform/vision/DetectFaceRectanglesRequest.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "platform/vision/LandmarkFaceDetector.hpp"
#include "platform/vision/VisionError.hpp"
#include "testing/FacePhotographs.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/ScriptedFaceDetector.hpp"

namespace ostrel::platform {
namespace {

using testing::faceObservationFor;
using testing::ScriptedFaceDetector;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Sets an environment variable for one scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class FaceRectanglesRequestTest : public testing::RuntimeTest {
 protected:
  std::shared_ptr<ScriptedFaceDetector> detector = std::make_shared<ScriptedFaceDetector>();
  testing::InstalledFaceDetector installed{detector};

  PixelBufferPtr frame(int uprightWidth = 48, int uprightHeight = 64) {
    return testing::transposedCameraBuffer(
        cv::Mat(uprightHeight, uprightWidth, CV_8UC4, cv::Scalar(90, 120, 150, 255)));
  }
};

TEST_F(FaceRectanglesRequestTest, HandsOnWhatTheDetectorSawInTheUprightPicture) {
  int completions = 0;
  std::optional<PlatformError> seenError;
  auto request = std::make_shared<DetectFaceRectanglesRequest>(
      [&](VisionRequest&, const std::optional<PlatformError>& error) {
        ++completions;
        seenError = error;
      });
  const Rect reference(0, 0, 300, 400);
  detector->push(std::vector<FaceObservationPtr>{
      faceObservationFor(Rect(60, 80, 120, 150), reference, 0.1f, -0.2f, 0.3f),
      faceObservationFor(Rect(200, 20, 40, 50), reference)});
  const CameraIntrinsics intrinsics{500, 0, 30, 0, 510, 20, 0, 0, 1};

  // Stored transposed (64 x 48) as a front camera stores it; orientation 5 turns it upright.
  const auto error =
      testing::performOnCameraQueue(runtime(), request, frame(), 5, {intrinsics});
  EXPECT_FALSE(error.has_value());
  EXPECT_EQ(completions, 1);
  EXPECT_FALSE(seenError.has_value());
  EXPECT_EQ(detector->lastFrameSize(), cv::Size(48, 64));
  ASSERT_TRUE(detector->lastIntrinsics().has_value());
  EXPECT_EQ(*detector->lastIntrinsics(), (CameraIntrinsics{510, 0, 20, 0, 500, 30, 0, 0, 1}))
      << "turned with the picture";

  const auto faces = request->faceResults();
  ASSERT_EQ(faces.size(), 2u);
  EXPECT_DOUBLE_EQ(faces[0]->boundingBox.minX(), 0.2);
  EXPECT_DOUBLE_EQ(faces[0]->boundingBox.minY(), 1.0 - 230.0 / 400.0);
  EXPECT_DOUBLE_EQ(faces[0]->boundingBox.width(), 0.4);
  EXPECT_DOUBLE_EQ(faces[0]->boundingBox.height(), 150.0 / 400.0);
  EXPECT_EQ(faces[0]->pitch, 0.1f);
  EXPECT_EQ(faces[0]->yaw, -0.2f);
  EXPECT_EQ(faces[0]->roll, 0.3f);
}

TEST_F(FaceRectanglesRequestTest, UntrustedObservationsAreMadeSafe) {
  struct Row {
    const char* name;
    Rect box;
    float pitch, yaw, roll;
    bool boxKept;
    bool pitchKept, yawKept, rollKept;
  };
  const Rect fine(0.25, 0.3, 0.4, 0.35);
  const Row rows[] = {
      {"everything finite", fine, 0.1f, 0.2f, -0.3f, true, true, true, true},
      {"huge but finite values are the screen's to judge", Rect(-1e30, 1e30, 1e30, 1e30), 1e30f,
       -1e30f, 1e30f, true, true, true, true},
      {"box x not a number", Rect(std::nan(""), 0.3, 0.4, 0.35), 0, 0, 0, false, true, true, true},
      {"box height infinite", Rect(0.2, 0.3, 0.4, HUGE_VAL), 0, 0, 0, false, true, true, true},
      {"pitch not a number", fine, kNaN, 0.1f, 0.1f, true, false, true, true},
      {"yaw infinite", fine, 0.1f, -kInf, 0.1f, true, true, false, true},
      {"roll infinite", fine, 0.1f, 0.1f, kInf, true, true, true, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto observation = FaceObservation::make(row.box, row.pitch, row.yaw, row.roll);
    observation->confidence = kNaN;
    detector->push(std::vector<FaceObservationPtr>{observation, nullptr});
    auto request = std::make_shared<DetectFaceRectanglesRequest>();
    ASSERT_FALSE(testing::performOnCameraQueue(runtime(), request, frame()).has_value());
    const auto faces = request->faceResults();
    ASSERT_EQ(faces.size(), 1u) << "a missing observation is skipped";
    const auto& face = *faces[0];
    if (row.boxKept) {
      EXPECT_EQ(face.boundingBox.origin.x, row.box.origin.x);
      EXPECT_EQ(face.boundingBox.size.height, row.box.size.height);
    } else {
      EXPECT_EQ(face.boundingBox.width(), 0);
      EXPECT_EQ(face.boundingBox.height(), 0);
      EXPECT_EQ(face.boundingBox.minX(), 0);
      EXPECT_EQ(face.boundingBox.minY(), 0);
    }
    EXPECT_EQ(face.pitch.has_value(), row.pitchKept);
    EXPECT_EQ(face.yaw.has_value(), row.yawKept);
    EXPECT_EQ(face.roll.has_value(), row.rollKept);
    EXPECT_EQ(face.confidence, 0);
    EXPECT_TRUE(std::isnan(observation->confidence)) << "the detector's own object is untouched";
  }
}

TEST_F(FaceRectanglesRequestTest, PitchOnlyWhereTheDeviceReportsIt) {
  struct Row {
    DeviceInfo device;
    bool pitch;
  };
  const Row rows[] = {
      {{"iPhone12,1", "iOS", "14.8.1"}, false}, {{"iPhone12,1", "iOS", "9"}, false},
      {{"iPhone12,1", "iOS", "15.0"}, true},    {{"iPhone14,2", "iOS", "17.5"}, true},
      {{"iPhone14,2", "iOS", ""}, true},        {{"ThinkPad", "Linux", "6.1"}, true},
  };
  detector->setFallback(std::vector<FaceObservationPtr>{
      FaceObservation::make(Rect(0.2, 0.2, 0.5, 0.5), 0.2f, 0.1f, -0.1f)});
  for (const auto& row : rows) {
    SCOPED_TRACE(row.device.systemName + " " + row.device.systemVersion);
    DeviceInfo::override(row.device);
    auto request = std::make_shared<DetectFaceRectanglesRequest>();
    ASSERT_FALSE(testing::performOnCameraQueue(runtime(), request, frame()).has_value());
    ASSERT_EQ(request->faceResults().size(), 1u);
    EXPECT_EQ(request->faceResults()[0]->pitch.has_value(), row.pitch);
    EXPECT_TRUE(request->faceResults()[0]->yaw.has_value());
  }
}

TEST_F(FaceRectanglesRequestTest, DetectorFailureReachesTheCompletionAndThePerformer) {
  detector->push(PlatformError{kVisionErrorDomain, 9, "detector broke", ""});
  detector->push(std::vector<FaceObservationPtr>{FaceObservation::make(Rect(0, 0, 1, 1))});
  std::vector<std::optional<PlatformError>> completions;
  auto request = std::make_shared<DetectFaceRectanglesRequest>(
      [&](VisionRequest&, const std::optional<PlatformError>& e) { completions.push_back(e); });

  auto error = testing::performOnCameraQueue(runtime(), request, frame());
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->localizedDescription, "detector broke");
  ASSERT_EQ(completions.size(), 1u);
  ASSERT_TRUE(completions[0].has_value());
  EXPECT_EQ(completions[0]->code, 9);
  EXPECT_TRUE(request->faceResults().empty());

  // The next frame is judged normally again.
  EXPECT_FALSE(testing::performOnCameraQueue(runtime(), request, frame()).has_value());
  EXPECT_EQ(request->faceResults().size(), 1u);
  EXPECT_EQ(completions.size(), 2u);

  // An unreadable picture fails before the detector is asked, with the completion not called.
  const int seen = detector->framesSeen();
  EXPECT_TRUE(testing::performOnCameraQueue(runtime(), request, nullptr).has_value());
  EXPECT_EQ(detector->framesSeen(), seen);
}

TEST(IntrinsicsForUprightPicture, PrincipalPointFollowsThePicture) {
  // A stored picture with one marked pixel at the principal point: wherever the orientation
  // shows it, the turned principal point must sit on it.
  const int w = 40, h = 30, px = 9, py = 22;
  cv::Mat stored(h, w, CV_8UC4, cv::Scalar(0, 0, 0, 255));
  stored.at<cv::Vec4b>(py, px) = cv::Vec4b(255, 255, 255, 255);
  const CameraIntrinsics k{700, 0, px + 0.5f, 0, 650, py + 0.5f, 0, 0, 1};
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE("orientation " + std::to_string(orientation));
    const cv::Mat upright = displayBitmap(stored, imageOrientationFromExif(orientation));
    cv::Point marked;
    cv::Mat gray;
    cv::extractChannel(upright, gray, 0);
    cv::minMaxLoc(gray, nullptr, nullptr, nullptr, &marked);
    const CameraIntrinsics turned = intrinsicsForUprightPicture(k, orientation, w, h);
    EXPECT_FLOAT_EQ(turned[2], marked.x + 0.5f);
    EXPECT_FLOAT_EQ(turned[5], marked.y + 0.5f);
    const bool sideways = upright.cols == h;
    EXPECT_EQ(turned[0], sideways ? 650 : 700);
    EXPECT_EQ(turned[4], sideways ? 700 : 650);
  }
}

class FaceDetectorBackendTest : public testing::RuntimeTest {};

TEST_F(FaceDetectorBackendTest, MissingLandmarkModelIsReportedWhenTheDetectorIsMade) {
  std::vector<std::string> logged;
  setDebugSink([&](std::string_view line) { logged.emplace_back(line); });
  const std::string missing = (dataDirectory() / "no-such-model.dat").string();
  ScopedEnvironment path("OSTREL_FACE_LANDMARK_MODEL", missing);
  try {
    (void)std::make_shared<DetectFaceRectanglesRequest>();
    FAIL() << "made a request without a model";
  } catch (const VisionError& e) {
    EXPECT_EQ(e.code(), VisionErrorCode::invalidModel);
  }
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_NE(logged[0].find(missing), std::string::npos);
  EXPECT_NE(logged[0].find("libdlib-data"), std::string::npos);
}

TEST_F(FaceDetectorBackendTest, UnreadableLandmarkModelFailsTheFrameNotTheProcess) {
  const auto garbage = dataDirectory() / "garbage.dat";
  std::ofstream(garbage) << "this is not a landmark model";
  ScopedEnvironment path("OSTREL_FACE_LANDMARK_MODEL", garbage.string());
  auto request = std::make_shared<DetectFaceRectanglesRequest>();
  const auto buffer = testing::transposedCameraBuffer(testing::facePhotographRGBA());

  // The main queue never loads it: the frame fails at once.
  std::optional<PlatformError> onMain;
  try {
    ImageRequestHandler(buffer, 5).perform({request});
  } catch (const VisionError& e) {
    onMain = e.error();
  }
  ASSERT_TRUE(onMain.has_value());
  EXPECT_NE(onMain->localizedDescription.find("main queue"), std::string::npos);

  std::vector<std::string> logged;
  setDebugSink([&](std::string_view line) { logged.emplace_back(line); });
  for (int frame = 0; frame < 2; ++frame) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    const auto error = testing::performOnCameraQueue(runtime(), request, buffer);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, int(VisionErrorCode::invalidModel));
    EXPECT_NE(error->localizedDescription.find(garbage.string()), std::string::npos);
    EXPECT_TRUE(request->faceResults().empty());
  }
  EXPECT_EQ(logged.size(), 1u) << "reported, and not read again for every frame";
}

}  // namespace
}  // namespace ostrel::platform
