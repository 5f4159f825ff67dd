#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Date.hpp"

namespace ostrel::platform {

// Dates written and read with an explicit pattern ("dd/MM/yyyy", "yyMMdd", ...) in a named
// time zone. Parsing is strict: the whole text must match and every field must be valid, so
// "31/02/1990" and "25.12.1990" do not parse with "dd/MM/yyyy". Safe to share across threads.
class DateFormatter {
 public:
  static constexpr const char* kLibraryTimeZone = "Asia/Ho_Chi_Minh";

  explicit DateFormatter(std::string pattern, std::string timeZone = kLibraryTimeZone,
                         std::string locale = "en_US_POSIX");
  ~DateFormatter();
  DateFormatter(const DateFormatter&) = delete;
  DateFormatter& operator=(const DateFormatter&) = delete;

  bool isValid() const { return format_ != nullptr; }
  std::string string(Date date) const;
  std::optional<Date> date(std::string_view text) const;

  // Years written with two digits ("yy") are read within the hundred years that start here.
  void setTwoDigitStartDate(Date start);

 private:
  std::string pattern_;
  mutable std::mutex mutex_;
  struct Format;
  std::unique_ptr<Format> format_;
};

}  // namespace ostrel::platform
