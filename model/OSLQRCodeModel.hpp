#pragma once

#include <memory>
#include <optional>
#include <string>

#include "model/Record.hpp"

namespace ostrel {

// The QR code of an ID card as the server decoded it; all members optional texts, dates as
// "dd/MM/yyyy". Decoding is strict: a member present with a value
// that is neither a text nor null fails the whole record, as does a value that is not an object.
class OSLQRCodeModel : public Record {
 public:
  static constexpr const char* kArchiveType = "OSLQRCodeModel";
  OSLQRCodeModel() = default;
  explicit OSLQRCodeModel(const JSON& dictionary) : Record(dictionary) {}
  static std::shared_ptr<OSLQRCodeModel> decode(const JSON& value);
  static std::shared_ptr<OSLQRCodeModel> fromDictionary(const JSON& value) { return decode(value); }
  JSON toDictionary() const override;

  std::optional<std::string> decoded_text;
  std::optional<std::string> id_number;
  std::optional<std::string> birthday;
  std::optional<std::string> doi;
  std::optional<std::string> doe;
};

}  // namespace ostrel
