#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "core/OSLConfig.hpp"
#include "core/OSLLogLevel.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/foundation/Bytes.hpp"
#include "platform/foundation/JSON.hpp"

namespace ostrel::testing {

// Bytes written in hex in a test (either case, spaces ignored). Text that is not hex fails the
// test and gives no bytes.
inline platform::Bytes hex(std::string_view text) {
  auto bytes = platform::crypto::bytesFromHex(text);
  if (!bytes) {
    ADD_FAILURE() << "not hex: " << text;
    return {};
  }
  return *bytes;
}

// Bytes as lower-case hex, for comparing and printing.
inline std::string hex(platform::ByteSpan bytes) {
  return platform::crypto::hexString(bytes);
}

// One call of the host's log handler.
struct LoggedEvent {
  OSLLogLevel level;
  std::string event;
  std::string screen;
  platform::JSON data;
};
using LogRecord = std::shared_ptr<std::vector<LoggedEvent>>;

// Gives `config` a log handler that records every call, and returns the record.
LogRecord recordLog(OSLConfig& config);
// The event names of a record, in order.
std::vector<std::string> eventNames(const LogRecord& record);

// A language dictionary that maps every key to "[key]", so a test sees which key a text
// came from.
platform::JSON bracketedDictionary(const std::vector<std::string>& keys);
// The keys the UI kit itself shows (alerts, loading, guide sheets, tutorial button).
std::vector<std::string> uiKitLocalizationKeys();

}  // namespace ostrel::testing
