#include "platform/vision/DlibFaceSearch.hpp"

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/opencv/cv_image.h>

namespace ostrel::platform {

struct DlibFaceSearch::Impl {
  dlib::frontal_face_detector detector = dlib::get_frontal_face_detector();
};

DlibFaceSearch::DlibFaceSearch() : impl_(std::make_unique<Impl>()) {}
DlibFaceSearch::~DlibFaceSearch() = default;

std::vector<cv::Rect> DlibFaceSearch::find(const cv::Mat& gray) {
  const dlib::cv_image<unsigned char> image(gray);
  std::vector<cv::Rect> boxes;
  for (const auto& r : impl_->detector(image)) {
    boxes.emplace_back(int(r.left()), int(r.top()), int(r.width()), int(r.height()));
  }
  return boxes;
}

ShapePredictorPtr readShapePredictor(const std::string& path) {
  auto model = std::make_shared<dlib::shape_predictor>();
  dlib::deserialize(path) >> *model;
  return model;
}

std::size_t shapePartCount(const dlib::shape_predictor& model) {
  return model.num_parts();
}

std::vector<cv::Point2d> fitShape(const dlib::shape_predictor& model, const cv::Mat& gray,
                                  const cv::Rect& box) {
  const dlib::cv_image<unsigned char> image(gray);
  const dlib::rectangle rect(box.x, box.y, long(box.x) + box.width - 1,
                             long(box.y) + box.height - 1);
  const dlib::full_object_detection shape = model(image, rect);
  std::vector<cv::Point2d> points;
  points.reserve(shape.num_parts());
  for (unsigned long i = 0; i < shape.num_parts(); ++i) {
    points.emplace_back(double(shape.part(i).x()), double(shape.part(i).y()));
  }
  return points;
}

}  // namespace ostrel::platform
