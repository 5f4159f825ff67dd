#include "testing/TestHelpers.hpp"

namespace ostrel::testing {

LogRecord recordLog(OSLConfig& config) {
  auto record = std::make_shared<std::vector<LoggedEvent>>();
  config.logHandler = [record](OSLLogLevel level, const std::string& event,
                               const std::string& screen, const platform::JSON& data,
                               const platform::JSON&) {
    record->push_back({level, event, screen, data});
  };
  return record;
}

std::vector<std::string> eventNames(const LogRecord& record) {
  std::vector<std::string> names;
  for (const auto& e : *record) names.push_back(e.event);
  return names;
}

platform::JSON bracketedDictionary(const std::vector<std::string>& keys) {
  platform::JSON dictionary = platform::JSON::object();
  for (const auto& key : keys) dictionary[key] = "[" + key + "]";
  return dictionary;
}

std::vector<std::string> uiKitLocalizationKeys() {
  std::vector<std::string> keys = {
      "error_unknown",      "error_timeout",        "button_retry",        "error_network",
      "button_confirm",     "exit_confirm_title",   "exit_confirm_message", "button_cancel",
      "please_wait",        "error_invalid_data",   "guide_id_title",      "guide_liveness_title",
      "guide_passport_title", "guide_note",         "guide_reject_title",  "guide_button_close",
      "guide_button_open"};
  for (int n = 1; n <= 4; ++n) {
    for (const char* prefix :
         {"guide_id_", "guide_liveness_", "guide_id_reject_", "guide_liveness_reject_"}) {
      keys.push_back(prefix + std::to_string(n));
    }
  }
  return keys;
}

}  // namespace ostrel::testing
