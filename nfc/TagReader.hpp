#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

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
class TagReader : public std::enable_shared_from_this<TagReader> {
 public:
  using Completion =
      std::function<void(std::optional<ResponseAPDU>, std::optional<PassportReaderError>)>;

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
  void selectFile(const Bytes& fileId, Completion completion);
  void readFile(Completion completion);
  void readBinaryChunk(int remaining, int offset, Completion completion);

  static std::string decodeStatusWords(std::uint8_t sw1, std::uint8_t sw2);

 private:
  void finishChunk(int remaining, int offset, bool oddInstruction, ResponseAPDU answer,
                   const Completion& completion);

  std::shared_ptr<platform::NFCISO7816Tag> tag_;
  std::shared_ptr<SecureMessaging> secureMessaging_;
  int maxDataLengthToRead_ = kDefaultMaxDataLengthToRead;
  std::function<void(int)> progress_;
  Bytes header_;
};

}  // namespace ostrel
