#pragma once

#include <compare>

namespace ostrel::platform {

// Seconds, as the library's timers, time-outs and delays are expressed.
using TimeInterval = double;

// A point in wall-clock time, seconds since 1970-01-01T00:00:00Z.
struct Date {
  double timeIntervalSince1970 = 0;

  Date addingTimeInterval(TimeInterval seconds) const { return {timeIntervalSince1970 + seconds}; }
  TimeInterval timeIntervalSince(Date other) const {
    return timeIntervalSince1970 - other.timeIntervalSince1970;
  }
  auto operator<=>(const Date&) const = default;
};

}  // namespace ostrel::platform
