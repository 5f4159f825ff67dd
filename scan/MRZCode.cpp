#include "scan/MRZCode.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "platform/runtime/Runtime.hpp"
#include "scan/MRZCharacters.hpp"

namespace ostrel {

using mrz_detail::cutCharacters;
using mrz_detail::isAsciiDigit;
using mrz_detail::isAsciiLower;
using mrz_detail::isAsciiUpper;

namespace {

// Where each field sits in one format: line index (0-based), start and length.
struct Slot {
  std::size_t line;
  std::size_t start;
  std::size_t length;
};

struct Layout {
  Slot documentType;
  Slot countryCode;
  Slot names;
  Slot documentNumber;
  Slot nationality;
  Slot birthdate;
  Slot sex;
  Slot expiryDate;
  Slot optionalData;
  std::optional<Slot> optionalData2;
  std::optional<Slot> finalCheckDigit;
};

Layout layoutFor(MRZFormat format, bool isVisa) {
  switch (format) {
    case MRZFormat::td1:
      return {{0, 0, 2}, {0, 2, 3}, {2, 0, 30},  {0, 5, 9},       {1, 15, 3},    {1, 0, 6},
              {1, 7, 1}, {1, 8, 6}, {0, 15, 15}, Slot{1, 18, 11}, Slot{1, 29, 1}};
    case MRZFormat::td2:
      return {{0, 0, 2},
              {0, 2, 3},
              {0, 5, 31},
              {1, 0, 9},
              {1, 10, 3},
              {1, 13, 6},
              {1, 20, 1},
              {1, 21, 6},
              {1, 28, static_cast<std::size_t>(isVisa ? 8 : 7)},
              std::nullopt,
              isVisa ? std::nullopt : std::optional<Slot>(Slot{1, 35, 1})};
    case MRZFormat::td3:
      break;
  }
  return {{0, 0, 2},
          {0, 2, 3},
          {0, 5, 39},
          {1, 0, 9},
          {1, 10, 3},
          {1, 13, 6},
          {1, 20, 1},
          {1, 21, 6},
          {1, 28, static_cast<std::size_t>(isVisa ? 16 : 14)},
          std::nullopt,
          isVisa ? std::nullopt : std::optional<Slot>(Slot{1, 43, 1})};
}

std::string_view lineAt(const std::vector<std::string>& lines, std::size_t index) {
  return index < lines.size() ? std::string_view(lines[index]) : std::string_view();
}

std::string asciiUppercased(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (isAsciiLower(c)) c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// The current year of the Gregorian calendar in UTC, whatever calendar the user prefers.
// None when the clock gives something that is not a time.
std::optional<int> currentGregorianYear(const MRZClock& clock) {
  const platform::Date now = clock ? clock() : platform::Runtime::current().now();
  const double seconds = now.timeIntervalSince1970;
  // About +-300000 years: far beyond any real clock, well inside what chrono can hold.
  if (!std::isfinite(seconds) || std::fabs(seconds) > 1e13) return std::nullopt;
  const std::chrono::sys_seconds instant{
      std::chrono::seconds(static_cast<long long>(std::floor(seconds)))};
  const std::chrono::year_month_day day{std::chrono::floor<std::chrono::days>(instant)};
  return static_cast<int>(day.year());
}

std::optional<platform::Date> pivotedDate(std::string_view text, bool isExpiryDate,
                                          const platform::DateFormatter& dateFormatter,
                                          const MRZClock& clock) {
  if (text.size() != 6) return std::nullopt;
  for (char c : text) {
    if (!isAsciiDigit(c)) return std::nullopt;
  }
  const auto year = currentGregorianYear(clock);
  if (!year) return std::nullopt;
  const int century = *year / 100;
  const int yearInCentury = *year - century * 100;
  const int yy = (text[0] - '0') * 10 + (text[1] - '0');
  const bool sameCentury = isExpiryDate ? yy < yearInCentury + 50 : yy <= yearInCentury;
  const int fullYear = (sameCentury ? century : century - 1) * 100 + yy;
  if (fullYear < 0 || fullYear > 9999) return std::nullopt;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d", fullYear);
  std::string full(buffer);
  full.append(text.substr(2));
  return dateFormatter.date(full);
}

template <class... Fields>
std::string compositeText(const Fields&... fields) requires(ValidatedFieldProtocol<Fields>&&...) {
  std::string text;
  ((text += fields.rawValue, text += fields.checkDigit), ...);
  return text;
}

}  // namespace

std::string replaceLettersWithDigits(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    switch (c) {
      case 'O':
      case 'Q':
      case 'U':
      case 'D':
        c = '0';
        break;
      case 'I':
        c = '1';
        break;
      case 'Z':
        c = '2';
        break;
      case 'B':
        c = '8';
        break;
      default:
        break;
    }
  }
  return out;
}

std::string replaceDigitsWithLetters(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    switch (c) {
      case '0':
        c = 'O';
        break;
      case '1':
        c = 'I';
        break;
      case '2':
        c = 'Z';
        break;
      case '8':
        c = 'B';
        break;
      default:
        break;
    }
  }
  return out;
}

std::string correctOCR(std::string_view text, MRZFieldType fieldType) {
  std::string upper = asciiUppercased(text);
  switch (fieldType) {
    case MRZFieldType::documentType:
    case MRZFieldType::countryCode:
    case MRZFieldType::names:
    case MRZFieldType::nationality:
      return replaceDigitsWithLetters(upper);
    case MRZFieldType::birthdate:
    case MRZFieldType::expiryDate:
    case MRZFieldType::checkDigit:
      return replaceLettersWithDigits(upper);
    case MRZFieldType::sex:
      for (char& c : upper) {
        if (c == 'P') c = 'F';
      }
      return upper;
    case MRZFieldType::documentNumber:
    case MRZFieldType::optionalData:
      return upper;
  }
  return upper;
}

std::string mrzFieldText(std::string_view text) {
  const auto first = text.find_first_not_of('<');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of('<');
  std::string out(text.substr(first, last - first + 1));
  for (char& c : out) {
    if (c == '<') c = ' ';
  }
  return out;
}

MRZNames mrzNames(std::string_view text) {
  const auto first = text.find_first_not_of('<');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of('<');
  const std::string_view trimmed = text.substr(first, last - first + 1);

  auto piece = [](std::string_view part) {
    std::string out(part);
    for (char& c : out) {
      if (c == '<') c = ' ';
    }
    return out;
  };
  const auto split = trimmed.find("<<");
  if (split == std::string_view::npos) return {piece(trimmed), {}};
  const std::string_view rest = trimmed.substr(split + 2);
  return {piece(trimmed.substr(0, split)), piece(rest.substr(0, rest.find("<<")))};
}

ValidatedField<std::string> makeValidatedStringField(std::string_view line, std::size_t start,
                                                     std::size_t length, MRZFieldType fieldType,
                                                     bool isOCRCorrectionEnabled) {
  std::string raw = cutCharacters(line, start, length);
  std::string check = cutCharacters(line, start + length, 1);
  if (isOCRCorrectionEnabled) {
    raw = correctOCR(raw, fieldType);
    check = correctOCR(check, fieldType);
  }
  std::string value = mrzFieldText(raw);
  return {std::move(value), std::move(raw), std::move(check)};
}

ValidatedField<std::optional<platform::Date>> makeDateField(
    std::string_view line, std::size_t start, std::size_t length, bool isExpiryDate,
    bool isOCRCorrectionEnabled, const platform::DateFormatter& dateFormatter,
    const MRZClock& clock) {
  const auto fieldType = isExpiryDate ? MRZFieldType::expiryDate : MRZFieldType::birthdate;
  std::string raw = cutCharacters(line, start, length);
  std::string check = cutCharacters(line, start + length, 1);
  if (isOCRCorrectionEnabled) {
    raw = correctOCR(raw, fieldType);
    check = correctOCR(check, fieldType);
  }
  auto value =
      isExpiryDate ? expiryDate(raw, dateFormatter, clock) : birthdate(raw, dateFormatter, clock);
  return {value, std::move(raw), std::move(check)};
}

MRZNames makeNamesField(std::string_view line, std::size_t start, std::size_t length,
                        bool isOCRCorrectionEnabled) {
  std::string raw = cutCharacters(line, start, length);
  if (isOCRCorrectionEnabled) raw = correctOCR(raw, MRZFieldType::names);
  return mrzNames(raw);
}

std::optional<platform::Date> birthdate(std::string_view text,
                                        const platform::DateFormatter& dateFormatter,
                                        const MRZClock& clock) {
  return pivotedDate(text, false, dateFormatter, clock);
}

std::optional<platform::Date> expiryDate(std::string_view text,
                                         const platform::DateFormatter& dateFormatter,
                                         const MRZClock& clock) {
  return pivotedDate(text, true, dateFormatter, clock);
}

std::optional<int> computeCheckDigit(std::string_view text) {
  static constexpr int kWeights[3] = {7, 3, 1};
  int sum = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    int value = 0;
    if (isAsciiUpper(c)) {
      value = c - 'A' + 10;
    } else if (isAsciiDigit(c)) {
      value = c - '0';
    } else if (c != '<') {
      return std::nullopt;
    }
    sum = (sum + value * kWeights[i % 3]) % 10;
  }
  return sum;
}

bool isCheckDigitValid(std::string_view value, std::string_view checkDigit) {
  if (checkDigit.size() == 1 && isAsciiDigit(checkDigit[0])) {
    const auto computed = computeCheckDigit(value);
    return computed && *computed == checkDigit[0] - '0';
  }
  if (checkDigit == "<") return value.find_first_not_of('<') == std::string_view::npos;
  return false;
}

MRZCode::MRZCode(const std::vector<std::string>& lines, MRZFormat format,
                 bool isOCRCorrectionEnabled, const platform::DateFormatter& dateFormatter,
                 const MRZClock& clock)
    : format(format) {
  // Decided on the text as read: correction would turn nothing into "V", but upper-casing
  // could turn a misread "v" into one.
  const bool isVisa = format != MRZFormat::td1 && lineAt(lines, 0).substr(0, 1) == "V";
  const Layout layout = layoutFor(format, isVisa);
  const bool correct = isOCRCorrectionEnabled;

  auto plain = [&](Slot slot, MRZFieldType type) {
    std::string raw = cutCharacters(lineAt(lines, slot.line), slot.start, slot.length);
    if (correct) raw = correctOCR(raw, type);
    std::string value = mrzFieldText(raw);
    return MRZField{std::move(value), std::move(raw)};
  };
  auto validated = [&](Slot slot, MRZFieldType type) {
    return makeValidatedStringField(lineAt(lines, slot.line), slot.start, slot.length, type,
                                    correct);
  };
  auto date = [&](Slot slot, bool isExpiry) {
    return makeDateField(lineAt(lines, slot.line), slot.start, slot.length, isExpiry, correct,
                         dateFormatter, clock);
  };

  documentTypeField = plain(layout.documentType, MRZFieldType::documentType);
  countryCodeField = plain(layout.countryCode, MRZFieldType::countryCode);
  documentNumberField = validated(layout.documentNumber, MRZFieldType::documentNumber);
  birthdateField = date(layout.birthdate, false);
  sexField = plain(layout.sex, MRZFieldType::sex);
  expiryDateField = date(layout.expiryDate, true);
  nationalityField = plain(layout.nationality, MRZFieldType::nationality);
  optionalDataField = validated(layout.optionalData, MRZFieldType::optionalData);
  if (layout.optionalData2) {
    optionalData2Field = validated(*layout.optionalData2, MRZFieldType::optionalData);
    optionalData2Field->checkDigit.clear();
  }
  const auto& names = layout.names;
  namesField = makeNamesField(lineAt(lines, names.line), names.start, names.length, correct);
  if (layout.finalCheckDigit) {
    finalCheckDigit = cutCharacters(lineAt(lines, layout.finalCheckDigit->line),
                                    layout.finalCheckDigit->start, 1);
    if (correct) finalCheckDigit = correctOCR(finalCheckDigit, MRZFieldType::checkDigit);
  }
  // Only the TD3 passport's optional data carries a check digit of its own.
  if (format != MRZFormat::td3 || isVisa) optionalDataField.checkDigit.clear();
}

bool MRZCode::isValid() const {
  const bool fieldsValid =
      isCheckDigitValid(documentNumberField.rawValue, documentNumberField.checkDigit) &&
      isCheckDigitValid(birthdateField.rawValue, birthdateField.checkDigit) &&
      isCheckDigitValid(expiryDateField.rawValue, expiryDateField.checkDigit);
  if (!fieldsValid) return false;
  if (finalCheckDigit.empty()) return true;

  std::string composite;
  if (format == MRZFormat::td1) {
    const ValidatedField<std::string> noOptionalData2;
    composite = compositeText(documentNumberField, optionalDataField, birthdateField,
                              expiryDateField, optionalData2Field.value_or(noOptionalData2));
  } else {
    composite =
        compositeText(documentNumberField, birthdateField, expiryDateField, optionalDataField);
  }
  return isCheckDigitValid(composite, finalCheckDigit);
}

}  // namespace ostrel
