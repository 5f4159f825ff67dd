#pragma once

#include <memory>
#include <optional>
#include <string>

#include "model/Record.hpp"

namespace ostrel {

// The chip verification record, decoded from the confirmation reply's "nfc_data" under its own
// member names. Decoding is strict: a member present with a value that is neither a text nor
// null fails the whole record, as does a value that is not an object.
class OSLNfcModel : public Record {
 public:
  static constexpr const char* kArchiveType = "OSLNfcModel";
  OSLNfcModel() = default;
  explicit OSLNfcModel(const JSON& dictionary) : Record(dictionary) {}
  static std::shared_ptr<OSLNfcModel> decode(const JSON& value);
  static std::shared_ptr<OSLNfcModel> fromDictionary(const JSON& value) { return decode(value); }
  JSON toDictionary() const override;

  std::optional<std::string> id_number;
  std::optional<std::string> name;
  std::optional<std::string> date_of_birth;
  std::optional<std::string> gender;
  std::optional<std::string> hometown;
  std::optional<std::string> address;
  std::optional<std::string> date_of_issuance;
  std::optional<std::string> date_of_expiry;
  std::optional<std::string> personal_identification;
  std::optional<std::string> father_name;
  std::optional<std::string> mother_name;
  std::optional<std::string> spouse_name;
  std::optional<std::string> face_image;

  // `face_image` with everything up to and including the last "base64," removed (the whole
  // text when there is no such marker); nothing when there is no face image.
  std::optional<std::string> faceImageBase64() const;
};

}  // namespace ostrel
