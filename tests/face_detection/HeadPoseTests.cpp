#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

#include "platform/vision/HeadPose.hpp"

namespace ostrel::platform {
namespace {

constexpr double kRadiansPerDegree = M_PI / 180.0;

cv::Matx33d turnAboutX(double a) {
  return {1, 0, 0, 0, std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a)};
}
cv::Matx33d turnAboutY(double a) {
  return {std::cos(a), 0, std::sin(a), 0, 1, 0, -std::sin(a), 0, std::cos(a)};
}
cv::Matx33d turnAboutZ(double a) {
  return {std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a), 0, 0, 0, 1};
}

// Where the six model points land for a head turned by the given angles (degrees, with the
// documented signs) 3 m in front of a camera.
PoseLandmarks project(double pitch, double yaw, double roll, const cv::Matx33d& camera) {
  // Frontal: the model's y axis (up) and z axis (out of the face) point against the camera's.
  const cv::Matx33d frontal(1, 0, 0, 0, -1, 0, 0, 0, -1);
  const cv::Matx33d r = turnAboutZ(-roll * kRadiansPerDegree) * turnAboutY(-yaw * kRadiansPerDegree) *
                        turnAboutX(pitch * kRadiansPerDegree) * frontal;
  cv::Mat rvec;
  cv::Rodrigues(r, rvec);
  const auto& model = genericFaceModel();
  std::vector<cv::Point3d> points(model.begin(), model.end());
  std::vector<cv::Point2d> projected;
  cv::projectPoints(points, rvec, cv::Vec3d(40, -30, 3000), cv::Mat(camera), cv::noArray(),
                    projected);
  PoseLandmarks out;
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = projected[i];
  return out;
}

TEST(HeadPose, AnglesOfProjectedModelComeBackWithTheirSigns) {
  const cv::Matx33d camera = assumedCameraMatrix(480, 640);
  const PoseLandmarks frontal = project(0, 0, 0, camera);
  const double frontalEyeToNose = (frontal[2].y + frontal[3].y) / 2 - frontal[0].y;

  struct Row {
    const char* name;
    double pitch, yaw, roll;
  };
  const Row rows[] = {
      {"frontal", 0, 0, 0},          {"turned right", 0, 30, 0},
      {"turned left", 0, -32, 0},    {"chin down", 16, 0, 0},
      {"chin up", -31, 0, 0},        {"leaning left", 0, 0, 21},
      {"leaning right", 0, 0, -26},  {"everything at once", 12, -24, 9},
      {"everything, other signs", -18, 35, -14},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const PoseLandmarks points = project(row.pitch, row.yaw, row.roll, camera);
    const auto pose = estimateHeadPose(points, camera);
    ASSERT_TRUE(pose.has_value());
    EXPECT_NEAR(pose->pitch / kRadiansPerDegree, row.pitch, 0.5);
    EXPECT_NEAR(pose->yaw / kRadiansPerDegree, row.yaw, 0.5);
    EXPECT_NEAR(pose->roll / kRadiansPerDegree, row.roll, 0.5);

    // The signs as they show on the picture, independent of how the rows were composed.
    const double eyesMidX = (points[2].x + points[3].x) / 2;
    const double eyeToNose = (points[2].y + points[3].y) / 2 - points[0].y;
    if (row.pitch == 0 && row.roll == 0 && row.yaw != 0) {
      EXPECT_EQ(points[0].x > eyesMidX, row.yaw > 0) << "the nose moves the yaw's way";
    }
    if (row.yaw == 0 && row.roll == 0 && row.pitch != 0) {
      // Tipping down moves the nose away from the eyes (the eyes are above it, so more negative).
      EXPECT_EQ(eyeToNose < frontalEyeToNose, row.pitch > 0);
    }
    if (row.pitch == 0 && row.yaw == 0 && row.roll != 0) {
      EXPECT_EQ(points[3].y < points[2].y, row.roll > 0)
          << "leaning counter-clockwise lifts the eye on the picture's right";
    }
  }
}

TEST(HeadPose, GivenIntrinsicsAreUsed) {
  // A long lens: with the assumed matrix instead, the angles would come back wrong.
  const cv::Matx33d tele(2400, 0, 300, 0, 2400, 420, 0, 0, 1);
  const auto pose = estimateHeadPose(project(10, -20, 5, tele), tele);
  ASSERT_TRUE(pose.has_value());
  EXPECT_NEAR(pose->pitch / kRadiansPerDegree, 10, 0.5);
  EXPECT_NEAR(pose->yaw / kRadiansPerDegree, -20, 0.5);
  EXPECT_NEAR(pose->roll / kRadiansPerDegree, 5, 0.5);
}

TEST(HeadPose, UnusableInputGivesNoPose) {
  const cv::Matx33d camera = assumedCameraMatrix(480, 640);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();

  PoseLandmarks withNaN = project(0, 0, 0, camera);
  withNaN[4].x = nan;
  PoseLandmarks withInfinity = project(0, 0, 0, camera);
  withInfinity[1].y = inf;
  PoseLandmarks collapsed;
  collapsed.fill(cv::Point2d(100, 100));

  struct Row {
    const char* name;
    PoseLandmarks points;
    cv::Matx33d camera;
    bool refused;  // else any answer will do as long as it is made of finite numbers
  };
  const cv::Matx33d noFocalLength(0, 0, 240, 0, 0, 320, 0, 0, 1);
  const cv::Matx33d focalNaN(nan, 0, 240, 0, 500, 320, 0, 0, 1);
  const Row rows[] = {
      {"a landmark not a number", withNaN, camera, true},
      {"an infinite landmark", withInfinity, camera, true},
      {"all landmarks on one point", collapsed, camera, false},
      {"a camera without focal length", project(0, 0, 0, camera), noFocalLength, true},
      {"a camera matrix not a number", project(0, 0, 0, camera), focalNaN, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto pose = estimateHeadPose(row.points, row.camera);
    if (pose) {
      // Whatever comes back from degenerate points must at least be usable numbers.
      EXPECT_TRUE(std::isfinite(pose->pitch) && std::isfinite(pose->yaw) &&
                  std::isfinite(pose->roll));
    }
    if (row.refused) {
      EXPECT_FALSE(pose.has_value());
    }
  }
}

}  // namespace
}  // namespace ostrel::platform
