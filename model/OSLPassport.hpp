#pragma once

#include <memory>
#include <optional>
#include <string>

#include "model/Record.hpp"

namespace ostrel {

// The "fields" of a passport-page reply.
class FieldPassport : public RawRecord {
 public:
  static constexpr const char* kArchiveType = "FieldPassport";
  using RawRecord::RawRecord;
  static std::shared_ptr<FieldPassport> fromDictionary(const JSON& dictionary) {
    return std::make_shared<FieldPassport>(dictionary);
  }
};

// A passport-page reply as the server sends it: {"is_mrz_valid", "fields"}.
class PassportResult : public RawRecord {
 public:
  static constexpr const char* kArchiveType = "PassportResult";
  using RawRecord::RawRecord;
  static std::shared_ptr<PassportResult> fromDictionary(const JSON& dictionary) {
    return std::make_shared<PassportResult>(dictionary);
  }
  std::optional<bool> isMrzValid() const { return record_coding::optBool(raw_, "is_mrz_valid"); }
  std::shared_ptr<FieldPassport> fields() const;
};

// The passport page as the server recognised it. Only a complete reply makes one.
class OSLPassport : public Record {
 public:
  static constexpr const char* kArchiveType = "OSLPassport";
  // A record only when "is_mrz_valid" is a Bool and "fields" is a dictionary whose "gender",
  // "doe", "birthday", "nationality", "mrz", "name" and "id_number" are all texts.
  static std::shared_ptr<OSLPassport> fromDictionary(const JSON& dictionary);
  JSON toDictionary() const override;

  bool isMrzValid = false;
  std::string idNumber;
  std::string name;
  std::string birthday;
  std::string gender;
  std::string doe;
  std::string nationality;
  std::string mrz;

  OSLPassport() = default;
  explicit OSLPassport(const JSON& dictionary) : Record(dictionary) {}
};

}  // namespace ostrel
