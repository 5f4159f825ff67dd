#include "model/Record.hpp"

#include <cmath>
#include <limits>

namespace ostrel {

std::string Record::toJSON() const {
  return toDictionary().dump(-1, ' ', false, JSON::error_handler_t::replace);
}

std::optional<std::string> RawRecord::string(const std::string& key) const {
  return record_coding::optString(raw_, key);
}

namespace record_coding {

namespace {
const JSON* find(const JSON& dictionary, const std::string& key) {
  if (!dictionary.is_object()) return nullptr;
  auto it = dictionary.find(key);
  return it == dictionary.end() ? nullptr : &*it;
}
}  // namespace

std::optional<std::string> optString(const JSON& dictionary, const std::string& key) {
  const JSON* v = find(dictionary, key);
  if (!v || !v->is_string()) return std::nullopt;
  return v->get<std::string>();
}

std::optional<float> optFloat(const JSON& dictionary, const std::string& key) {
  const JSON* v = find(dictionary, key);
  if (!v || !v->is_number()) return std::nullopt;
  return v->get<float>();
}

std::optional<std::int64_t> optInt(const JSON& dictionary, const std::string& key) {
  const JSON* v = find(dictionary, key);
  if (!v) return std::nullopt;
  if (v->is_number_unsigned()) {
    auto u = v->get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(u);
  }
  if (v->is_number_integer()) return v->get<std::int64_t>();
  if (v->is_number_float()) {
    double d = v->get<double>();
    if (std::isfinite(d) && std::trunc(d) == d && std::fabs(d) < 9.0e18) {
      return static_cast<std::int64_t>(d);
    }
  }
  return std::nullopt;
}

std::optional<bool> optBool(const JSON& dictionary, const std::string& key) {
  const JSON* v = find(dictionary, key);
  if (!v || !v->is_boolean()) return std::nullopt;
  return v->get<bool>();
}

const JSON* optObject(const JSON& dictionary, const std::string& key) {
  const JSON* v = find(dictionary, key);
  return v && v->is_object() ? v : nullptr;
}

bool decodeTexts(
    const JSON& value,
    std::initializer_list<std::pair<const char*, std::optional<std::string>*>> members) {
  if (!value.is_object()) return false;
  for (const auto& [key, target] : members) {
    auto it = value.find(key);
    if (it == value.end() || it->is_null()) continue;
    if (!it->is_string()) return false;
    *target = it->get<std::string>();
  }
  return true;
}

Bytes archive(const std::string& type, const JSON& dictionary) {
  JSON envelope = {{"v", 1}, {"type", type}, {"data", dictionary}};
  auto text = envelope.dump(-1, ' ', false, JSON::error_handler_t::replace);
  return Bytes(text.begin(), text.end());
}

std::optional<JSON> unarchive(const Bytes& bytes, const std::string& type) {
  // The envelope adds one level to the record's dictionary.
  auto envelope = platform::parseJSONObject(bytes, platform::kMaxJSONDepth + 1);
  if (!envelope) return std::nullopt;
  if (optInt(*envelope, "v") != 1 || optString(*envelope, "type") != type) return std::nullopt;
  auto data = envelope->find("data");
  if (data == envelope->end() || !data->is_object()) return std::nullopt;
  return std::optional<JSON>(std::move(*data));
}

std::optional<JSON> parseObject(std::string_view text) {
  return platform::parseJSONObject(text);
}

}  // namespace record_coding
}  // namespace ostrel
