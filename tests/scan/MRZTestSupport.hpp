#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/foundation/Date.hpp"
#include "scan/MRZCode.hpp"

namespace ostrel::mrz_test {

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

}  // namespace ostrel::mrz_test
