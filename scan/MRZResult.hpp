#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Date.hpp"
#include "platform/foundation/DateFormatter.hpp"
#include "scan/MRZCode.hpp"
#include "scan/MRZFormat.hpp"

namespace ostrel {

// A machine-readable zone that passed all its check digits.
struct MRZResult {
  enum class DocumentType { visa, passport, id, undefined };
  enum class Sex { male, female, unspecified };

  MRZFormat format = MRZFormat::td3;
  DocumentType documentType = DocumentType::undefined;
  // The second character of the document code when it has exactly two ("ID" -> "D"; "P<" has
  // its filler trimmed, so none). One character, as UTF-8.
  std::optional<std::string> documentTypeAdditional;
  std::string countryCode;
  std::string surnames;
  std::string givenNames;
  // Display form: fillers trimmed, inner fillers as spaces. Always present after a parse.
  std::optional<std::string> documentNumber;
  std::string nationalityCountryCode;
  std::optional<platform::Date> birthdate;  // midnight UTC; none when not a real day
  std::string birthdateRawString;           // YYMMDD as read (after correction)
  Sex sex = Sex::unspecified;
  std::optional<platform::Date> expiryDate;
  std::string expiryDateRawString;
  std::optional<std::string> optionalData;   // always present after a parse, maybe empty
  std::optional<std::string> optionalData2;  // TD1 only
  // The nine characters of the document number exactly as in the zone (after correction),
  // fillers kept: the chip access key is built from this, not from the display form.
  std::string documentNumberRawString;

  bool operator==(const MRZResult&) const = default;
};

// Code character of each document type: "V", "P", "I", "_".
char codeCharacter(MRZResult::DocumentType type);
// The zone codes that stand for each sex: "M"; "F"; "X", "<" and " ".
const std::vector<std::string_view>& codes(MRZResult::Sex sex);

// The lines of a zone (top first; split on "\n" by the caller, with no trailing empty line)
// to a validated record; none when the lines fit no format (three of 30, two of 36, two of 44
// characters) or a check digit fails. Never throws, never reads outside the lines; safe from
// any thread. `clock` pins "now" for the date pivot (empty: the runtime's wall clock).
std::optional<MRZResult> parseMRZ(const std::vector<std::string>& lines,
                                  bool isOCRCorrectionEnabled,
                                  const platform::DateFormatter& dateFormatter,
                                  const MRZClock& clock = {});

// The formatter `parseMRZ` expects: "yyyyMMdd", POSIX locale, GMT. Make one per parse.
std::shared_ptr<platform::DateFormatter> makeMRZDateFormatter();

}  // namespace ostrel

template <>
struct std::hash<ostrel::MRZResult> {
  std::size_t operator()(const ostrel::MRZResult& result) const noexcept;
};
