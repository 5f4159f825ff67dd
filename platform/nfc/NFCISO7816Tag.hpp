#pragma once

// The ISO 7816 tag of the contactless platform: what a tag reader session reports when it
// finds an ISO 14443-4 chip, and the one channel through which commands reach that chip.
//
// Backends (the in-process simulated chip, a PC/SC reader, a virtual card behind vpcd)
// subclass `NFCISO7816Tag` and implement `transmit` only. The base class owns the contract
// callers rely on:
//   - `sendCommand` never calls its completion inline: the answer is always posted on the
//     session queue, also when the command is refused at once. The chip protocol is a chain
//     of completions, and an inline answer would turn it into deep recursion.
//   - one command at a time: a command sent while another is outstanding fails with 102;
//   - after `invalidate` (the session ended) every command fails with 103
//     "Session invalidated";
//   - a transcript hook sees every exchange (command bytes, answer or error) on the session
//     queue, just before the completion runs.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Bytes.hpp"
#include "platform/nfc/NFCISO7816APDU.hpp"
#include "platform/nfc/NFCReaderError.hpp"

namespace ostrel::platform {

class DispatchQueue;

enum class NFCTagType { feliCa = 1, iso7816Compatible = 2, iso15693 = 3, miFare = 4 };

// Any tag a reader session can report. Only ISO 7816 tags can be talked to here; the others
// exist so that a session can tell the user the card is not a valid chip.
class NFCTag : public std::enable_shared_from_this<NFCTag> {
 public:
  explicit NFCTag(NFCTagType type) : type_(type) {}
  virtual ~NFCTag() = default;
  NFCTagType type() const { return type_; }
  bool isAvailable() const;

  // Ends the tag's use: later commands fail with 103. Called when the session ends.
  void invalidate();
  bool isInvalidated() const;

 protected:
  mutable std::mutex mutex_;
  bool invalidated_ = false;

 private:
  NFCTagType type_;
};

// What a backend reports for one command: the answer (data and status words) or a transceive
// error.
struct NFCTransmission {
  Bytes data;
  std::uint8_t sw1 = 0;
  std::uint8_t sw2 = 0;
  std::optional<NFCReaderError> error;

  static NFCTransmission answer(Bytes data, std::uint8_t sw1, std::uint8_t sw2) {
    return {std::move(data), sw1, sw2, std::nullopt};
  }
  static NFCTransmission failure(NFCReaderError::Code code) {
    return {{}, 0, 0, NFCReaderError::make(code)};
  }
};

// One exchange as seen by the transcript hook.
struct NFCTranscriptEntry {
  Bytes command;
  NFCTransmission response;
};

class NFCISO7816Tag : public NFCTag {
 public:
  // data, sw1, sw2, error: on error the data is empty and the status words are 0.
  using Completion = std::function<void(Bytes data, std::uint8_t sw1, std::uint8_t sw2,
                                        std::optional<NFCReaderError> error)>;
  using TranscriptHook = std::function<void(const NFCTranscriptEntry&)>;

  // `queue` is the session queue every completion is posted on.
  explicit NFCISO7816Tag(std::shared_ptr<DispatchQueue> queue);

  // The application identifier the platform selected when it found the tag, upper-case hex;
  // empty when the tag refused every selection (see `NFCTagReaderSession`).
  const std::string& initialSelectedAID() const { return initialSelectedAID_; }
  void setInitialSelectedAID(std::string aid) { initialSelectedAID_ = std::move(aid); }

  void setQueue(std::shared_ptr<DispatchQueue> queue);
  std::shared_ptr<DispatchQueue> queue() const;
  void setTranscriptHook(TranscriptHook hook);

  // Sends one command; `completion` runs later on the session queue, exactly once (unless
  // the tag itself is destroyed before the answer arrives).
  void sendCommand(const NFCISO7816APDU& apdu, Completion completion);

 protected:
  // Carries `command` to the card. The backend calls `reply` exactly once, from any thread,
  // inline or later. `reply` must not be called after the tag is destroyed; it is safe to call
  // after `invalidate`.
  virtual void transmit(const Bytes& command, std::function<void(NFCTransmission)> reply) = 0;

 private:
  std::weak_ptr<NFCISO7816Tag> weakSelf();
  void transmitted(const Bytes& command, Completion& completion, NFCTransmission response);
  void deliver(const Bytes& command, NFCTransmission response, Completion completion);
  void delivered(const Bytes& command, const NFCTransmission& response,
                 const Completion& completion);

  std::shared_ptr<DispatchQueue> queue_;
  TranscriptHook transcriptHook_;
  std::string initialSelectedAID_;
  bool outstanding_ = false;
};

}  // namespace ostrel::platform
