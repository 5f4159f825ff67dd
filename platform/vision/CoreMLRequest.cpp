#include "platform/vision/CoreMLRequest.hpp"

#include "platform/vision/VisionError.hpp"

namespace ostrel::platform {

std::shared_ptr<CoreMLModel> CoreMLModel::forModel(MLModelPtr model) {
  if (!model) throw VisionError(VisionErrorCode::invalidModel, "No model to wrap.");
  return std::shared_ptr<CoreMLModel>(new CoreMLModel(std::move(model)));
}

CoreMLRequest::CoreMLRequest(std::shared_ptr<CoreMLModel> model, CompletionHandler completion)
    : VisionRequest(std::move(completion)), model_(std::move(model)) {}

std::vector<ObservationPtr> CoreMLRequest::observe(const VisionImage& image) {
  if (!model_) throw VisionError(VisionErrorCode::invalidModel, "The request has no model.");
  auto found = model_->model()->detectObjects(image.uprightRGBA, imageCropAndScaleOption);
  return {found.begin(), found.end()};
}

}  // namespace ostrel::platform
