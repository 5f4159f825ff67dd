#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/vision/DetectFaceRectanglesRequest.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "platform/vision/LandmarkFaceDetector.hpp"
#include "testing/FacePhotographs.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel::platform {
namespace {

constexpr double kDegree = M_PI / 180.0;

// The real detector on frames composed from a real portrait. Every frame goes through the
// camera path: stored transposed and shown upright by orientation 5.
class FacePhotographTest : public testing::RuntimeTest {
 protected:
  std::vector<FaceObservationPtr> detect(const cv::Mat& upright) {
    auto request = std::make_shared<DetectFaceRectanglesRequest>();
    const auto error = testing::performOnCameraQueue(
        runtime(), request, testing::transposedCameraBuffer(upright));
    EXPECT_FALSE(error.has_value()) << (error ? error->localizedDescription : "");
    return request->faceResults();
  }

  static double degrees(const std::optional<float>& radians) {
    return radians ? *radians / kDegree : std::nan("");
  }
};

TEST_F(FacePhotographTest, FrontalPortraitAndItsInPlaneTurns) {
  const cv::Mat& photo = testing::facePhotographRGBA();
  const auto faces = detect(photo);
  ASSERT_EQ(faces.size(), 1u);
  const auto& face = *faces[0];
  // The face sits in the upper middle of the portrait: the box is bottom-left based.
  EXPECT_GT(face.boundingBox.minX(), 0.2);
  EXPECT_LT(face.boundingBox.maxX(), 0.8);
  EXPECT_GT(face.boundingBox.midY(), 0.5);
  EXPECT_NEAR(face.boundingBox.width() * photo.cols, 216, 40);
  ASSERT_TRUE(face.yaw && face.roll && face.pitch);
  EXPECT_NEAR(degrees(face.yaw), 0, 10);
  EXPECT_NEAR(degrees(face.roll), 0, 10);
  EXPECT_LT(std::abs(degrees(face.pitch)), 30) << "not folded by a half turn";

  // Leaning the picture counter-clockwise leans the face that way: roll grows by the turn.
  for (const double turn : {20.0, -20.0}) {
    SCOPED_TRACE("turned by " + std::to_string(turn));
    const auto turned = detect(testing::rotatedInPlane(photo, turn));
    ASSERT_EQ(turned.size(), 1u);
    EXPECT_NEAR(degrees(turned[0]->roll) - degrees(face.roll), turn, 5);
    EXPECT_NEAR(degrees(turned[0]->yaw), degrees(face.yaw), 10);
  }
}

TEST_F(FacePhotographTest, TwoPortraitsSideBySideGiveTwoFaces) {
  const cv::Mat& photo = testing::facePhotographRGBA();
  auto faces = detect(testing::sideBySide(photo, testing::mirrored(photo)));
  ASSERT_EQ(faces.size(), 2u);
  std::sort(faces.begin(), faces.end(), [](const auto& a, const auto& b) {
    return a->boundingBox.minX() < b->boundingBox.minX();
  });
  EXPECT_LT(faces[0]->boundingBox.maxX(), 0.5);
  EXPECT_GT(faces[1]->boundingBox.minX(), 0.5);
  EXPECT_NEAR(faces[0]->boundingBox.midX(), 1.0 - faces[1]->boundingBox.midX(), 0.02);
  EXPECT_NEAR(faces[0]->boundingBox.midY(), faces[1]->boundingBox.midY(), 0.02);
  // The mirror image turns the other way.
  EXPECT_NEAR(degrees(faces[0]->roll), -degrees(faces[1]->roll), 4);
  EXPECT_NEAR(degrees(faces[0]->yaw), -degrees(faces[1]->yaw), 4);
}

// The face screen's size filter: a face passes when its box is at least 0.3 of the capture
// circle's width. The circle is taken here as 80 % of the frame's width, as the face screen
// lays it out on a portrait phone.
bool passesSizeFilter(const FaceObservation& face, int frameWidth) {
  const double circle = 0.8 * frameWidth;
  return face.boundingBox.width() * frameWidth >= 0.3 * circle;
}

TEST_F(FacePhotographTest, AFaceTooSmallForTheSizeFilterIsStillFound) {
  // Shrinking the portrait on a camera-sized frame, the size filter must turn the face down
  // (too far) while the detector still sees it (rather than "no face"): also on a large frame,
  // which is searched on a scaled copy.
  const cv::Mat& photo = testing::facePhotographRGBA();
  for (const cv::Size frameSize : {cv::Size(480, 640), cv::Size(720, 1280)}) {
    SCOPED_TRACE(std::to_string(frameSize.width) + " x " + std::to_string(frameSize.height));
    const double fit = double(frameSize.width) / photo.cols;
    bool rejected = false;
    for (double factor = fit; factor > 0.2 * fit && !rejected; factor *= 0.85) {
      SCOPED_TRACE("scaled by " + std::to_string(factor));
      const auto faces = detect(testing::scaledOnCanvas(photo, factor, frameSize));
      ASSERT_EQ(faces.size(), 1u);
      // Placed in the middle of the frame, the face is found where the portrait went.
      EXPECT_NEAR(faces[0]->boundingBox.midX(), 0.5, 0.08);
      rejected = !passesSizeFilter(*faces[0], frameSize.width);
    }
    EXPECT_TRUE(rejected);
  }
}

TEST_F(FacePhotographTest, LandmarkModelLoadsOnceAndIsShared) {
  // Two requests on the same process: the second finds the model in memory and may even be
  // performed on the main queue.
  (void)detect(testing::facePhotographRGBA());
  auto request = std::make_shared<DetectFaceRectanglesRequest>();
  ImageRequestHandler(testing::transposedCameraBuffer(testing::facePhotographRGBA()), 5)
      .perform({request});
  EXPECT_EQ(request->faceResults().size(), 1u);
}

}  // namespace
}  // namespace ostrel::platform
