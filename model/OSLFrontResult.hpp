#pragma once

#include <memory>
#include <optional>
#include <string>

#include "model/Record.hpp"

namespace ostrel {

// The recognised fields of a card side.
class Field : public Record {
 public:
  static constexpr const char* kArchiveType = "Field";
  Field() = default;
  explicit Field(const JSON& dictionary);
  static std::shared_ptr<Field> fromDictionary(const JSON& dictionary) {
    return std::make_shared<Field>(dictionary);
  }
  JSON toDictionary() const override;

  std::optional<std::string> name;
  std::optional<std::string> idNumber;  // "id_number"
  std::optional<std::string> birthday;
  std::optional<std::string> gender;
  std::optional<std::string> home;
  std::optional<std::string> resident;
  std::optional<std::string> doi;
  std::optional<std::string> doe;
  std::optional<std::string> poi;
  std::optional<std::string> features;
  std::optional<std::string> type;
};

// The machine-readable zone the server read from a card.
class MRZ : public Record {
 public:
  static constexpr const char* kArchiveType = "MRZ";
  MRZ() = default;
  explicit MRZ(const JSON& dictionary);
  static std::shared_ptr<MRZ> fromDictionary(const JSON& dictionary) {
    return std::make_shared<MRZ>(dictionary);
  }
  JSON toDictionary() const override;

  std::optional<std::string> raw_mrz;
};

// The QR code the server read from the front of a card.
class QRCode : public RawRecord {
 public:
  static constexpr const char* kArchiveType = "QRCode";
  using RawRecord::RawRecord;
  static std::shared_ptr<QRCode> fromDictionary(const JSON& dictionary) {
    return std::make_shared<QRCode>(dictionary);
  }
};

// The front of an ID card as the server recognised it.
class OSLFrontResult : public Record {
 public:
  static constexpr const char* kArchiveType = "OSLFrontResult";
  OSLFrontResult() = default;
  // Missing or wrongly typed keys leave their members empty; {} gives an empty record.
  explicit OSLFrontResult(const JSON& dictionary);
  static std::shared_ptr<OSLFrontResult> fromDictionary(const JSON& dictionary) {
    return std::make_shared<OSLFrontResult>(dictionary);
  }
  JSON toDictionary() const override;

  std::optional<float> blurScore;          // "blur_score"
  std::optional<std::string> cardType;     // "card_type"
  std::optional<std::int64_t> flashScore;  // "flash_score"
  std::optional<float> photocopyScore;     // "photocopy_score"
  std::shared_ptr<Field> fields;           // "fields"
  std::shared_ptr<QRCode> qrCode;          // "qr_code"
  std::shared_ptr<MRZ> mrzData;            // "mrz_data"
};

}  // namespace ostrel
