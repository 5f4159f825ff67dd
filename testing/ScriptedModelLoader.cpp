#include "testing/ScriptedModelLoader.hpp"

#include "platform/vision/VisionError.hpp"

namespace ostrel::testing {

using namespace platform;

void ScriptedModel::enqueue(Answer answer) {
  std::lock_guard lock(lock_);
  queue_.push_back(std::move(answer));
}

void ScriptedModel::setScript(Script script) {
  std::lock_guard lock(lock_);
  script_ = std::move(script);
}

int ScriptedModel::frames() const {
  std::lock_guard lock(lock_);
  return frames_;
}

cv::Size ScriptedModel::lastFrameSize() const {
  std::lock_guard lock(lock_);
  return lastSize_;
}

std::vector<RecognizedObjectObservationPtr> ScriptedModel::detectObjects(
    const cv::Mat& uprightRGBA, ImageCropAndScaleOption) {
  Answer answer;
  Script script;
  {
    std::lock_guard lock(lock_);
    ++frames_;
    lastSize_ = uprightRGBA.size();
    if (!queue_.empty()) {
      answer = std::move(queue_.front());
      queue_.pop_front();
    } else {
      script = script_;
    }
  }
  if (script) answer = script(uprightRGBA);
  if (answer.failure) throw VisionError(VisionErrorCode::internalError, *answer.failure);
  return answer.observations;
}

std::shared_ptr<ScriptedModel> ScriptedModelLoader::model(const std::string& name) {
  std::lock_guard lock(lock_);
  auto& m = models_[name];
  if (!m) m = std::make_shared<ScriptedModel>();
  return m;
}

void ScriptedModelLoader::failLoading(const std::string& name, const std::string& description) {
  std::lock_guard lock(lock_);
  failures_[name] = description;
}

int ScriptedModelLoader::loads(const std::string& name) const {
  std::lock_guard lock(lock_);
  auto it = loads_.find(name);
  return it == loads_.end() ? 0 : it->second;
}

MLModelPtr ScriptedModelLoader::load(const std::filesystem::path& url) {
  const std::string name = url.stem().string();
  std::shared_ptr<ScriptedModel> scripted;
  {
    std::lock_guard lock(lock_);
    ++loads_[name];
    if (auto failure = failures_.find(name); failure != failures_.end()) {
      throw VisionError(VisionErrorCode::invalidModel, failure->second);
    }
    if (auto it = models_.find(name); it != models_.end()) scripted = it->second;
  }
  if (!scripted) return OnnxDetectorLoader().load(url);
  std::error_code error;
  if (!std::filesystem::is_regular_file(url, error)) {
    throw VisionError(VisionErrorCode::invalidModel, "No model file at " + url.string() + ".");
  }
  return scripted;
}

std::shared_ptr<ScriptedModelLoader> ScriptedModelLoader::install() {
  auto loader = std::make_shared<ScriptedModelLoader>();
  ModelLoader::install(loader);
  return loader;
}

RecognizedObjectObservationPtr observation(Rect bottomLeftBox, float confidence,
                                           std::vector<ClassificationLabel> labels) {
  return RecognizedObjectObservation::make(bottomLeftBox, confidence, std::move(labels));
}

}  // namespace ostrel::testing
