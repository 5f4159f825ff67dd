#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/foundation/JSON.hpp"

namespace ostrel {

using platform::Bytes;
using platform::JSON;

// The common ground of the result records: each keeps the dictionary it was read from, so
// turning it back into a dictionary never loses keys this library does not know. Typed members
// are written over that dictionary (an absent member removes its key).
class Record {
 public:
  virtual ~Record() = default;

  // The dictionary the record was read from, as it came.
  const JSON& raw() const { return raw_; }
  virtual JSON toDictionary() const { return raw_; }
  // Compact JSON text of `toDictionary()`; invalid UTF-8 is replaced, never thrown on.
  std::string toJSON() const;

 protected:
  Record() = default;
  explicit Record(const JSON& dictionary)
      : raw_(dictionary.is_object() ? dictionary : JSON::object()) {}

  JSON raw_ = JSON::object();
};

// A record whose members this library does not need: a typed name for the server's dictionary
// with a reader for its texts.
class RawRecord : public Record {
 public:
  RawRecord() = default;
  explicit RawRecord(const JSON& dictionary) : Record(dictionary) {}
  std::optional<std::string> string(const std::string& key) const;
};

namespace record_coding {

// Typed readers that take nothing of the wrong kind.
std::optional<std::string> optString(const JSON& dictionary, const std::string& key);
std::optional<float> optFloat(const JSON& dictionary, const std::string& key);
std::optional<std::int64_t> optInt(const JSON& dictionary, const std::string& key);
std::optional<bool> optBool(const JSON& dictionary, const std::string& key);
// The member when it is an object, else nothing.
const JSON* optObject(const JSON& dictionary, const std::string& key);

// An absent member removes its key, except that an explicit null from the server stays null.
template <class T>
void put(JSON& dictionary, const std::string& key, const std::optional<T>& value) {
  if (value) {
    dictionary[key] = *value;
  } else if (auto it = dictionary.find(key); it != dictionary.end() && !it->is_null()) {
    dictionary.erase(it);
  }
}
template <class R>
void put(JSON& dictionary, const std::string& key, const std::shared_ptr<R>& record) {
  if (record) {
    dictionary[key] = record->toDictionary();
  } else {
    dictionary.erase(key);
  }
}

// Scores are single-precision members; the server's own number is written back when it still
// reads as the same float, so a round trip does not turn 0.1 into 0.100000001.
inline void putFloat(JSON& dictionary, const std::string& key, const std::optional<float>& value) {
  if (!value) {
    dictionary.erase(key);
    return;
  }
  auto it = dictionary.find(key);
  if (it != dictionary.end() && it->is_number() && it->get<float>() == *value) return;
  dictionary[key] = static_cast<double>(*value);
}

// Fills text members from `value` the way a strict decoder does: absent or null members stay
// empty, any other non-text value fails (false), as does a `value` that is not an object.
bool decodeTexts(
    const JSON& value,
    std::initializer_list<std::pair<const char*, std::optional<std::string>*>> members);

// Versioned archive: {"v":1,"type":<type>,"data":<dictionary>} as UTF-8 JSON bytes.
Bytes archive(const std::string& type, const JSON& dictionary);
// The dictionary of an archive of `type`; nothing for another type, version or malformed bytes.
std::optional<JSON> unarchive(const Bytes& bytes, const std::string& type);
// The object in a JSON text; nothing when it is not JSON or not an object.
std::optional<JSON> parseObject(std::string_view text);

}  // namespace record_coding

// Archive and JSON coding shared by every record type R that has `kArchiveType`, a
// `toDictionary()` and a static `fromDictionary(const JSON&)` returning `std::shared_ptr<R>`.
template <class R>
Bytes archive(const R& record) {
  return record_coding::archive(R::kArchiveType, record.toDictionary());
}
template <class R>
std::shared_ptr<R> unarchive(const Bytes& bytes) {
  auto dictionary = record_coding::unarchive(bytes, R::kArchiveType);
  if (!dictionary) return nullptr;
  return R::fromDictionary(*dictionary);
}
template <class R>
std::shared_ptr<R> fromJSON(std::string_view text) {
  auto dictionary = record_coding::parseObject(text);
  if (!dictionary) return nullptr;
  return R::fromDictionary(*dictionary);
}

}  // namespace ostrel
