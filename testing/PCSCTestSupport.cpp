#include "testing/PCSCTestSupport.hpp"

#include <winscard.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/nfc/PCSCReaderBackend.hpp"

namespace ostrel::testing {

std::string virtualReaderName(int index) {
  return std::string(kVirtualReaderName) + " 00 0" + std::to_string(index);
}

std::optional<std::string> virtualReadersUnavailableReason() {
  platform::PCSCReaderBackend backend(kVirtualReaderName);
  std::string error;
  auto names = backend.readerNames(&error);
  if (names.empty()) {
    return error.empty() ? std::string("pcscd lists no vpcd reader") : error;
  }
  return std::nullopt;
}

bool pcscRequired() {
  const char* value = std::getenv("OSTREL_REQUIRE_PCSC");
  return value && std::string(value) == "1";
}

bool waitForCardPresence(const std::string& reader, bool present, double timeoutSeconds) {
  SCARDCONTEXT context = 0;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
    return false;
  }
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  bool reached = false;
  SCARD_READERSTATE state{};
  state.szReader = reader.c_str();
  state.dwCurrentState = SCARD_STATE_UNAWARE;
  while (std::chrono::steady_clock::now() < deadline) {
    LONG rv = SCardGetStatusChange(context, 100, &state, 1);
    if (rv == SCARD_S_SUCCESS) {
      const bool has = (state.dwEventState & SCARD_STATE_PRESENT) != 0;
      if (has == present) {
        reached = true;
        break;
      }
      state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
    } else if (rv != SCARD_E_TIMEOUT) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  SCardReleaseContext(context);
  return reached;
}

VirtualReaderLock::VirtualReaderLock() {
  fd_ = open("/tmp/ostrel-vpcd.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ >= 0) {
    while (flock(fd_, LOCK_EX) != 0) {
    }
  }
}

VirtualReaderLock::~VirtualReaderLock() {
  if (fd_ >= 0) {
    flock(fd_, LOCK_UN);
    close(fd_);
  }
}

}  // namespace ostrel::testing
