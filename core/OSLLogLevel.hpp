#pragma once

#include <optional>

namespace ostrel {

// Levels handed to the host's log handler, with the raw values the host sees.
enum class OSLLogLevel : int { debug = 1, info = 2, warning = 3, error = 4 };

inline std::optional<OSLLogLevel> logLevelFromRaw(int raw) {
  if (raw < 1 || raw > 4) return std::nullopt;
  return static_cast<OSLLogLevel>(raw);
}

inline const char* name(OSLLogLevel level) {
  switch (level) {
    case OSLLogLevel::debug:
      return "DEBUG";
    case OSLLogLevel::info:
      return "INFO";
    case OSLLogLevel::warning:
      return "WARNING";
    case OSLLogLevel::error:
      return "ERROR";
  }
  return "";
}

}  // namespace ostrel
