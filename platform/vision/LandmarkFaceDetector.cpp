#include "platform/vision/LandmarkFaceDetector.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>

#include <opencv2/imgproc.hpp>

#include "platform/foundation/Debug.hpp"
#include "platform/vision/DlibFaceSearch.hpp"
#include "platform/runtime/Runtime.hpp"
#include "platform/vision/HeadPose.hpp"
#include "platform/vision/VisionError.hpp"

#ifndef OSTREL_FACE_LANDMARK_MODEL
#define OSTREL_FACE_LANDMARK_MODEL "shape_predictor_68_face_landmarks.dat"
#endif

namespace ostrel::platform {

namespace {

using LandmarkModel = ShapePredictorPtr;

std::mutex& modelsMutex() {
  static std::mutex m;
  return m;
}

// By path, so that a run pointed at another file reads that one.
std::map<std::string, LandmarkModel>& loadedModels() {
  static std::map<std::string, LandmarkModel> models;
  return models;
}

// Paths that failed to load, with the reason: a broken file is not read again for every frame.
std::map<std::string, std::string>& failedModels() {
  static std::map<std::string, std::string> failures;
  return failures;
}

LandmarkModel landmarkModel() {
  const std::string path = faceLandmarkModelPath();
  // Held while loading: a second detector asking meanwhile waits for the same copy, except on
  // the main queue, which must never wait for a load.
  const bool onMain = Runtime::currentShared()->isMainQueue();
  std::unique_lock lock(modelsMutex(), std::defer_lock);
  if (onMain) {
    if (!lock.try_lock()) {
      throw VisionError(VisionErrorCode::internalError,
                        "The face landmark model is still loading; the main queue does not wait.");
    }
  } else {
    lock.lock();
  }
  if (auto found = loadedModels().find(path); found != loadedModels().end()) {
    return found->second;
  }
  if (auto failed = failedModels().find(path); failed != failedModels().end()) {
    throw VisionError(VisionErrorCode::invalidModel, failed->second);
  }
  if (onMain) {
    throw VisionError(VisionErrorCode::internalError,
                      "The face landmark model is not loaded on the main queue.");
  }
  LandmarkModel model;
  try {
    model = readShapePredictor(path);
  } catch (const std::exception& e) {
    const std::string message =
        "The face landmark model " + path + " cannot be read (" + e.what() + ").";
    debugLog(message);
    failedModels()[path] = message;
    throw VisionError(VisionErrorCode::invalidModel, message);
  }
  if (shapePartCount(*model) != 68) {
    const std::string message = "The face landmark model " + path + " has " +
                                std::to_string(shapePartCount(*model)) + " points, not 68.";
    debugLog(message);
    failedModels()[path] = message;
    throw VisionError(VisionErrorCode::invalidModel, message);
  }
  loadedModels()[path] = model;
  return model;
}

// The six landmarks of the pose, by their index in the 68-point layout.
constexpr std::array<unsigned long, 6> kPoseLandmarkIndices{30, 8, 36, 45, 48, 54};

}  // namespace

std::string faceLandmarkModelPath() {
  if (const char* path = std::getenv("OSTREL_FACE_LANDMARK_MODEL"); path && *path) return path;
  return OSTREL_FACE_LANDMARK_MODEL;
}

void loadFaceLandmarkModel() { (void)landmarkModel(); }

struct LandmarkFaceDetector::Impl {
  DlibFaceSearch search;
};

LandmarkFaceDetector::LandmarkFaceDetector() : impl_(std::make_unique<Impl>()) {}
LandmarkFaceDetector::~LandmarkFaceDetector() = default;

std::vector<FaceObservationPtr> LandmarkFaceDetector::detectFaces(
    const cv::Mat& uprightRGBA, const std::optional<CameraIntrinsics>& intrinsics) {
  if (uprightRGBA.empty() || uprightRGBA.type() != CV_8UC4) {
    throw VisionError(VisionErrorCode::invalidImage, "The picture is empty or not RGBA.");
  }
  const LandmarkModel model = landmarkModel();
  const int width = uprightRGBA.cols;
  const int height = uprightRGBA.rows;

  cv::Mat gray;
  cv::cvtColor(uprightRGBA, gray, cv::COLOR_RGBA2GRAY);
  const double scale =
      std::min(1.0, double(kDetectionShorterSide) / double(std::min(width, height)));
  cv::Mat searched = gray;
  if (scale < 1.0) {
    cv::resize(gray, searched, cv::Size(), scale, scale, cv::INTER_AREA);
  }

  const std::vector<cv::Rect> found = impl_->search.find(searched);

  cv::Matx33d camera = assumedCameraMatrix(width, height);
  if (intrinsics) {
    const auto& k = *intrinsics;
    camera = cv::Matx33d(k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7], k[8]);
  }

  std::vector<FaceObservationPtr> faces;
  faces.reserve(found.size());
  for (const auto& r : found) {
    const double left = r.x / scale;
    const double top = r.y / scale;
    const double right = (r.x + r.width) / scale;
    const double bottom = (r.y + r.height) / scale;
    const int fullLeft = int(std::lround(left));
    const int fullTop = int(std::lround(top));
    const cv::Rect fullRect(fullLeft, fullTop, int(std::lround(right)) - fullLeft,
                            int(std::lround(bottom)) - fullTop);
    const std::vector<cv::Point2d> shape = fitShape(*model, gray, fullRect);

    Rect box(left / width, 1.0 - bottom / height, (right - left) / width,
             (bottom - top) / height);
    auto face = FaceObservation::make(box);
    if (shape.size() == 68) {
      PoseLandmarks points;
      for (std::size_t i = 0; i < points.size(); ++i) points[i] = shape[kPoseLandmarkIndices[i]];
      if (auto pose = estimateHeadPose(points, camera)) {
        face->pitch = pose->pitch;
        face->yaw = pose->yaw;
        face->roll = pose->roll;
      }
    }
    faces.push_back(std::move(face));
  }
  return faces;
}

}  // namespace ostrel::platform
