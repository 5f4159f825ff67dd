#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Date.hpp"
#include "platform/foundation/DateFormatter.hpp"
#include "scan/MRZFormat.hpp"

namespace ostrel {

// Where the date pivot takes "now" from. Empty means the installed runtime's wall clock
// (`platform::Runtime::current().now()`); tests and callers that must be reproducible pass
// their own.
using MRZClock = std::function<platform::Date()>;

// A field without a check digit of its own.
struct MRZField {
  std::string value;     // display value: fillers trimmed, inner "<" turned into spaces
  std::string rawValue;  // the characters cut from the line, after OCR correction when on
  bool operator==(const MRZField&) const = default;
};

// A field followed by its check character. `checkDigit` is empty for a field that has none of
// its own (it may still take part in the composite check).
template <class T>
struct ValidatedField {
  T value;
  std::string rawValue;
  std::string checkDigit;
  bool operator==(const ValidatedField&) const = default;
};

// What the composite check needs of a field, whatever its value type.
template <class F>
concept ValidatedFieldProtocol = requires(const F& field) {
  { field.rawValue } -> std::convertible_to<std::string>;
  { field.checkDigit } -> std::convertible_to<std::string>;
};

// The kind of a field, which chooses how text-recognition confusions are repaired.
enum class MRZFieldType {
  documentType,
  countryCode,
  names,
  nationality,
  documentNumber,
  optionalData,
  birthdate,
  expiryDate,
  sex,
  checkDigit,
};

struct MRZNames {
  std::string surnames;
  std::string givenNames;
  bool operator==(const MRZNames&) const = default;
};

// A zone cut into its fields. Building one never fails and never reads outside the lines: a
// line that is missing or short yields short fields, which then fail their checks.
// `parseMRZ` only builds it from lines that fit the format.
class MRZCode {
 public:
  MRZCode(const std::vector<std::string>& lines, MRZFormat format, bool isOCRCorrectionEnabled,
          const platform::DateFormatter& dateFormatter, const MRZClock& clock = {});

  MRZFormat format;
  MRZField documentTypeField;
  MRZField countryCodeField;
  ValidatedField<std::string> documentNumberField;
  ValidatedField<std::optional<platform::Date>> birthdateField;
  MRZField sexField;
  ValidatedField<std::optional<platform::Date>> expiryDateField;
  MRZField nationalityField;
  ValidatedField<std::string> optionalDataField;
  std::optional<ValidatedField<std::string>> optionalData2Field;  // TD1 only
  MRZNames namesField;
  std::string finalCheckDigit;  // composite check character; empty for visas

  // Every field check digit and the composite one hold, on the corrected raw texts.
  bool isValid() const;
};

// --- Field functions. All pure; safe from any thread.

// Upper-cases (ASCII only) and repairs the confusions typical of the field's kind. Characters
// outside ASCII are left as they are, so the text keeps its length.
std::string correctOCR(std::string_view text, MRZFieldType fieldType);
// "O", "Q", "U", "D" -> "0"; "I" -> "1"; "Z" -> "2"; "B" -> "8".
std::string replaceLettersWithDigits(std::string_view text);
// "0" -> "O"; "1" -> "I"; "2" -> "Z"; "8" -> "B".
std::string replaceDigitsWithLetters(std::string_view text);
// Fillers trimmed at both ends, inner fillers turned into spaces: "L898<902C<<" -> "L898 902C".
std::string mrzFieldText(std::string_view text);
// Surnames before the first "<<", given names up to the next "<<"; later parts are dropped.
MRZNames mrzNames(std::string_view text);

ValidatedField<std::string> makeValidatedStringField(std::string_view line, std::size_t start,
                                                     std::size_t length, MRZFieldType fieldType,
                                                     bool isOCRCorrectionEnabled);
ValidatedField<std::optional<platform::Date>> makeDateField(
    std::string_view line, std::size_t start, std::size_t length, bool isExpiryDate,
    bool isOCRCorrectionEnabled, const platform::DateFormatter& dateFormatter,
    const MRZClock& clock = {});
MRZNames makeNamesField(std::string_view line, std::size_t start, std::size_t length,
                        bool isOCRCorrectionEnabled);

// Six digits YYMMDD to a date, with the century chosen from the current Gregorian year Y:
// a birth year YY is in Y's century when YY <= Y mod 100, else in the century before; an
// expiry year when YY < Y mod 100 + 50. Anything but six ASCII digits, or no such day: none.
std::optional<platform::Date> birthdate(std::string_view text,
                                        const platform::DateFormatter& dateFormatter,
                                        const MRZClock& clock = {});
std::optional<platform::Date> expiryDate(std::string_view text,
                                         const platform::DateFormatter& dateFormatter,
                                         const MRZClock& clock = {});

// ICAO 9303 check digit: A-Z count 10-35, 0-9 their value, "<" 0, weights 7, 3, 1. Any other
// character (lower case, space, punctuation, anything outside ASCII) gives none.
std::optional<int> computeCheckDigit(std::string_view text);
// A digit check character must equal the computed digit; a "<" check character stands for a
// field that is all fillers (or empty); anything else fails.
bool isCheckDigitValid(std::string_view value, std::string_view checkDigit);

}  // namespace ostrel
