#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/vision/MLModel.hpp"

namespace ostrel::testing {

// A detector whose answers the test writes: a queue of answers, one per frame, or a function of
// the frame. Observations are given as the model would hand them out (normalised to the whole
// picture, origin bottom-left), whatever the crop option.
class ScriptedModel : public platform::MLModel {
 public:
  struct Answer {
    std::vector<platform::RecognizedObjectObservationPtr> observations;
    // A failure of the model on this frame, with its description.
    std::optional<std::string> failure;
  };
  using Script = std::function<Answer(const cv::Mat& uprightRGBA)>;

  void enqueue(Answer answer);
  // Used when the queue is empty; without it an empty queue answers no observations.
  void setScript(Script script);

  // How many frames the model has seen, and the size of the last one.
  int frames() const;
  cv::Size lastFrameSize() const;

  std::vector<platform::RecognizedObjectObservationPtr> detectObjects(
      const cv::Mat& uprightRGBA, platform::ImageCropAndScaleOption option) override;

 private:
  mutable std::mutex lock_;
  std::deque<Answer> queue_;
  Script script_;
  int frames_ = 0;
  cv::Size lastSize_;
};

// Puts scripted models behind model names: a model file of that name (the stem of the stored
// file) must exist, as for a real load, and loading it gives the scripted model. Names without a
// script load through the real ONNX loader; a name can also be made to fail loading.
class ScriptedModelLoader : public platform::ModelLoader {
 public:
  // The scripted model behind `name` (made on first use).
  std::shared_ptr<ScriptedModel> model(const std::string& name);
  void failLoading(const std::string& name, const std::string& description);
  int loads(const std::string& name) const;

  platform::MLModelPtr load(const std::filesystem::path& url) override;

  // Makes a fresh loader the process's loader (the test environment puts the default back).
  static std::shared_ptr<ScriptedModelLoader> install();

 private:
  mutable std::mutex lock_;
  std::map<std::string, std::shared_ptr<ScriptedModel>> models_;
  std::map<std::string, std::string> failures_;
  std::map<std::string, int> loads_;
};

// An observation as a detector hands it out; the labels are ranked by the caller's order.
platform::RecognizedObjectObservationPtr observation(
    platform::Rect bottomLeftBox, float confidence,
    std::vector<platform::ClassificationLabel> labels);

}  // namespace ostrel::testing
