#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/OSLConfig.hpp"
#include "core/OSLRawDataProcessor.hpp"
#include "platform/foundation/Bytes.hpp"
#include "platform/foundation/JSON.hpp"

namespace ostrel::testing {

// A host's raw-data processor for tests: it records every call of its three operations and
// answers each with the next scripted answer (the default answer when none is queued).
class ScriptedRawDataProcessor : public OSLRawDataProcessor {
 public:
  enum class Operation { capture, liveness, nfc };

  // One call as the library made it.
  struct Call {
    Operation operation = Operation::capture;
    bool isFront = false;           // capture
    platform::Bytes data;           // capture, liveness
    std::string base64;             // capture, liveness
    std::string variant;            // liveness
    platform::JSON jsonNfc;         // nfc
    bool onMainQueue = false;       // where the library called
  };

  // How one call is answered.
  struct Answer {
    enum class When {
      atOnce,       // inside the call, on the caller's thread
      later,        // on the main queue after `delay` seconds of the (virtual) clock
      otherThread,  // on a thread of its own, joined before the call returns
      never,        // kept; `answerKept` may answer it later
    };
    OSLConfig::Result result;
    When when = When::atOnce;
    double delay = 0;
    int times = 1;  // how often the completion is called (2 tests a host that answers twice)

    static Answer success(std::optional<platform::JSON> data = platform::JSON::object());
    static Answer failure(std::optional<OstrelError> error);
    // A result type that is neither success nor failure, as a careless host may hand back.
    static Answer unknownType(int rawType, std::optional<OstrelError> error = std::nullopt);

    Answer after(double seconds) const;
    Answer fromOtherThread() const;
    Answer twice() const;
    Answer never() const;
  };

  void queueAnswer(Answer answer);
  void setDefaultAnswer(Answer answer);

  std::vector<Call> calls() const;
  int callCount() const;
  // Calls whose completion ran off the main queue, over all answers so far.
  int answersOffMain() const;
  // Answers every completion kept by `never` with `result`; returns how many there were.
  int answerKept(const OSLConfig::Result& result);

  void processCaptureData(bool isFront, const platform::Bytes& idCardImageData,
                          const std::string& idCardImageBase64String,
                          Completion completion) override;
  void processLivenessData(const platform::Bytes& faceImageData,
                           const std::string& faceImageBase64String, const std::string& variant,
                           Completion completion) override;
  void processNFCData(const platform::JSON& jsonNfc, Completion completion) override;

 private:
  void handle(Call call, Completion completion);

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::deque<Answer> answers_;
  Answer default_ = Answer::success();
  std::vector<Completion> kept_;
  int offMain_ = 0;
};

}  // namespace ostrel::testing
