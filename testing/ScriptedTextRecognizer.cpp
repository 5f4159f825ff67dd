#include "testing/ScriptedTextRecognizer.hpp"

#include <stdexcept>

namespace ostrel::testing {

std::shared_ptr<ScriptedTextRecognizer> ScriptedTextRecognizer::install() {
  auto recognizer = std::make_shared<ScriptedTextRecognizer>();
  platform::TextRecognizerBackend::install(recognizer);
  return recognizer;
}

void ScriptedTextRecognizer::queueLines(Lines lines) {
  std::lock_guard guard(lock_);
  answers_.emplace_back(std::move(lines));
}

void ScriptedTextRecognizer::queueFailure(std::string message) {
  std::lock_guard guard(lock_);
  answers_.emplace_back(Failure{std::move(message)});
}

void ScriptedTextRecognizer::setFrameFunction(FrameFunction function) {
  std::lock_guard guard(lock_);
  function_ = std::move(function);
}

int ScriptedTextRecognizer::callCount() const {
  std::lock_guard guard(lock_);
  return calls_;
}

ScriptedTextRecognizer::Lines ScriptedTextRecognizer::recognize(
    const cv::Mat& grey, const platform::TextRecognitionOptions&) {
  FrameFunction function;
  {
    std::lock_guard guard(lock_);
    ++calls_;
    if (!answers_.empty()) {
      auto answer = std::move(answers_.front());
      answers_.pop_front();
      if (auto* failure = std::get_if<Failure>(&answer)) throw std::runtime_error(failure->message);
      return std::get<Lines>(std::move(answer));
    }
    function = function_;
  }
  // Called outside the lock, so the function may script further answers.
  return function ? function(grey) : Lines{};
}

}  // namespace ostrel::testing
