#pragma once

// Machine-readable zones for tests: the ICAO 9303 specimens, a check-digit function written
// independently of the library's, and builders of TD1 and TD3 zones whose check digits (the
// composite one included) are all computed here.

#include <chrono>
#include <string>
#include <vector>

#include "platform/foundation/Date.hpp"
#include "scan/MRZCode.hpp"

namespace ostrel::testing {

// ICAO 9303 specimens.
inline const std::vector<std::string> kTD3Passport = {
    "P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<", "L898902C36UTO7408122F1204159ZE184226B<<<<<10"};
inline const std::vector<std::string> kTD3PassportEarlier = {
    "P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<", "L898902C<3UTO6908061F9406236ZE184226B<<<<<14"};
inline const std::vector<std::string> kTD1Card = {"I<UTOD231458907<<<<<<<<<<<<<<<",
                                                  "7408122F1204159UTO<<<<<<<<<<<6",
                                                  "ERIKSSON<<ANNA<MARIA<<<<<<<<<<"};
inline const std::vector<std::string> kTD1LongNumber = {"I<UTOD23145890<7349<<<<<<<<<<<",
                                                        "3407127M9507122UTO<<<<<<<<<<<2",
                                                        "STEVENSON<<PETER<JOHN<<<<<<<<<"};
inline const std::vector<std::string> kTD2Card = {"I<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<",
                                                  "D231458907UTO7408122F1204159<<<<<<<6"};
inline const std::vector<std::string> kTD3Visa = {"V<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                                                  "L8988901C4XXX4009078F96121096ZE184226B<<<<<<"};
inline const std::vector<std::string> kTD2Visa = {"V<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<",
                                                  "L8988901C4XXX4009078F9612109<<<<<<<<"};

// Midnight UTC of a Gregorian day.
inline platform::Date utcDate(int year, unsigned month, unsigned day) {
  const std::chrono::sys_days days{std::chrono::year{year} / std::chrono::month{month} /
                                   std::chrono::day{day}};
  return platform::Date{static_cast<double>(days.time_since_epoch().count()) * 86400.0};
}

// A clock pinned to the middle of `year`.
inline MRZClock clockInYear(int year) {
  return [year] { return utcDate(year, 7, 1); };
}

// Check digit computed here, independently of the code under test.
inline char checkDigitOf(const std::string& text) {
  const int weights[3] = {7, 3, 1};
  int sum = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const int value = c == '<' ? 0 : (c >= 'A' && c <= 'Z') ? c - 'A' + 10 : c - '0';
    sum += value * weights[i % 3];
  }
  return static_cast<char>('0' + sum % 10);
}

// `text` cut or padded with "<" to exactly `size` characters.
inline std::string mrzField(std::string text, std::size_t size) {
  text.resize(size, '<');
  return text;
}

// Line 2 of a TD3 passport with every check digit recomputed.
inline std::string td3Line2(const std::string& number9, const std::string& nationality,
                            const std::string& birth, char sex, const std::string& expiry,
                            const std::string& optional14) {
  std::string line = number9 + checkDigitOf(number9) + nationality + birth + checkDigitOf(birth) +
                     sex + expiry + checkDigitOf(expiry) + optional14 + checkDigitOf(optional14);
  const std::string composite = line.substr(0, 10) + line.substr(13, 7) + line.substr(21, 22);
  return line + checkDigitOf(composite);
}

// Line 2 of a TD1 card, check digits recomputed against the given line 1.
inline std::string td1Line2(const std::string& line1, const std::string& birth, char sex,
                            const std::string& expiry, const std::string& nationality,
                            const std::string& optional11) {
  std::string line =
      birth + checkDigitOf(birth) + sex + expiry + checkDigitOf(expiry) + nationality + optional11;
  const std::string composite =
      line1.substr(5, 25) + line.substr(0, 7) + line.substr(8, 7) + line.substr(18, 11);
  return line + checkDigitOf(composite);
}

// The printed contents of a zone. Texts are in MRZ characters already ("<" for blanks); every
// field is cut or padded to its width, so short or odd values still give lines of the right
// length.
struct MRZFields {
  std::string documentCode;    // "ID", "I<", "P<"
  std::string issuingState;    // three letters
  std::string documentNumber;  // up to nine characters
  std::string optionalData;    // TD1: line 1 after the number's check digit; TD3: personal number
  std::string birth;           // YYMMDD
  char sex = '<';
  std::string expiry;  // YYMMDD
  std::string nationality;
  std::string optionalData2;  // TD1 only: line 2 after the nationality
  std::string names;          // "SURNAME<<GIVEN<NAMES"
};

// Three lines of 30: number check digit, date check digits and the composite computed here.
inline std::vector<std::string> td1Zone(const MRZFields& f) {
  const std::string number = mrzField(f.documentNumber, 9);
  const std::string line1 = mrzField(mrzField(f.documentCode, 2) + mrzField(f.issuingState, 3) +
                                         number + checkDigitOf(number) + f.optionalData,
                                     30);
  return {line1,
          td1Line2(line1, mrzField(f.birth, 6), f.sex, mrzField(f.expiry, 6),
                   mrzField(f.nationality, 3), mrzField(f.optionalData2, 11)),
          mrzField(f.names, 30)};
}

// Two lines of 44: every check digit, the personal number's and the composite included.
inline std::vector<std::string> td3Zone(const MRZFields& f) {
  return {mrzField(mrzField(f.documentCode, 2) + mrzField(f.issuingState, 3) + f.names, 44),
          td3Line2(mrzField(f.documentNumber, 9), mrzField(f.nationality, 3), mrzField(f.birth, 6),
                   f.sex, mrzField(f.expiry, 6), mrzField(f.optionalData, 14))};
}

// The lines one after the other, as a chip's DG1 holds them.
inline std::string joinedZone(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line;
  return text;
}

// The lines separated by line feeds, as the server and the scanners hand a zone over.
inline std::string zoneText(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

// The zone with one character changed, as a misread would give it.
inline std::string zoneWithCharacterAt(std::string zone, std::size_t place, char c) {
  zone[place] = c;
  return zone;
}

// `line` as a recogniser reads it under glare: blank places over [from, to).
inline std::string washedOut(std::string line, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to && i < line.size(); ++i) line[i] = ' ';
  return line;
}

}  // namespace ostrel::testing
