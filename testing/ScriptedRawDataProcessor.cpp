#include "testing/ScriptedRawDataProcessor.hpp"

#include <thread>
#include <utility>

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::testing {

using Answer = ScriptedRawDataProcessor::Answer;

Answer Answer::success(std::optional<platform::JSON> data) {
  Answer a;
  a.result = {OSLConfig::ResultType::success, std::nullopt, std::move(data)};
  return a;
}

Answer Answer::failure(std::optional<OstrelError> error) {
  Answer a;
  a.result = {OSLConfig::ResultType::failure, std::move(error), std::nullopt};
  return a;
}

Answer Answer::unknownType(int rawType, std::optional<OstrelError> error) {
  Answer a;
  a.result = {static_cast<OSLConfig::ResultType>(rawType), std::move(error),
              platform::JSON::object()};
  return a;
}

Answer Answer::after(double seconds) const {
  Answer a = *this;
  a.when = When::later;
  a.delay = seconds;
  return a;
}

Answer Answer::fromOtherThread() const {
  Answer a = *this;
  a.when = When::otherThread;
  return a;
}

Answer Answer::twice() const {
  Answer a = *this;
  a.times = 2;
  return a;
}

Answer Answer::never() const {
  Answer a = *this;
  a.when = When::never;
  return a;
}

void ScriptedRawDataProcessor::queueAnswer(Answer answer) {
  std::lock_guard lock(mutex_);
  answers_.push_back(std::move(answer));
}

void ScriptedRawDataProcessor::setDefaultAnswer(Answer answer) {
  std::lock_guard lock(mutex_);
  default_ = std::move(answer);
}

std::vector<ScriptedRawDataProcessor::Call> ScriptedRawDataProcessor::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

int ScriptedRawDataProcessor::callCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(calls_.size());
}

int ScriptedRawDataProcessor::answersOffMain() const {
  std::lock_guard lock(mutex_);
  return offMain_;
}

int ScriptedRawDataProcessor::answerKept(const OSLConfig::Result& result) {
  std::vector<Completion> kept;
  {
    std::lock_guard lock(mutex_);
    kept.swap(kept_);
  }
  for (auto& completion : kept) {
    if (completion) completion(result);
  }
  return static_cast<int>(kept.size());
}

void ScriptedRawDataProcessor::processCaptureData(bool isFront,
                                                  const platform::Bytes& idCardImageData,
                                                  const std::string& idCardImageBase64String,
                                                  Completion completion) {
  Call call;
  call.operation = Operation::capture;
  call.isFront = isFront;
  call.data = idCardImageData;
  call.base64 = idCardImageBase64String;
  handle(std::move(call), std::move(completion));
}

void ScriptedRawDataProcessor::processLivenessData(const platform::Bytes& faceImageData,
                                                   const std::string& faceImageBase64String,
                                                   const std::string& variant,
                                                   Completion completion) {
  Call call;
  call.operation = Operation::liveness;
  call.data = faceImageData;
  call.base64 = faceImageBase64String;
  call.variant = variant;
  handle(std::move(call), std::move(completion));
}

void ScriptedRawDataProcessor::processNFCData(const platform::JSON& jsonNfc,
                                              Completion completion) {
  Call call;
  call.operation = Operation::nfc;
  call.jsonNfc = jsonNfc;
  handle(std::move(call), std::move(completion));
}

void ScriptedRawDataProcessor::handle(Call call, Completion completion) {
  call.onMainQueue = platform::isMainQueue();
  Answer answer;
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
    if (answers_.empty()) {
      answer = default_;
    } else {
      answer = std::move(answers_.front());
      answers_.pop_front();
    }
  }
  if (!completion) return;
  auto answerNow = [this, completion, answer] {
    if (!platform::isMainQueue()) {
      std::lock_guard lock(mutex_);
      ++offMain_;
    }
    for (int i = 0; i < answer.times; ++i) completion(answer.result);
  };
  switch (answer.when) {
    case Answer::When::atOnce:
      answerNow();
      break;
    case Answer::When::later:
      platform::DispatchQueue::main()->asyncAfter(answer.delay, answerNow);
      break;
    case Answer::When::otherThread: {
      std::thread thread(answerNow);
      thread.join();
      break;
    }
    case Answer::When::never: {
      std::lock_guard lock(mutex_);
      kept_.push_back(completion);
      break;
    }
  }
}

}  // namespace ostrel::testing
