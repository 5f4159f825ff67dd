#include "scan/MRZResult.hpp"

#include <functional>

#include "scan/MRZCharacters.hpp"

namespace ostrel {

namespace {

std::optional<MRZFormat> formatOf(const std::vector<std::string>& lines) {
  if (lines.size() != 2 && lines.size() != 3) return std::nullopt;
  const std::size_t length = mrz_detail::characterCount(lines[0]);
  for (const auto& line : lines) {
    if (mrz_detail::characterCount(line) != length) return std::nullopt;
  }
  if (lines.size() == 3) {
    if (length == lineLength(MRZFormat::td1)) return MRZFormat::td1;
    return std::nullopt;
  }
  for (MRZFormat format : {MRZFormat::td2, MRZFormat::td3}) {
    if (length == lineLength(format)) return format;
  }
  return std::nullopt;
}

MRZResult::DocumentType documentTypeOf(std::string_view value) {
  if (!value.empty()) {
    for (auto type : {MRZResult::DocumentType::visa, MRZResult::DocumentType::passport,
                      MRZResult::DocumentType::id, MRZResult::DocumentType::undefined}) {
      if (value[0] == codeCharacter(type)) return type;
    }
  }
  return MRZResult::DocumentType::undefined;
}

MRZResult::Sex sexOf(std::string_view value) {
  for (auto sex : {MRZResult::Sex::male, MRZResult::Sex::female, MRZResult::Sex::unspecified}) {
    for (auto code : codes(sex)) {
      if (value == code) return sex;
    }
  }
  return MRZResult::Sex::unspecified;
}

std::optional<std::string> secondCharacterOfPair(std::string_view value) {
  if (mrz_detail::characterCount(value) != 2) return std::nullopt;
  return mrz_detail::cutCharacters(value, 1, 1);
}

}  // namespace

char codeCharacter(MRZResult::DocumentType type) {
  switch (type) {
    case MRZResult::DocumentType::visa:
      return 'V';
    case MRZResult::DocumentType::passport:
      return 'P';
    case MRZResult::DocumentType::id:
      return 'I';
    case MRZResult::DocumentType::undefined:
      break;
  }
  return '_';
}

const std::vector<std::string_view>& codes(MRZResult::Sex sex) {
  static const std::vector<std::string_view> male = {"M"};
  static const std::vector<std::string_view> female = {"F"};
  static const std::vector<std::string_view> unspecified = {"X", "<", " "};
  switch (sex) {
    case MRZResult::Sex::male:
      return male;
    case MRZResult::Sex::female:
      return female;
    case MRZResult::Sex::unspecified:
      break;
  }
  return unspecified;
}

std::optional<MRZResult> parseMRZ(const std::vector<std::string>& lines,
                                  bool isOCRCorrectionEnabled,
                                  const platform::DateFormatter& dateFormatter,
                                  const MRZClock& clock) {
  const auto format = formatOf(lines);
  if (!format) return std::nullopt;
  const MRZCode code(lines, *format, isOCRCorrectionEnabled, dateFormatter, clock);
  if (!code.isValid()) return std::nullopt;

  MRZResult result;
  result.format = code.format;
  result.documentType = documentTypeOf(code.documentTypeField.value);
  result.documentTypeAdditional = secondCharacterOfPair(code.documentTypeField.value);
  result.countryCode = code.countryCodeField.value;
  result.surnames = code.namesField.surnames;
  result.givenNames = code.namesField.givenNames;
  result.documentNumber = code.documentNumberField.value;
  result.nationalityCountryCode = code.nationalityField.value;
  result.birthdate = code.birthdateField.value;
  result.birthdateRawString = code.birthdateField.rawValue;
  result.sex = sexOf(code.sexField.value);
  result.expiryDate = code.expiryDateField.value;
  result.expiryDateRawString = code.expiryDateField.rawValue;
  result.optionalData = code.optionalDataField.value;
  if (code.optionalData2Field) result.optionalData2 = code.optionalData2Field->value;
  result.documentNumberRawString = code.documentNumberField.rawValue;
  return result;
}

std::shared_ptr<platform::DateFormatter> makeMRZDateFormatter() {
  return std::make_shared<platform::DateFormatter>("yyyyMMdd", "GMT+0:00", "en_US_POSIX");
}

}  // namespace ostrel

std::size_t std::hash<ostrel::MRZResult>::operator()(
    const ostrel::MRZResult& result) const noexcept {
  std::size_t seed = 0;
  auto mix = [&seed](std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
  };
  auto text = [&](const std::string& value) { mix(std::hash<std::string>{}(value)); };
  auto optionalText = [&](const std::optional<std::string>& value) {
    mix(value.has_value());
    if (value) text(*value);
  };
  auto optionalDate = [&](const std::optional<ostrel::platform::Date>& value) {
    mix(value.has_value());
    if (value) mix(std::hash<double>{}(value->timeIntervalSince1970));
  };
  mix(static_cast<std::size_t>(result.format));
  mix(static_cast<std::size_t>(result.documentType));
  optionalText(result.documentTypeAdditional);
  text(result.countryCode);
  text(result.surnames);
  text(result.givenNames);
  optionalText(result.documentNumber);
  text(result.nationalityCountryCode);
  optionalDate(result.birthdate);
  text(result.birthdateRawString);
  mix(static_cast<std::size_t>(result.sex));
  optionalDate(result.expiryDate);
  text(result.expiryDateRawString);
  optionalText(result.optionalData);
  optionalText(result.optionalData2);
  text(result.documentNumberRawString);
  return seed;
}
