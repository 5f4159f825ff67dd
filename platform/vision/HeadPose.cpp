#include "platform/vision/HeadPose.hpp"

#include <cmath>
#include <vector>

#include <opencv2/calib3d.hpp>

namespace ostrel::platform {

const std::array<cv::Point3d, 6>& genericFaceModel() {
  static const std::array<cv::Point3d, 6> model{{
      {0.0, 0.0, 0.0},          // nose tip
      {0.0, -330.0, -65.0},     // chin
      {-225.0, 170.0, -135.0},  // outer eye corner, picture's left
      {225.0, 170.0, -135.0},   // outer eye corner, picture's right
      {-150.0, -150.0, -125.0}, // mouth corner, picture's left
      {150.0, -150.0, -125.0},  // mouth corner, picture's right
  }};
  return model;
}

cv::Matx33d assumedCameraMatrix(int width, int height) {
  const double f = width;
  return {f, 0, width / 2.0, 0, f, height / 2.0, 0, 0, 1};
}

std::optional<HeadPose> estimateHeadPose(const PoseLandmarks& landmarks,
                                         const cv::Matx33d& cameraMatrix) {
  for (const auto& p : landmarks) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
  }
  for (int i = 0; i < 9; ++i) {
    if (!std::isfinite(cameraMatrix.val[i])) return std::nullopt;
  }
  if (cameraMatrix(0, 0) <= 0 || cameraMatrix(1, 1) <= 0) return std::nullopt;

  const auto& model = genericFaceModel();
  std::vector<cv::Point3d> objectPoints(model.begin(), model.end());
  std::vector<cv::Point2d> imagePoints(landmarks.begin(), landmarks.end());
  cv::Mat rvec, tvec;
  bool solved = false;
  try {
    solved = cv::solvePnP(objectPoints, imagePoints, cv::Mat(cameraMatrix), cv::noArray(), rvec,
                          tvec, false, cv::SOLVEPNP_ITERATIVE);
  } catch (const cv::Exception&) {
    return std::nullopt;
  }
  if (!solved || tvec.total() != 3 || !(tvec.at<double>(2) > 0)) return std::nullopt;

  cv::Matx33d r;
  cv::Rodrigues(rvec, r);
  // The model's y axis points up and the camera's down, so a frontal face sits at a half turn
  // about x. Read directly, the x angle comes out near +-180 degrees for a frontal face; the
  // half turn is taken off first so that every angle is measured from the frontal pose.
  const cv::Matx33d halfTurnX(1, 0, 0, 0, -1, 0, 0, 0, -1);
  const cv::Matx33d m = r * halfTurnX;
  // m = Rz(c) * Ry(b) * Rx(a) in the camera's axes (x right, y down, z away from the camera).
  const double b = std::asin(std::clamp(-m(2, 0), -1.0, 1.0));
  const double a = std::atan2(m(2, 1), m(2, 2));
  const double c = std::atan2(m(1, 0), m(0, 0));
  // A positive turn about the downward y axis moves the nose left, and a positive turn about
  // the forward z axis is clockwise on the picture: both are negated for the documented signs.
  HeadPose pose{float(a), float(-b), float(-c)};
  if (!std::isfinite(pose.pitch) || !std::isfinite(pose.yaw) || !std::isfinite(pose.roll)) {
    return std::nullopt;
  }
  return pose;
}

}  // namespace ostrel::platform
