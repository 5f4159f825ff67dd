#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/Outcome.hpp"
#include "nfc/PassportReaderError.hpp"
#include "nfc/ResponseAPDU.hpp"
#include "nfc/SecureMessaging.hpp"
#include "platform/nfc/NFCISO7816Tag.hpp"

namespace ostrel {

// The command layer over a connected ISO 7816 tag: sends APDUs (protected once secure
// messaging is installed), checks status words, and reads whole elementary files in chunks.
// Every completion runs on the tag's session queue, with exactly one of answer and error.
//
// Offsets of 0x8000 and above cannot travel in P1-P2 of READ BINARY (B0): bit 8 of P1 would
// select a file by short identifier. Those chunks are read with READ BINARY B1 and an offset
// data object, whose answer carries the bytes in DO'53'.
//
// A READ BINARY answered 62 82 ("end of file reached before reading Le bytes") with data is
// the file's last chunk, as ISO/IEC 7816-4 has it: the data is kept. Chips that count Le of
// the odd instruction as file bytes answer the last chunk that way. Without data it is the
// failure it always was. A READ BINARY answered 6C xx is sent again with Le xx, once.
//
// An elementary file holds one data object, and is often longer (00 or FF after it): once the
// tag and length are known, no read asks past the object's end and the file read delivers
// exactly tag, length and value, whatever the chip returns beyond. Lengths come in every BER
// form up to four bytes (83, 84: faces over 64 KB).
//
// A SELECT refused for asking no answer data (6A 86, 6A 87 to P2 0C) is sent again asking for
// the FCI (P2 00), which is ignored.
//
// Inside, each step hands on an `Outcome`; the public two-optional completions are made
// from it in one place (`completionStep`).
class TagReader : public std::enable_shared_from_this<TagReader> {
 public:
  using Completion =
      std::function<void(std::optional<ResponseAPDU>, std::optional<PassportReaderError>)>;
  using Result = Outcome<ResponseAPDU, PassportReaderError>;
  using Step = std::function<void(Result)>;

  static constexpr int kDefaultMaxDataLengthToRead = 160;

  explicit TagReader(std::shared_ptr<platform::NFCISO7816Tag> tag);

  const std::shared_ptr<platform::NFCISO7816Tag>& tag() const { return tag_; }

  const std::shared_ptr<SecureMessaging>& secureMessaging() const { return secureMessaging_; }
  void setSecureMessaging(std::shared_ptr<SecureMessaging> sm) { secureMessaging_ = std::move(sm); }

  int maxDataLengthToRead() const { return maxDataLengthToRead_; }
  void setMaxDataLengthToRead(int length) { maxDataLengthToRead_ = length; }

  // Called with a percentage (0-100) before each chunk of a file read.
  void setProgress(std::function<void(int)> progress) { progress_ = std::move(progress); }

  // The file read in progress: its tag and length bytes, then every chunk read so far.
  const Bytes& header() const { return header_; }

  void send(const platform::NFCISO7816APDU& cmd, Completion completion);
  // `send` with the answer handed on as an `Outcome`.
  void sendChecked(const platform::NFCISO7816APDU& cmd, Step next);
  void selectFile(const Bytes& fileId, Completion completion);
  void readFile(Completion completion);
  void readBinaryChunk(int remaining, int offset, Completion completion);

  static std::string decodeStatusWords(std::uint8_t sw1, std::uint8_t sw2);
  // The answer when its status is 90 00, else the error the status stands for (`tagSw1` and
  // `tagSw2` are the status words as the tag returned them, before unprotection).
  static Result checkStatus(ResponseAPDU answer, std::uint8_t tagSw1, std::uint8_t tagSw2);
  // The one adapter from a step's `Outcome` to the public completion.
  static Step completionStep(Completion completion);

 private:
  // One command out and its answer back: protected and unprotected while secure messaging is
  // on, status words not yet judged.
  struct Exchange {
    ResponseAPDU answer;
    std::uint8_t tagSw1 = 0;
    std::uint8_t tagSw2 = 0;
  };
  using ExchangeStep = std::function<void(Outcome<Exchange, PassportReaderError>)>;

  void exchange(const platform::NFCISO7816APDU& cmd, ExchangeStep next);
  void received(const ExchangeStep& next, Bytes data, std::uint8_t sw1, std::uint8_t sw2,
                std::optional<platform::NFCReaderError> error);
  // `withoutAnswer`: the SELECT asked for no answer data (P2 0C).
  void selected(const Bytes& fileId, bool withoutAnswer, const Step& next, Result result);
  void readWholeFile(Step next);
  void lengthRead(const Step& next, Result result);
  void headerRestRead(const Step& next, Result result);
  // `header_` holds at least the tag and length field: the value follows in chunks.
  void headerComplete(const Step& next, std::uint8_t sw1, std::uint8_t sw2);
  void readChunks(int remaining, int offset, Step next);
  void chunkArrived(int remaining, int offset, bool oddInstruction, const Step& next,
                    Result result);
  // `sendChecked` for READ BINARY: a 62 82 with data is the file's last bytes, not a failure,
  // and a 6C xx is answered by the same command with Le xx (once, when `mayAskExactLength`).
  void sendRead(const platform::NFCISO7816APDU& cmd, Step next, bool mayAskExactLength = true);

  std::shared_ptr<platform::NFCISO7816Tag> tag_;
  std::shared_ptr<SecureMessaging> secureMessaging_;
  int maxDataLengthToRead_ = kDefaultMaxDataLengthToRead;
  std::function<void(int)> progress_;
  Bytes header_;
};

}  // namespace ostrel
