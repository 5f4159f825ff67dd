#pragma once

// Serves a card (a function from command APDU to answer) to pcscd's virtual reader driver,
// vsmartcard-vpcd, so that the PC/SC path can be exercised without hardware.
//
// vpcd listens on 127.0.0.1 (port 35963 for "Virtual PCD 00 00", 35964 for "... 00 01") and
// the card connects to it. Every message is a 2-byte big-endian length followed by the
// payload; a 1-byte payload is a control code (0 power off, 1 power on, 2 reset, 4 send the
// ATR, the only one answered); anything longer is a command APDU, answered with data + SW.
//
// vpcd writes the length and the body in two sends, which with Nagle on one side and delayed
// ACKs on the other costs about 45 ms per APDU; TCP_QUICKACK before each read, TCP_NODELAY
// and one write per message bring it down to a fraction of a millisecond.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/foundation/Bytes.hpp"
#include "testing/SimulatedChip.hpp"

namespace ostrel::testing {

class VirtualCardAdapter {
 public:
  static constexpr std::uint16_t kFirstReaderPort = 35963;
  // T=1, no historical bytes.
  static platform::Bytes defaultATR() { return {0x3B, 0x80, 0x80, 0x01, 0x01}; }

  // `card` gets the command bytes and returns the answer with its status words; it runs on the
  // adapter's own thread. `onReset` runs there too, on power off and reset.
  explicit VirtualCardAdapter(std::function<platform::Bytes(const platform::Bytes&)> card,
                              std::uint16_t port = kFirstReaderPort,
                              platform::Bytes atr = defaultATR(),
                              std::function<void()> onReset = {});
  ~VirtualCardAdapter();
  VirtualCardAdapter(const VirtualCardAdapter&) = delete;
  VirtualCardAdapter& operator=(const VirtualCardAdapter&) = delete;

  // Connects to vpcd (retrying for up to `timeoutSeconds` of real time while pcscd starts) and
  // starts serving. False, with the reason in `lastError`, when vpcd cannot be reached.
  bool start(double timeoutSeconds = 5);
  // Takes the card out of the reader: closes the connection and waits for the thread.
  void stop();

  std::size_t commandCount() const { return commands_; }
  std::string lastError() const;

 private:
  void serve(int socket);

  std::function<platform::Bytes(const platform::Bytes&)> card_;
  std::uint16_t port_;
  platform::Bytes atr_;
  std::function<void()> onReset_;
  std::atomic<int> socket_{-1};
  std::thread thread_;
  std::atomic<std::size_t> commands_{0};
  mutable std::mutex mutex_;
  std::string lastError_;
};

// The simulated chip as a card behind vpcd. A dropped link or a stalled answer, which a socket
// cannot show per command, answers 6F 00.
std::function<platform::Bytes(const platform::Bytes&)> cardOf(std::shared_ptr<SimulatedChip> chip);

}  // namespace ostrel::testing
