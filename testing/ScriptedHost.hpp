#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/OSLConfig.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/ui/ViewController.hpp"
#include "testing/ScriptedRawDataProcessor.hpp"

namespace ostrel::testing {

// Which handlers `ScriptedHost::install` sets besides loading, result, expired, cancel-session
// and log.
struct ScriptedHostHandlers {
  bool eventHandler = true;    // without it the library calls cancel-session and expired
  bool errorHandlers = false;  // chip-error and error-alert (else the built-in alerts show)
  bool dataHandlers = false;   // ID front and back, face and chip data handlers
  bool processor = false;      // the raw-data processor
};

// A host application for tests: it gives a configuration every handler a host can set and
// records each call, with its arguments and whether it ran on the main queue, in the order the
// library made them. Tests compare that order with a list of short entries:
//
//   ScriptedHost host;
//   host.install(*config, {.errorHandlers = true});
//   ... run the flow ...
//   EXPECT_EQ(host.order(), (std::vector<std::string>{
//       "showLoading", "hideLoading", "showLoading", "hideLoading", "result"}));
//
// Entries of `order()`:
//   "showLoading" "hideLoading"                   the loading handlers
//   "event:0" "event:1"                           the event handler (cancelled, expired)
//   "cancelSession" "expired"                     the two handlers used without an event handler
//   "result" "noResult"                           the result handler with or without a result
//   "errorAlert:<code>"                           the error-alert handler
//   "chipError:<code>"                            the chip-error handler
//   "idFrontData" "idBackData" "faceData" "nfcData"         the data handlers
//   "processCapture:front" "processCapture:back" "processLiveness" "processNFC"
//                                                 the raw-data processor's operations
//   "completion"                                  a configured-steps run's completion
//                                                 (`runCompletion`)
//   "log:<EVENT>"                                 the log handler (only in `order(true)`)
//
// Hand-offs (data handlers and processor) are answered through `ScriptedRawDataProcessor`
// answers: at once, after virtual seconds, from another thread, twice or never, with success or
// a given error. The data handlers share one queue of answers (`handlers()`), the processor has
// its own (`processor()`).
//
// The handlers hold the record, not this object, so a configuration may outlive its host.
class ScriptedHost {
 public:
  using Answer = ScriptedRawDataProcessor::Answer;

  using Handlers = ScriptedHostHandlers;

  // One call of a handler.
  struct Call {
    std::string entry;  // as in `order()`
    platform::JSON arguments = platform::JSON::object();
    bool onMainQueue = false;
    std::weak_ptr<platform::ViewController> screen;  // loading and error-alert handlers
  };

  ScriptedHost();

  // Sets the handlers on `config`. A log handler already there keeps being called after the
  // host has recorded the event.
  void install(OSLConfig& config, Handlers handlers = {});

  // The data handlers on their own, for `withIDStep`, `withFaceStep` and `withNFCStep`.
  OSLConfig::IDDataHandler idDataHandler(bool isFront) const;
  OSLConfig::FaceDataHandler faceDataHandler() const;
  OSLConfig::NFCDataHandler nfcDataHandler() const;
  // A completion for `Ostrel::run(config, from, animated, completion)`.
  std::function<void()> runCompletion() const;

  // Answers of the data handlers and of the processor (queue, default, kept answers, calls).
  ScriptedRawDataProcessor& handlers() { return *handlers_; }
  const std::shared_ptr<ScriptedRawDataProcessor>& processor() const { return processor_; }

  std::vector<Call> calls() const;
  // Forgets every call and result heard so far (for a test that runs several sessions).
  void clear();
  // The entries of every call in order; log events only when `withLog`.
  std::vector<std::string> order(bool withLog = false) const;
  // How often `entry` was heard.
  int count(const std::string& entry) const;
  // Whether `expected` appears in the record in this order, other calls allowed in between.
  bool heardInOrder(const std::vector<std::string>& expected, bool withLog = false) const;

  // The results handed to the result handler (null for "noResult").
  std::vector<std::shared_ptr<OstrelResult>> results() const;
  // The two closures of the last chip-error call (empty when none was given).
  std::function<void()> lastChipErrorAction() const;
  std::function<void()> lastChipErrorRetry() const;

  struct Record;

 private:
  std::shared_ptr<Record> record_;
  std::shared_ptr<ScriptedRawDataProcessor> handlers_;
  std::shared_ptr<ScriptedRawDataProcessor> processor_;
};

// Prints the entries as one line, for failure messages.
std::string describe(const std::vector<std::string>& entries);

}  // namespace ostrel::testing
