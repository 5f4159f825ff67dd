#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "platform/vision/TextRecognizerBackend.hpp"

namespace ostrel::testing {

// A text recogniser for tests. Each call takes the next scripted answer (lines, or a failure
// that throws); with none queued it asks the frame function, and without one it reads nothing.
// Calls are counted. Safe to use from the frame queue while the test scripts it.
class ScriptedTextRecognizer : public platform::TextRecognizerBackend {
 public:
  using Lines = std::vector<platform::RecognizedTextLine>;
  using FrameFunction = std::function<Lines(const cv::Mat& grey)>;

  // Installs a fresh one process-wide and returns it.
  static std::shared_ptr<ScriptedTextRecognizer> install();

  void queueLines(Lines lines);
  void queueFailure(std::string message);
  void setFrameFunction(FrameFunction function);
  int callCount() const;

  Lines recognize(const cv::Mat& grey, const platform::TextRecognitionOptions& options) override;

 private:
  struct Failure {
    std::string message;
  };
  mutable std::mutex lock_;
  std::deque<std::variant<Lines, Failure>> answers_;
  FrameFunction function_;
  int calls_ = 0;
};

}  // namespace ostrel::testing
