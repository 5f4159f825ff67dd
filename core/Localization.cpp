#include "core/Localization.hpp"

#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <shared_mutex>

#include "platform/foundation/Debug.hpp"

namespace ostrel {
namespace {

std::shared_mutex& dictionaryMutex() {
  static std::shared_mutex m;
  return m;
}

JSON& storedDictionary() {
  static JSON dictionary = JSON::object();
  return dictionary;
}

const JSON* member(const std::string& key, const JSON& dictionary) {
  if (!dictionary.is_object()) return nullptr;
  auto it = dictionary.find(key);
  return it == dictionary.end() ? nullptr : &*it;
}

std::optional<std::int64_t> wholeNumber(const JSON& value) {
  if (value.is_number_integer()) {
    if (value.is_number_unsigned() &&
        value.get<std::uint64_t>() >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    return value.get<std::int64_t>();
  }
  if (value.is_number_float()) {
    double d = value.get<double>();
    if (std::isfinite(d) && std::trunc(d) == d && d >= -9.2e18 && d <= 9.2e18) {
      return static_cast<std::int64_t>(d);
    }
  }
  return std::nullopt;
}

}  // namespace

JSON languageDictionary() {
  std::shared_lock lock(dictionaryMutex());
  return storedDictionary();
}

void setLanguageDictionary(JSON dictionary) {
  if (!dictionary.is_object()) dictionary = JSON::object();
  std::unique_lock lock(dictionaryMutex());
  storedDictionary() = std::move(dictionary);
}

bool languageDictionaryIsEmpty() {
  std::shared_lock lock(dictionaryMutex());
  return storedDictionary().empty();
}

std::string osl_localize(const std::string& key) {
  bool found = false;
  std::string text;
  {
    std::shared_lock lock(dictionaryMutex());
    found = member(key, storedDictionary()) != nullptr;
    text = stringValue(key, storedDictionary());
  }
  // A key the server's dictionary lacks shows as an empty text on screen; say which one.
  if (!found) platform::debugLog("osl_localize: the language dictionary has no \"" + key + "\"");
  return text;
}

std::string renderNumber(const JSON& number) {
  if (auto whole = wholeNumber(number)) return std::to_string(*whole);
  if (number.is_number()) return number.dump();
  return "";
}

std::string stringValue(const std::string& key, const JSON& dictionary) {
  const JSON* value = member(key, dictionary);
  if (!value) return "";
  if (value->is_string()) return value->get<std::string>();
  if (value->is_number()) return renderNumber(*value);
  return "";
}

bool boolValue(const std::string& key, const JSON& dictionary) {
  const JSON* value = member(key, dictionary);
  if (!value) return false;
  if (value->is_boolean()) return value->get<bool>();
  if (value->is_number_integer()) return value->get<std::int64_t>() != 0;
  if (value->is_number_float()) return value->get<double>() != 0;
  if (value->is_string()) {
    const auto& text = value->get_ref<const std::string&>();
    return !text.empty() && text != "0";
  }
  return false;
}

std::int64_t intValue(const std::string& key, const JSON& dictionary, std::int64_t defaultValue) {
  const JSON* value = member(key, dictionary);
  if (!value) return defaultValue;
  return wholeNumber(*value).value_or(defaultValue);
}

}  // namespace ostrel
