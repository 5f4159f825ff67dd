#pragma once

#include <memory>

#include "platform/vision/MLModel.hpp"
#include "platform/vision/VisionRequest.hpp"

namespace ostrel::platform {

// A model made usable by vision requests.
class CoreMLModel {
 public:
  // Throws `VisionError` for a missing model.
  static std::shared_ptr<CoreMLModel> forModel(MLModelPtr model);
  const MLModelPtr& model() const { return model_; }

 private:
  explicit CoreMLModel(MLModelPtr model) : model_(std::move(model)) {}
  MLModelPtr model_;
};

// Runs a detector model on the handler's picture; its results are recognised-object
// observations.
class CoreMLRequest : public VisionRequest {
 public:
  CoreMLRequest(std::shared_ptr<CoreMLModel> model, CompletionHandler completion = {});

  ImageCropAndScaleOption imageCropAndScaleOption = ImageCropAndScaleOption::centerCrop;
  const std::shared_ptr<CoreMLModel>& model() const { return model_; }

 protected:
  std::vector<ObservationPtr> observe(const VisionImage& image) override;

 private:
  std::shared_ptr<CoreMLModel> model_;
};

}  // namespace ostrel::platform
