#include "testing/VirtualCardAdapter.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace ostrel::testing {

using platform::Bytes;

namespace {

bool readExactly(int fd, std::uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    // Delayed ACKs come back after every read; without this each APDU waits for the timer.
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    ssize_t n = recv(fd, out + done, size - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool writeMessage(int fd, const Bytes& payload) {
  if (payload.size() > 0xFFFF) return false;
  // Header and body in one write, so that Nagle never holds the body back.
  Bytes message;
  message.reserve(payload.size() + 2);
  message.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
  message.push_back(static_cast<std::uint8_t>(payload.size() & 0xFF));
  message.insert(message.end(), payload.begin(), payload.end());
  std::size_t done = 0;
  while (done < message.size()) {
    ssize_t n = send(fd, message.data() + done, message.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

VirtualCardAdapter::VirtualCardAdapter(std::function<Bytes(const Bytes&)> card, std::uint16_t port,
                                       Bytes atr, std::function<void()> onReset)
    : card_(std::move(card)), port_(port), atr_(std::move(atr)), onReset_(std::move(onReset)) {}

VirtualCardAdapter::VirtualCardAdapter(const std::shared_ptr<SimulatedChip>& chip,
                                       std::uint16_t port, Bytes atr)
    : VirtualCardAdapter(cardOf(chip), port, std::move(atr), [chip] { chip->reset(); }) {}

VirtualCardAdapter::~VirtualCardAdapter() {
  stop();
}

std::string VirtualCardAdapter::lastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

bool VirtualCardAdapter::start(double timeoutSeconds) {
  if (thread_.joinable()) return true;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port_);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  for (;;) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      std::lock_guard lock(mutex_);
      lastError_ = std::string("socket: ") + std::strerror(errno);
      return false;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      socket_ = fd;
      thread_ = std::thread([this, fd] { serve(fd); });
      return true;
    }
    const int err = errno;
    close(fd);
    if (std::chrono::steady_clock::now() >= deadline) {
      std::lock_guard lock(mutex_);
      lastError_ = "vpcd does not listen on 127.0.0.1:" + std::to_string(port_) + " (" +
                   std::strerror(err) + "); is pcscd with the vpcd driver running?";
      return false;
    }
    // Real waiting is the point here: pcscd is a separate process that is still starting.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void VirtualCardAdapter::stop() {
  int fd = socket_.exchange(-1);
  if (fd >= 0) shutdown(fd, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  if (fd >= 0) close(fd);
}

void VirtualCardAdapter::pullOut() {
  const int fd = socket_.load();
  if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

void VirtualCardAdapter::serve(int fd) {
  Bytes payload;
  for (;;) {
    std::uint8_t header[2];
    if (!readExactly(fd, header, 2)) return;
    const std::size_t length = (std::size_t{header[0]} << 8) | header[1];
    payload.assign(length, 0);
    if (length > 0 && !readExactly(fd, payload.data(), length)) return;
    if (length == 1) {
      switch (payload[0]) {
        case 0x04:
          if (!writeMessage(fd, atr_)) return;
          break;
        case 0x00:
        case 0x01:
        case 0x02:
          if (onReset_) onReset_();
          break;
        default:
          break;
      }
      continue;
    }
    if (length == 0) continue;
    ++commands_;
    Bytes answer = card_ ? card_(payload) : Bytes{0x6F, 0x00};
    if (answer.size() < 2) answer = {0x6F, 0x00};
    if (!writeMessage(fd, answer)) return;
  }
}

std::function<Bytes(const Bytes&)> cardOf(std::shared_ptr<SimulatedChip> chip) {
  return [chip = std::move(chip)](const Bytes& command) {
    auto answer = chip->process(command);
    if (!answer || answer->error) return Bytes{0x6F, 0x00};
    Bytes bytes = std::move(answer->data);
    bytes.push_back(answer->sw1);
    bytes.push_back(answer->sw2);
    return bytes;
  };
}

}  // namespace ostrel::testing
