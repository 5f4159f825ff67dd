#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/foundation/JSON.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/vision/Observation.hpp"

namespace ostrel::platform {

// How a picture is fitted to a model's fixed input, as the platform offers it.
enum class ImageCropAndScaleOption {
  // The largest centred region of the input's aspect ratio, scaled to the input (the default).
  centerCrop = 0,
  // The whole picture scaled to fit inside the input, the rest padded with black.
  scaleFit = 1,
  // The whole picture stretched to the input.
  scaleFill = 2,
};

// A loaded object detector.
class MLModel {
 public:
  virtual ~MLModel() = default;

  // Detects objects in the upright RGBA picture fitted to the model as `option` says. Boxes come
  // back normalised to the whole picture, origin bottom-left. Throws `VisionError` when the
  // model fails or answers something it should not.
  virtual std::vector<RecognizedObjectObservationPtr> detectObjects(
      const cv::Mat& uprightRGBA, ImageCropAndScaleOption option) = 0;

  // Loads the model stored at `url` through the installed loader. Throws `VisionError` with a
  // description of what is wrong.
  static std::shared_ptr<MLModel> contentsOf(const std::filesystem::path& url);
};

using MLModelPtr = std::shared_ptr<MLModel>;

// Turns a stored model file into a model. One loader serves the process; the default reads the
// project's ONNX detector format through OpenCV DNN.
class ModelLoader {
 public:
  virtual ~ModelLoader() = default;
  virtual MLModelPtr load(const std::filesystem::path& url) = 0;

  // Null puts the default back.
  static void install(std::shared_ptr<ModelLoader> loader);
  static std::shared_ptr<ModelLoader> current();
};

// The project's detector file format: an ONNX graph with one input 1 x 3 x H x W (RGB, 0-1),
// the outputs "confidence" [N x C] and "coordinates" [N x 4] (centre x, centre y, width,
// height, normalised to the input, origin top-left), and its C class names as a JSON array in
// the metadata entry "labels".
class OnnxDetectorLoader : public ModelLoader {
 public:
  MLModelPtr load(const std::filesystem::path& url) override;
  // The same from bytes in memory.
  static MLModelPtr loadFromBytes(const Bytes& data);
};

// Where a picture region lands in a model input and back: picture x (normalised) =
// offsetX + scaleX * input x (normalised), and the same for y (both origin top-left).
struct ModelInputMapping {
  double offsetX = 0, scaleX = 1, offsetY = 0, scaleY = 1;
};

// The picture fitted to a `width` x `height` RGB input as `option` says (CV_8UC3), with the
// mapping of input coordinates back to the picture.
std::pair<cv::Mat, ModelInputMapping> fitToModelInput(const cv::Mat& uprightRGBA, int width,
                                                      int height,
                                                      ImageCropAndScaleOption option);

// A box normalised to the input (origin top-left) as a box normalised to the picture, origin
// bottom-left.
Rect pictureBoxFromInputBox(const Rect& inputBox, const ModelInputMapping& mapping);

}  // namespace ostrel::platform
