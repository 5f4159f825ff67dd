#include "testing/FacePhotographs.hpp"

#include <stdexcept>
#include <string>
#include <thread>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/media/PixelBufferConversion.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "platform/vision/LandmarkFaceDetector.hpp"
#include "platform/vision/VisionError.hpp"

#ifndef OSTREL_TEST_FACE_PHOTO
#define OSTREL_TEST_FACE_PHOTO "grace_hopper.jpg"
#endif

namespace ostrel::testing {

const cv::Mat& facePhotographRGBA() {
  static const cv::Mat photo = [] {
    cv::Mat bgr = cv::imread(OSTREL_TEST_FACE_PHOTO, cv::IMREAD_COLOR);
    if (bgr.empty()) {
      throw std::runtime_error(std::string("cannot read the face photograph ") +
                               OSTREL_TEST_FACE_PHOTO +
                               " (Debian package python-matplotlib-data)");
    }
    cv::Mat rgba;
    cv::cvtColor(bgr, rgba, cv::COLOR_BGR2RGBA);
    return rgba;
  }();
  return photo;
}

cv::Mat rotatedInPlane(const cv::Mat& picture, double degrees) {
  const cv::Point2f centre(picture.cols / 2.0f, picture.rows / 2.0f);
  // OpenCV's positive angle is counter-clockwise on the picture as shown (y down).
  const cv::Mat turn = cv::getRotationMatrix2D(centre, degrees, 1.0);
  cv::Mat out;
  cv::warpAffine(picture, out, turn, picture.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
  return out;
}

cv::Mat mirrored(const cv::Mat& picture) {
  cv::Mat out;
  cv::flip(picture, out, 1);
  return out;
}

cv::Mat sideBySide(const cv::Mat& left, const cv::Mat& right) {
  cv::Mat out;
  cv::hconcat(left, right, out);
  return out;
}

cv::Mat scaledOnCanvas(const cv::Mat& picture, double factor, cv::Size canvas) {
  cv::Mat scaled;
  cv::resize(picture, scaled, cv::Size(), factor, factor, cv::INTER_AREA);
  cv::Mat out(canvas, picture.type(), cv::Scalar(128, 128, 128, 255));
  const int w = std::min(scaled.cols, canvas.width);
  const int h = std::min(scaled.rows, canvas.height);
  const cv::Rect from((scaled.cols - w) / 2, (scaled.rows - h) / 2, w, h);
  const cv::Rect to((canvas.width - w) / 2, (canvas.height - h) / 2, w, h);
  scaled(from).copyTo(out(to));
  return out;
}

platform::PixelBufferPtr transposedCameraBuffer(const cv::Mat& uprightRGBA) {
  cv::Mat bgra, stored;
  cv::cvtColor(uprightRGBA, bgra, cv::COLOR_RGBA2BGRA);
  cv::transpose(bgra, stored);
  return platform::makePixelBuffer(stored, platform::PixelFormat::bgra32, 16);
}

std::optional<platform::PlatformError> performOnCameraQueue(
    DeterministicRuntime& runtime, const platform::VisionRequestPtr& request,
    platform::PixelBufferPtr buffer, int exifOrientation,
    platform::ImageRequestHandlerOptions options) {
  std::optional<platform::PlatformError> error;
  bool done = false;
  runtime.makeSerialQueue("camera")->async([&] {
    try {
      platform::ImageRequestHandler(std::move(buffer), exifOrientation, std::move(options))
          .perform({request});
    } catch (const platform::VisionError& e) {
      error = e.error();
    }
    done = true;
  });
  runtime.runUntilIdle();
  if (!done) throw std::runtime_error("the camera queue did not run");
  return error;
}

platform::Rect portraitFaceBox() {
  static const platform::Rect box = [] {
    std::vector<platform::FaceObservationPtr> found;
    std::exception_ptr failure;
    std::thread worker([&] {
      try {
        platform::LandmarkFaceDetector detector;
        found = detector.detectFaces(facePhotographRGBA(), std::nullopt);
      } catch (...) {
        failure = std::current_exception();
      }
    });
    worker.join();
    if (failure) std::rethrow_exception(failure);
    if (found.size() != 1 || !found[0]) {
      throw std::runtime_error("the portrait does not show exactly one face to the detector");
    }
    return found[0]->boundingBox;
  }();
  return box;
}

cv::Mat portraitFrameFor(const platform::Rect& circle, const platform::Rect& reference,
                         cv::Size frameSize, double widthOfCircle) {
  const cv::Mat& portrait = facePhotographRGBA();
  const platform::Rect box = portraitFaceBox();
  const double faceWidth = widthOfCircle * circle.width() / reference.width() * frameSize.width;
  const double factor = faceWidth / (box.width() * portrait.cols);
  cv::Mat scaled;
  cv::resize(portrait, scaled, cv::Size(), factor, factor, cv::INTER_AREA);
  const double faceX = box.midX() * scaled.cols;
  const double faceY = (1 - box.midY()) * scaled.rows;
  const double wantX = (circle.midX() - reference.minX()) / reference.width() * frameSize.width;
  const double wantY = (circle.midY() - reference.minY()) / reference.height() * frameSize.height;
  cv::Mat frame(frameSize, portrait.type(), cv::Scalar(128, 128, 128, 255));
  const cv::Mat shift = (cv::Mat_<double>(2, 3) << 1, 0, wantX - faceX, 0, 1, wantY - faceY);
  cv::warpAffine(scaled, frame, shift, frameSize, cv::INTER_LINEAR, cv::BORDER_TRANSPARENT);
  return frame;
}

}  // namespace ostrel::testing
