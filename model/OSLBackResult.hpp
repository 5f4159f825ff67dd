#pragma once

#include <memory>
#include <optional>
#include <string>

#include "model/OSLFrontResult.hpp"
#include "model/Record.hpp"

namespace ostrel {

// Address parts of the holder's residence and home town, as the server splits them.
class ResidentEntity : public RawRecord {
 public:
  static constexpr const char* kArchiveType = "ResidentEntity";
  using RawRecord::RawRecord;
  static std::shared_ptr<ResidentEntity> fromDictionary(const JSON& dictionary) {
    return std::make_shared<ResidentEntity>(dictionary);
  }
};

class HomeEntity : public RawRecord {
 public:
  static constexpr const char* kArchiveType = "HomeEntity";
  using RawRecord::RawRecord;
  static std::shared_ptr<HomeEntity> fromDictionary(const JSON& dictionary) {
    return std::make_shared<HomeEntity>(dictionary);
  }
};

// The recognised fields of the back of a card.
class BackField : public RawRecord {
 public:
  static constexpr const char* kArchiveType = "BackField";
  using RawRecord::RawRecord;
  static std::shared_ptr<BackField> fromDictionary(const JSON& dictionary) {
    return std::make_shared<BackField>(dictionary);
  }
  std::optional<std::string> features() const { return string("features"); }
  std::optional<std::string> doi() const { return string("doi"); }
  std::optional<std::string> poi() const { return string("poi"); }
};

// The back of an ID card as the server recognised it.
class OSLBackResult : public Record {
 public:
  static constexpr const char* kArchiveType = "OSLBackResult";
  OSLBackResult() = default;
  explicit OSLBackResult(const JSON& dictionary);
  static std::shared_ptr<OSLBackResult> fromDictionary(const JSON& dictionary) {
    return std::make_shared<OSLBackResult>(dictionary);
  }
  JSON toDictionary() const override;

  std::optional<float> blurScore;
  std::optional<std::string> cardType;
  std::optional<std::int64_t> flashScore;
  std::optional<float> photocopyScore;
  std::shared_ptr<BackField> fields;  // "fields"
  std::shared_ptr<MRZ> mrz;           // "mrz"
};

}  // namespace ostrel
