#include "platform/vision/FaceDetector.hpp"

#include <fstream>
#include <mutex>
#include <string>

#include "platform/foundation/Debug.hpp"
#include "platform/vision/LandmarkFaceDetector.hpp"
#include "platform/vision/VisionError.hpp"

namespace ostrel::platform {

namespace {

std::mutex& factoryMutex() {
  static std::mutex m;
  return m;
}

FaceDetector::Factory& installedFactory() {
  static FaceDetector::Factory factory;
  return factory;
}

// The landmark-and-pose detector. Only the model file's presence is checked here: the model
// itself loads on the first frame, off the main queue.
std::shared_ptr<FaceDetector> makeDefaultDetector() {
  const std::string path = faceLandmarkModelPath();
  std::ifstream in(path, std::ios::binary);
  if (!in.good() || in.peek() == std::ifstream::traits_type::eof()) {
    const std::string message = "The face detector cannot be made: its landmark model " + path +
                                " is missing or unreadable (Debian package libdlib-data, or "
                                "OSTREL_FACE_LANDMARK_MODEL).";
    debugLog(message);
    throw VisionError(VisionErrorCode::invalidModel, message);
  }
  return std::make_shared<LandmarkFaceDetector>();
}

}  // namespace

std::shared_ptr<FaceDetector> FaceDetector::make() {
  Factory factory;
  {
    std::lock_guard lock(factoryMutex());
    factory = installedFactory();
  }
  auto detector = factory ? factory() : makeDefaultDetector();
  if (!detector) {
    debugLog("The installed face detector factory made no detector.");
    throw VisionError(VisionErrorCode::internalError, "No face detector could be made.");
  }
  return detector;
}

void FaceDetector::installFactory(Factory factory) {
  std::lock_guard lock(factoryMutex());
  installedFactory() = std::move(factory);
}

}  // namespace ostrel::platform
