#include "testing/LanguageDictionary.hpp"

#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "platform/foundation/Debug.hpp"

#ifndef OSTREL_LANGUAGE_DICTIONARY
#define OSTREL_LANGUAGE_DICTIONARY "testing/LanguageDictionary.json"
#endif

namespace ostrel::testing {

namespace {

const platform::JSON& allLanguages() {
  static const platform::JSON all = [] {
    std::ifstream in(OSTREL_LANGUAGE_DICTIONARY);
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = platform::JSON::parse(text.str(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object() || !parsed.contains("vi")) {
      throw std::runtime_error("unreadable language dictionary " +
                               std::string(OSTREL_LANGUAGE_DICTIONARY));
    }
    return parsed;
  }();
  return all;
}

constexpr std::string_view kMissingPrefix = "osl_localize: the language dictionary has no \"";

}  // namespace

const platform::JSON& defaultLanguageDictionary(const std::string& language) {
  const auto& all = allLanguages();
  auto it = all.find(language);
  return it != all.end() ? *it : all.at("vi");
}

struct MissingKeyRecorder::State {
  mutable std::mutex mutex;
  std::set<std::string> keys;
};

MissingKeyRecorder::MissingKeyRecorder() : state_(std::make_shared<State>()) {
  platform::setDebugSink([state = state_](std::string_view line) {
    if (line.substr(0, kMissingPrefix.size()) != kMissingPrefix) return;
    auto key = line.substr(kMissingPrefix.size());
    if (!key.empty() && key.back() == '"') key.remove_suffix(1);
    std::lock_guard lock(state->mutex);
    state->keys.emplace(key);
  });
}

MissingKeyRecorder::~MissingKeyRecorder() { platform::setDebugSink({}); }

std::set<std::string> MissingKeyRecorder::keys() const {
  std::lock_guard lock(state_->mutex);
  return state_->keys;
}

}  // namespace ostrel::testing
