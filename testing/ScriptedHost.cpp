#include "testing/ScriptedHost.hpp"

#include <algorithm>
#include <mutex>
#include <utility>

#include "model/OstrelResult.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel::testing {

struct ScriptedHost::Record {
  mutable std::mutex mutex;
  std::vector<Call> calls;
  std::vector<std::shared_ptr<OstrelResult>> results;
  std::function<void()> chipErrorAction;
  std::function<void()> chipErrorRetry;

  void add(std::string entry, platform::JSON arguments = platform::JSON::object(),
           const std::shared_ptr<platform::ViewController>& screen = nullptr) {
    Call call{std::move(entry), std::move(arguments), platform::isMainQueue(), screen};
    if (screen) call.arguments["screen"] = typeNameWithoutModule(*screen);
    std::lock_guard lock(mutex);
    calls.push_back(std::move(call));
  }
};

namespace {

using Record = ScriptedHost::Record;

// The host's processor: records each operation in the host's order, then answers as scripted.
class RecordingProcessor : public ScriptedRawDataProcessor {
 public:
  explicit RecordingProcessor(std::shared_ptr<Record> record) : record_(std::move(record)) {}

  void processCaptureData(bool isFront, const platform::Bytes& data, const std::string& base64,
                          Completion completion) override {
    record_->add(isFront ? "processCapture:front" : "processCapture:back",
                 {{"bytes", data.size()}});
    ScriptedRawDataProcessor::processCaptureData(isFront, data, base64, std::move(completion));
  }
  void processLivenessData(const platform::Bytes& data, const std::string& base64,
                           const std::string& variant, Completion completion) override {
    record_->add("processLiveness", {{"bytes", data.size()}, {"variant", variant}});
    ScriptedRawDataProcessor::processLivenessData(data, base64, variant, std::move(completion));
  }
  void processNFCData(const platform::JSON& jsonNfc, Completion completion) override {
    record_->add("processNFC", {{"jsonNfc", jsonNfc}});
    ScriptedRawDataProcessor::processNFCData(jsonNfc, std::move(completion));
  }

 private:
  std::shared_ptr<Record> record_;
};

}  // namespace

ScriptedHost::ScriptedHost()
    : record_(std::make_shared<Record>()),
      handlers_(std::make_shared<ScriptedRawDataProcessor>()),
      processor_(std::make_shared<RecordingProcessor>(record_)) {}

void ScriptedHost::install(OSLConfig& config, Handlers handlers) {
  auto record = record_;
  config.showLoadingHandler = [record](std::shared_ptr<platform::ViewController> screen) {
    record->add("showLoading", platform::JSON::object(), screen);
  };
  config.hideLoadingHandler = [record] { record->add("hideLoading"); };
  config.resultHandler = [record](std::shared_ptr<OstrelResult> result) {
    platform::JSON arguments = platform::JSON::object();
    if (result && result->decision) arguments["decision"] = *result->decision;
    record->add(result ? "result" : "noResult", std::move(arguments));
    std::lock_guard lock(record->mutex);
    record->results.push_back(std::move(result));
  };
  config.expiredHandler = [record] { record->add("expired"); };
  config.cancelSessionHandler = [record] { record->add("cancelSession"); };
  config.logHandler = [record, previous = config.logHandler](
                          OSLLogLevel level, const std::string& event, const std::string& screen,
                          const platform::JSON& data, const platform::JSON& metadata) {
    record->add("log:" + event, {{"level", static_cast<int>(level)},
                                 {"event", event},
                                 {"screen", screen},
                                 {"data", data}});
    if (previous) previous(level, event, screen, data, metadata);
  };
  config.eventHandler = nullptr;
  if (handlers.eventHandler) {
    config.eventHandler = [record](OSLConfig::Event event) {
      record->add("event:" + std::to_string(static_cast<int>(event)));
    };
  }
  config.errorScanNFCHandler = nullptr;
  config.showErrorAlertHandler = nullptr;
  if (handlers.errorHandlers) {
    config.errorScanNFCHandler = [record](OstrelScanNFCError error,
                                          std::optional<std::string> message,
                                          std::function<void()> action,
                                          std::function<void()> retry) {
      const int code = static_cast<int>(error);
      record->add("chipError:" + std::to_string(code),
                  {{"code", code},
                   {"message", message ? platform::JSON(*message) : platform::JSON()},
                   {"action", static_cast<bool>(action)},
                   {"retry", static_cast<bool>(retry)}});
      std::lock_guard lock(record->mutex);
      record->chipErrorAction = std::move(action);
      record->chipErrorRetry = std::move(retry);
    };
    config.showErrorAlertHandler = [record](const std::string& message, int code,
                                            std::shared_ptr<platform::ViewController> screen) {
      record->add("errorAlert:" + std::to_string(code), {{"code", code}, {"message", message}},
                  screen);
    };
  }
  config.idFrontDataHandler = nullptr;
  config.idBackDataHandler = nullptr;
  config.faceDataHandler = nullptr;
  config.nfcDataHandler = nullptr;
  if (handlers.dataHandlers) {
    config.idFrontDataHandler = idDataHandler(true);
    config.idBackDataHandler = idDataHandler(false);
    config.faceDataHandler = faceDataHandler();
    config.nfcDataHandler = nfcDataHandler();
  }
  config.rawDataProcessor = handlers.processor ? processor_ : nullptr;
}

OSLConfig::IDDataHandler ScriptedHost::idDataHandler(bool isFront) const {
  return [record = record_, answers = handlers_, isFront](
             const platform::Bytes& data, const std::string& base64,
             OSLConfig::ResultCompletion completion) {
    record->add(isFront ? "idFrontData" : "idBackData", {{"bytes", data.size()}});
    answers->processCaptureData(isFront, data, base64, std::move(completion));
  };
}

OSLConfig::FaceDataHandler ScriptedHost::faceDataHandler() const {
  return [record = record_, answers = handlers_](const platform::Bytes& data,
                                                  const std::string& base64,
                                                  const std::string& variant,
                                                  OSLConfig::ResultCompletion completion) {
    record->add("faceData", {{"bytes", data.size()}, {"variant", variant}});
    answers->processLivenessData(data, base64, variant, std::move(completion));
  };
}

OSLConfig::NFCDataHandler ScriptedHost::nfcDataHandler() const {
  return [record = record_, answers = handlers_](const platform::JSON& dataGroups,
                                                  OSLConfig::ResultCompletion completion) {
    record->add("nfcData", {{"jsonNfc", dataGroups}});
    answers->processNFCData(dataGroups, std::move(completion));
  };
}

std::function<void()> ScriptedHost::runCompletion() const {
  return [record = record_] { record->add("completion"); };
}

void ScriptedHost::clear() {
  std::lock_guard lock(record_->mutex);
  record_->calls.clear();
  record_->results.clear();
}

std::vector<ScriptedHost::Call> ScriptedHost::calls() const {
  std::lock_guard lock(record_->mutex);
  return record_->calls;
}

std::vector<std::string> ScriptedHost::order(bool withLog) const {
  std::vector<std::string> entries;
  for (const auto& call : calls()) {
    if (!withLog && call.entry.rfind("log:", 0) == 0) continue;
    entries.push_back(call.entry);
  }
  return entries;
}

int ScriptedHost::count(const std::string& entry) const {
  auto entries = order(true);
  return static_cast<int>(std::count(entries.begin(), entries.end(), entry));
}

bool ScriptedHost::heardInOrder(const std::vector<std::string>& expected, bool withLog) const {
  auto entries = order(withLog);
  auto at = entries.begin();
  for (const auto& wanted : expected) {
    at = std::find(at, entries.end(), wanted);
    if (at == entries.end()) return false;
    ++at;
  }
  return true;
}

std::vector<std::shared_ptr<OstrelResult>> ScriptedHost::results() const {
  std::lock_guard lock(record_->mutex);
  return record_->results;
}

std::function<void()> ScriptedHost::lastChipErrorAction() const {
  std::lock_guard lock(record_->mutex);
  return record_->chipErrorAction;
}

std::function<void()> ScriptedHost::lastChipErrorRetry() const {
  std::lock_guard lock(record_->mutex);
  return record_->chipErrorRetry;
}

std::string describe(const std::vector<std::string>& entries) {
  std::string line;
  for (const auto& entry : entries) {
    if (!line.empty()) line += ", ";
    line += entry;
  }
  return "[" + line + "]";
}

}  // namespace ostrel::testing
