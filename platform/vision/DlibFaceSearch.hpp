#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace dlib {
class shape_predictor;
}

namespace ostrel::platform {

// dlib's image arithmetic behind `LandmarkFaceDetector`: the HOG frontal face search and the
// landmark fit. Nothing else of the library lives in DlibFaceSearch.cpp, so a sanitizer build
// can compile it optimised and unchecked, as dlib's own binaries are; checked, its filter loops
// make every frame of a face step take several times as long as the rest of the library does.
class DlibFaceSearch {
 public:
  DlibFaceSearch();
  ~DlibFaceSearch();

  // The faces dlib finds in an 8-bit grey picture, in its pixels (right and bottom exclusive).
  std::vector<cv::Rect> find(const cv::Mat& gray);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

using ShapePredictorPtr = std::shared_ptr<const dlib::shape_predictor>;

// A landmark model read from a file of dlib's; throws `std::exception` when it cannot be read.
ShapePredictorPtr readShapePredictor(const std::string& path);
std::size_t shapePartCount(const dlib::shape_predictor& model);
// The model's points for the face in `box` of an 8-bit grey picture, in its pixels; as many as
// the model has.
std::vector<cv::Point2d> fitShape(const dlib::shape_predictor& model, const cv::Mat& gray,
                                  const cv::Rect& box);

}  // namespace ostrel::platform
