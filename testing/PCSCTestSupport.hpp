#pragma once

// What PC/SC tests and benchmarks need around pcscd and vpcd.
//
// pcscd is started by scripts/test (see scripts/with-pcscd). When it is not running, PC/SC tests
// skip with the reason; when the script says it started pcscd (OSTREL_REQUIRE_PCSC=1), an
// unreachable pcscd is a failure instead, so a broken set-up is never reported as a pass.

#include <optional>
#include <string>

#include "platform/foundation/Date.hpp"

namespace ostrel::testing {

// The vpcd readers, in the order of their ports (35963, 35964).
inline constexpr const char* kVirtualReaderName = "Virtual PCD";
std::string virtualReaderName(int index);

// Why the vpcd readers cannot be used now; nothing when they can.
std::optional<std::string> virtualReadersUnavailableReason();
// Whether scripts/test promised a running pcscd.
bool pcscRequired();

// Waits (real time) until the reader shows a card or no card.
bool waitForCardPresence(const std::string& reader, bool present, double timeoutSeconds = 5);

// Only one test at a time can own vpcd's ports; ctest runs tests side by side, so each PC/SC
// test holds this host-wide lock (a file lock under /tmp) while it uses them.
class VirtualReaderLock {
 public:
  VirtualReaderLock();
  ~VirtualReaderLock();
  VirtualReaderLock(const VirtualReaderLock&) = delete;
  VirtualReaderLock& operator=(const VirtualReaderLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace ostrel::testing

// Skips the test (or fails it when pcscd was promised) unless the vpcd readers can be used.
#define OSTREL_REQUIRE_VIRTUAL_READERS()                                                         \
  do {                                                                                           \
    if (auto reason = ::ostrel::testing::virtualReadersUnavailableReason()) {                    \
      if (::ostrel::testing::pcscRequired()) {                                                   \
        FAIL() << "pcscd was started for this run but cannot be used: " << *reason;              \
      }                                                                                          \
      GTEST_SKIP() << "PC/SC test skipped: " << *reason                                          \
                   << " (run scripts/test, or start `pcscd --foreground` with vsmartcard-vpcd)"; \
    }                                                                                            \
  } while (0)
