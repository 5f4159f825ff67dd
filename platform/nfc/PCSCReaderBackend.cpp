#include "platform/nfc/PCSCReaderBackend.hpp"

#include <winscard.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::platform {

namespace {

// How long one wait for a reader change lasts before the monitor checks whether to stop.
constexpr DWORD kStatusWaitMilliseconds = 250;
// A card that keeps answering 61 xx is not allowed to keep the session queue forever.
constexpr int kMaxGetResponseRounds = 64;
// After a failed exchange, how long pcscd may take to notice that the card has left the reader
// (it polls a reader's driver a few times a second).
constexpr DWORD kRemovalNoticeMilliseconds = 1500;

std::string describe(LONG rv) {
  return pcsc_stringify_error(rv);
}

NFCReaderError::Code transceiveCode(LONG rv) {
  switch (rv) {
    case SCARD_W_REMOVED_CARD:
    case SCARD_E_NO_SMARTCARD:
    case SCARD_W_RESET_CARD:
      return NFCReaderError::readerTransceiveErrorTagConnectionLost;
    default:
      return NFCReaderError::readerTransceiveErrorTagResponseError;
  }
}

bool meansCardGone(LONG rv) {
  return rv == SCARD_W_REMOVED_CARD || rv == SCARD_E_NO_SMARTCARD ||
         rv == SCARD_E_READER_UNAVAILABLE || rv == SCARD_E_UNKNOWN_READER;
}

std::vector<std::string> listReaders(SCARDCONTEXT context, const std::string& filter,
                                     LONG* status) {
  std::vector<std::string> names;
  DWORD size = 0;
  LONG rv = SCardListReaders(context, nullptr, nullptr, &size);
  if (rv == SCARD_S_SUCCESS && size > 0) {
    std::string buffer(size, '\0');
    rv = SCardListReaders(context, nullptr, buffer.data(), &size);
    if (rv == SCARD_S_SUCCESS) {
      // A multi-string: names separated by NUL, ended by an empty name.
      std::size_t pos = 0;
      while (pos < buffer.size() && buffer[pos] != '\0') {
        std::string name(buffer.c_str() + pos);
        pos += name.size() + 1;
        if (filter.empty() || name.find(filter) != std::string::npos) names.push_back(name);
      }
    }
  }
  if (rv == SCARD_E_NO_READERS_AVAILABLE) rv = SCARD_S_SUCCESS;
  if (status) *status = rv;
  return names;
}

class PCSCTag : public NFCISO7816Tag {
 public:
  PCSCTag(std::shared_ptr<DispatchQueue> queue, std::string reader, SCARDCONTEXT context,
          SCARDHANDLE card, DWORD protocol)
      : NFCISO7816Tag(std::move(queue)),
        reader_(std::move(reader)),
        context_(context),
        card_(card),
        protocol_(protocol) {}

  ~PCSCTag() override { release(); }

  const std::string& reader() const { return reader_; }

  // Lets go of the card; later commands fail as after the end of the session. The card is
  // powered down as a phone drops its field when a session ends: a chip left powered would still
  // hold the session's secure messaging, refuse the next session's plain SELECT and never be
  // readable again until it left the reader.
  void release() {
    std::lock_guard lock(cardMutex_);
    if (card_) {
      SCardDisconnect(card_, SCARD_UNPOWER_CARD);
      card_ = 0;
    }
    if (context_) {
      SCardReleaseContext(context_);
      context_ = 0;
    }
  }

  std::optional<NFCReaderError> checkPresent() {
    std::lock_guard lock(cardMutex_);
    if (!card_) {
      return NFCReaderError::make(NFCReaderError::readerTransceiveErrorSessionInvalidated);
    }
    DWORD state = 0;
    DWORD protocol = 0;
    DWORD atrLength = MAX_ATR_SIZE;
    BYTE atr[MAX_ATR_SIZE];
    LONG rv = SCardStatus(card_, nullptr, nullptr, &state, &protocol, atr, &atrLength);
    if (rv != SCARD_S_SUCCESS) return NFCReaderError::make(transceiveCode(rv));
    return std::nullopt;
  }

 protected:
  void transmit(const Bytes& command, std::function<void(NFCTransmission)> reply) override {
    reply(exchangeWithGetResponse(command));
  }

 private:
  // After a failed exchange: whether the card has left the reader. A card pulled away in the
  // middle of a command makes SCardTransmit fail with whatever the driver saw (vpcd gives
  // SCARD_E_NOT_TRANSACTED); only pcscd's view of the reader tells a lost card from a card
  // that answered badly. The caller holds cardMutex_.
  bool cardGone() {
    DWORD state = 0;
    DWORD protocol = 0;
    DWORD atrLength = MAX_ATR_SIZE;
    BYTE atr[MAX_ATR_SIZE];
    LONG rv = SCardStatus(card_, nullptr, nullptr, &state, &protocol, atr, &atrLength);
    if (meansCardGone(rv)) return true;
    if (rv == SCARD_S_SUCCESS && (state & SCARD_ABSENT)) return true;
    // pcscd may not have polled the reader since the card went: wait a little for it to.
    SCARD_READERSTATE reader{};
    reader.szReader = reader_.c_str();
    reader.dwCurrentState = SCARD_STATE_UNAWARE;
    rv = SCardGetStatusChange(context_, 0, &reader, 1);
    if (rv != SCARD_S_SUCCESS) return meansCardGone(rv);
    // The upper half of the state counts card events: any change means this card went.
    const DWORD first = reader.dwEventState & ~SCARD_STATE_CHANGED;
    if (first & (SCARD_STATE_EMPTY | SCARD_STATE_UNAVAILABLE)) return true;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(kRemovalNoticeMilliseconds);
    reader.dwCurrentState = first;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      rv = SCardGetStatusChange(context_, static_cast<DWORD>(left.count()), &reader, 1);
      if (rv == SCARD_E_TIMEOUT) return false;
      if (rv != SCARD_S_SUCCESS) return meansCardGone(rv);
      const DWORD now = reader.dwEventState & ~SCARD_STATE_CHANGED;
      if ((now & (SCARD_STATE_EMPTY | SCARD_STATE_UNAVAILABLE)) || (now >> 16) != (first >> 16)) {
        return true;
      }
      reader.dwCurrentState = now;
    }
  }

  LONG exchange(const Bytes& command, Bytes& response) {
    const SCARD_IO_REQUEST* pci = protocol_ == SCARD_PROTOCOL_T0   ? SCARD_PCI_T0
                                  : protocol_ == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1
                                                                   : SCARD_PCI_RAW;
    response.assign(MAX_BUFFER_SIZE_EXTENDED, 0);
    DWORD length = static_cast<DWORD>(response.size());
    LONG rv = SCardTransmit(card_, pci, command.data(), static_cast<DWORD>(command.size()), nullptr,
                            response.data(), &length);
    response.resize(rv == SCARD_S_SUCCESS ? length : 0);
    return rv;
  }

  NFCTransmission exchangeWithGetResponse(const Bytes& command) {
    std::lock_guard lock(cardMutex_);
    if (!card_) {
      return NFCTransmission::failure(NFCReaderError::readerTransceiveErrorSessionInvalidated);
    }
    Bytes data;
    Bytes response;
    Bytes next = command;
    for (int round = 0;; ++round) {
      LONG rv = exchange(next, response);
      if (rv != SCARD_S_SUCCESS) {
        if (transceiveCode(rv) != NFCReaderError::readerTransceiveErrorTagConnectionLost &&
            cardGone()) {
          return NFCTransmission::failure(NFCReaderError::readerTransceiveErrorTagConnectionLost);
        }
        return NFCTransmission::failure(transceiveCode(rv));
      }
      if (response.size() < 2) {
        return NFCTransmission::failure(NFCReaderError::readerTransceiveErrorTagResponseError);
      }
      const std::uint8_t sw1 = response[response.size() - 2];
      const std::uint8_t sw2 = response[response.size() - 1];
      data.insert(data.end(), response.begin(), response.end() - 2);
      if (sw1 != 0x61) return NFCTransmission::answer(std::move(data), sw1, sw2);
      if (round >= kMaxGetResponseRounds) {
        return NFCTransmission::failure(NFCReaderError::readerTransceiveErrorTagResponseError);
      }
      // GET RESPONSE for the bytes the card still holds (00 means 256).
      next = Bytes{0x00, 0xC0, 0x00, 0x00, sw2};
    }
  }

  std::mutex cardMutex_;
  const std::string reader_;
  SCARDCONTEXT context_;
  SCARDHANDLE card_;
  DWORD protocol_;
};

class PCSCTagSource : public NFCTagSource, public std::enable_shared_from_this<PCSCTagSource> {
 public:
  PCSCTagSource(std::shared_ptr<DispatchQueue> queue, std::string filter)
      : queue_(std::move(queue)), filter_(std::move(filter)) {}
  ~PCSCTagSource() override { stop(); }

  void start(Events events) override {
    std::lock_guard lock(mutex_);
    if (started_) return;
    started_ = true;
    events_ = std::move(events);
    monitor_ = std::thread([this] { monitor(); });
  }

  void connect(const std::shared_ptr<NFCTag>& tag,
               std::function<void(std::optional<NFCReaderError>)> done) override {
    auto card = std::dynamic_pointer_cast<PCSCTag>(tag);
    if (!card) {
      done(NFCReaderError::make(NFCReaderError::readerTransceiveErrorTagNotConnected));
      return;
    }
    done(card->checkPresent());
  }

  void stop() override {
    std::thread monitor;
    std::vector<std::weak_ptr<PCSCTag>> tags;
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      if (monitorContext_) SCardCancel(monitorContext_);
      monitor = std::move(monitor_);
      tags = std::move(tags_);
    }
    wake_.notify_all();
    if (monitor.joinable()) monitor.join();
    for (auto& weak : tags) {
      if (auto tag = weak.lock()) tag->release();
    }
  }

 private:
  bool stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
  }

  void fail(NFCReaderError::Code code) {
    std::function<void(NFCReaderError::Code)> failed;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      failed = events_.failed;
    }
    if (failed) failed(code);
  }

  void pause() {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(kStatusWaitMilliseconds),
                   [this] { return stopping_; });
  }

  std::shared_ptr<PCSCTag> connectCard(const std::string& reader) {
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
      return nullptr;
    }
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    LONG rv = SCardConnect(context, reader.c_str(), SCARD_SHARE_EXCLUSIVE,
                           SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol);
    if (rv != SCARD_S_SUCCESS) {
      SCardReleaseContext(context);
      return nullptr;
    }
    return std::make_shared<PCSCTag>(queue_, reader, context, card, protocol);
  }

  void monitor() {
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS) {
      fail(NFCReaderError::readerSessionInvalidationErrorSessionTerminatedUnexpectedly);
      return;
    }
    {
      std::lock_guard lock(mutex_);
      monitorContext_ = context;
    }
    std::map<std::string, DWORD> known;
    while (!stopping()) {
      LONG rv = SCARD_S_SUCCESS;
      auto readers = listReaders(context, filter_, &rv);
      if (rv == SCARD_E_NO_SERVICE || rv == SCARD_E_INVALID_HANDLE) {
        fail(NFCReaderError::readerSessionInvalidationErrorSessionTerminatedUnexpectedly);
        break;
      }
      if (readers.empty()) {
        pause();
        continue;
      }
      std::vector<SCARD_READERSTATE> states(readers.size());
      for (std::size_t i = 0; i < readers.size(); ++i) {
        states[i] = {};
        states[i].szReader = readers[i].c_str();
        auto it = known.find(readers[i]);
        states[i].dwCurrentState = it == known.end() ? SCARD_STATE_UNAWARE : it->second;
      }
      rv = SCardGetStatusChange(context, kStatusWaitMilliseconds, states.data(),
                                static_cast<DWORD>(states.size()));
      if (rv == SCARD_E_TIMEOUT || rv == SCARD_E_CANCELLED) continue;
      if (rv == SCARD_E_NO_SERVICE || rv == SCARD_E_INVALID_HANDLE) {
        fail(NFCReaderError::readerSessionInvalidationErrorSessionTerminatedUnexpectedly);
        break;
      }
      if (rv != SCARD_S_SUCCESS) {
        // A reader came or went while we were listing: list again.
        pause();
        continue;
      }
      std::vector<std::shared_ptr<NFCTag>> arrived;
      for (std::size_t i = 0; i < readers.size(); ++i) {
        const DWORD now = states[i].dwEventState & ~SCARD_STATE_CHANGED;
        const DWORD before = states[i].dwCurrentState;
        known[readers[i]] = now;
        const bool present = (now & SCARD_STATE_PRESENT) && !(now & SCARD_STATE_MUTE);
        const bool wasPresent = before != SCARD_STATE_UNAWARE && (before & SCARD_STATE_PRESENT);
        if (!present || wasPresent) continue;
        if (auto tag = connectCard(readers[i])) {
          arrived.push_back(tag);
          std::lock_guard lock(mutex_);
          tags_.push_back(tag);
        }
      }
      if (!arrived.empty()) {
        std::function<void(std::vector<std::shared_ptr<NFCTag>>)> detected;
        {
          std::lock_guard lock(mutex_);
          if (stopping_) break;
          detected = events_.detected;
        }
        if (detected) detected(std::move(arrived));
      }
    }
    {
      std::lock_guard lock(mutex_);
      monitorContext_ = 0;
    }
    SCardReleaseContext(context);
  }

  const std::shared_ptr<DispatchQueue> queue_;
  const std::string filter_;
  std::mutex mutex_;
  std::condition_variable wake_;
  Events events_;
  bool started_ = false;
  bool stopping_ = false;
  SCARDCONTEXT monitorContext_ = 0;
  std::thread monitor_;
  std::vector<std::weak_ptr<PCSCTag>> tags_;
};

}  // namespace

PCSCReaderBackend::PCSCReaderBackend(std::string readerNameFilter)
    : filter_(std::move(readerNameFilter)) {}

std::vector<std::string> PCSCReaderBackend::readerNames(std::string* error) const {
  SCARDCONTEXT context = 0;
  LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
  if (rv != SCARD_S_SUCCESS) {
    if (error) *error = "pcscd cannot be reached: " + describe(rv);
    return {};
  }
  auto names = listReaders(context, filter_, &rv);
  SCardReleaseContext(context);
  if (rv != SCARD_S_SUCCESS && error) *error = "pcscd lists no readers: " + describe(rv);
  if (rv == SCARD_S_SUCCESS && names.empty() && error) *error = "pcscd lists no matching reader";
  return names;
}

bool PCSCReaderBackend::readingAvailable() {
  return !readerNames().empty();
}

std::shared_ptr<NFCTagSource> PCSCReaderBackend::makeTagSource(
    std::shared_ptr<DispatchQueue> sessionQueue) {
  return std::make_shared<PCSCTagSource>(std::move(sessionQueue), filter_);
}

}  // namespace ostrel::platform
