#pragma once

// A deterministic eMRTD chip for headless tests: the card side of basic access control and
// 3DES secure messaging, elementary files of a TD3 passport or a TD1 ID card, configurable read
// limits and fault injection per command, per file or at the k-th command. It is reached through
// `SimulatedChipTag`, an ordinary ISO 7816 tag, so the tag reader and a reading session talk to
// it exactly as they would to a real chip.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "nfc/ChipBytes.hpp"
#include "platform/nfc/NFCISO7816Tag.hpp"

namespace ostrel::testing {

using platform::Bytes;
using platform::NFCTransmission;

class SimulatedChip {
 public:
  static const Bytes kEMRTDApplicationID;  // A0 00 00 02 47 10 01

  // One answer to put in place of the chip's own.
  struct Fault {
    enum class Kind {
      status,        // the status words, plain or under secure messaging (see wrapErrorStatuses)
      corruptMac,    // the right answer with one MAC byte flipped
      emptySuccess,  // a correctly MACed 90 00 carrying no data
      truncate,      // the protected answer cut to `length` bytes, still 90 00
      raw,           // exactly `raw` as data with 90 00
      dropLink,      // transceive error 100; the chip is gone from then on
      stall,         // never answers
    };
    Kind kind = Kind::status;
    std::uint8_t sw1 = 0x6A;
    std::uint8_t sw2 = 0x82;
    std::size_t length = 0;
    Bytes raw;
    int times = 1;  // how many commands it hits; -1 for all

    static Fault withStatus(std::uint8_t sw1, std::uint8_t sw2, int times = 1) {
      return {Kind::status, sw1, sw2, 0, {}, times};
    }
    static Fault of(Kind kind, int times = 1) { return {kind, 0, 0, 0, {}, times}; }
    static Fault truncatedTo(std::size_t length) { return {Kind::truncate, 0, 0, length, {}, 1}; }
    static Fault rawAnswer(Bytes data) { return {Kind::raw, 0x90, 0x00, 0, std::move(data), 1}; }
  };

  enum class OversizedAnswer { send, wrongLength, exactLength };
  // What the chip does with a plain command while secure messaging is on.
  enum class PlainCommandUnderSecureMessaging {
    refuse,         // drops the session and answers 69 88, as ICAO 9303-11 has it
    answerInPlain,  // drops the session and answers the command as a plain one
  };
  // What the chip answers to a READ BINARY asking for more than `maxReadLength`.
  enum class LongReadAnswer {
    shortAnswer,  // the first `maxReadLength` bytes with 90 00
    wrongLength,  // 67 00
    exactLength,  // 6C with `maxReadLength` as SW2
  };

  SimulatedChip(std::string documentNumber, std::string dateOfBirth, std::string dateOfExpiry);

  // The ICAO 9303-11 worked example: MRZ L898902C< / 690806 / 940623, its RND.ICC and K.ICC,
  // and its EF.COM (LDS 1.6, DG1, DG2), plus a DG1 and a small DG2.
  static std::shared_ptr<SimulatedChip> icaoExample();
  // The sample person's passport (TD3): COM, DG1, DG2 (JPEG), DG3/DG4 (refused), DG11, DG12,
  // DG13, DG14, DG15, SOD.
  static std::shared_ptr<SimulatedChip> passport();
  // The sample person's citizen ID card (TD1): COM, DG1 (90 characters), DG2 (JPEG 2000), DG13,
  // DG14, DG15, SOD.
  static std::shared_ptr<SimulatedChip> idCard();

  std::string mrzKey() const;

  // Files by identifier (01 01 = DG1, 01 1E = COM, ...).
  void setFile(std::uint16_t fileId, Bytes contents) { files_[fileId] = std::move(contents); }
  void removeFile(std::uint16_t fileId) { files_.erase(fileId); }
  const Bytes& file(std::uint16_t fileId) const { return files_.at(fileId); }
  // Files that exist but are refused with 69 82 (DG3, DG4 without extended access control).
  void protectFile(std::uint16_t fileId) { protectedFiles_[fileId] = true; }

  // Randoms the chip draws; empty means fresh pseudo-random bytes.
  Bytes challenge;  // RND.ICC
  Bytes kICC;       // K.ICC

  // Read behaviour.
  bool endOfFileWarning = false;  // Le past the end: 62 82 with the rest instead of 90 00
  // Le past the end: 6C xx, xx the bytes there are (counted as Le counts them), nothing sent.
  bool exactLengthPastEnd = false;
  // Each file is longer than the data object it holds: this many `fillByte` after it, which
  // reads serve like any other file byte (`file` still gives the object alone).
  std::size_t fillAfterObject = 0;
  std::uint8_t fillByte = 0xFF;
  // For READ BINARY B1, Le counts the file bytes inside DO'53' (else the whole DO'53').
  bool oddReadLeCountsFileBytes = false;
  std::size_t maxReadLength = 0;  // at most this many bytes per READ BINARY answer (0: no limit)
  LongReadAnswer longReadAnswer = LongReadAnswer::shortAnswer;
  OversizedAnswer oversizedAnswer = OversizedAnswer::wrongLength;  // > 256 bytes for a short Le
  bool wrapErrorStatuses = false;  // error statuses under secure messaging (else plain)
  PlainCommandUnderSecureMessaging plainCommandUnderSecureMessaging =
      PlainCommandUnderSecureMessaging::refuse;

  // Selection. A chip that knows only the ISO/IEC 7816-4 default of answering SELECT with its
  // FCI refuses P2 = 0C ("no answer data") with these status words (0: it accepts P2 = 0C).
  std::uint16_t selectWithoutAnswerRefusal = 0;
  // The eMRTD application refuses every SELECT (6A 82), however asked.
  bool applicationRefused = false;

  // Fault injection.
  void injectForCommand(std::uint8_t ins, Fault fault) { commandFaults_[ins].push_back(fault); }
  // Hits SELECT and READ BINARY of the file (READ BINARY only when `readsOnly`).
  void injectForFile(std::uint16_t fileId, Fault fault, bool readsOnly = false);
  // Hits the command with this 1-based index (counting every command the chip received).
  void injectAtCommand(int index, Fault fault) { indexedFaults_[index] = fault; }

  // Processing, as the tag calls it. Nothing for a stalled answer.
  std::optional<NFCTransmission> process(const Bytes& command);
  // The platform's selection of the application at discovery.
  bool selectApplication(const Bytes& aid);
  // The chip enters a new RF field (or its reader powers it off, on or resets it): no application
  // or file is selected and secure messaging is gone, so a new access control must come first.
  // Files, faults, read behaviour and the counters below stay; a dropped link stays dropped.
  void reset();

  // Observations.
  int commandCount() const { return commandCount_; }
  bool secureMessagingActive() const { return sm_.has_value(); }
  int bacRuns() const { return bacRuns_; }
  int selectCount(std::uint16_t fileId) const;

 private:
  struct Session {
    Bytes ksenc, ksmac, ssc;
    std::shared_ptr<SessionCiphers> ciphers;  // keyed once per session, as the reader's are
  };
  struct Answer {
    Bytes data;
    std::uint8_t sw1 = 0x90;
    std::uint8_t sw2 = 0x00;
  };
  struct FileFault {
    Fault fault;
    bool readsOnly = false;
  };

  Answer execute(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2, const Bytes& data, int le);
  Answer readBinary(std::uint16_t fileId, std::size_t offset, int le);
  Answer readBinaryOdd(std::uint16_t fileId, std::size_t offset, int le);
  // The file as reads see it: the object and any fill after it.
  const Bytes& served(std::uint16_t fileId);
  Answer selectApplicationAnswer(std::uint8_t p2, const Bytes& aid);
  std::optional<Answer> refuseSelect(std::uint8_t p2) const;
  // The refusal of a read longer than `maxReadLength`, if the chip refuses it.
  std::optional<Answer> refuseLongRead(std::size_t asked) const;
  NFCTransmission plainAnswer(const Answer& answer) const;
  NFCTransmission protectedAnswer(const Answer& answer, bool oddInstruction, int le);
  std::optional<Fault> takeFault(std::uint8_t ins, std::optional<std::uint16_t> fileId);
  Bytes draw(std::size_t count);

  std::string documentNumber_, dateOfBirth_, dateOfExpiry_;
  std::map<std::uint16_t, Bytes> files_;
  Bytes servedWithFill_;
  std::map<std::uint16_t, bool> protectedFiles_;
  std::map<std::uint8_t, std::deque<Fault>> commandFaults_;
  std::map<std::uint16_t, std::deque<FileFault>> fileFaults_;
  std::map<int, Fault> indexedFaults_;
  std::map<std::uint16_t, int> selectCounts_;

  bool applicationSelected_ = false;
  bool linkDown_ = false;
  std::optional<std::uint16_t> selectedFile_;
  Bytes rndICC_;
  std::optional<Session> sm_;
  int commandCount_ = 0;
  int bacRuns_ = 0;
  std::uint32_t randomState_ = 0x2545F491;
};

// The simulated chip as an ISO 7816 tag. Answers are posted on the session queue like every
// tag's; a stalled answer never comes.
class SimulatedChipTag : public platform::NFCISO7816Tag {
 public:
  SimulatedChipTag(std::shared_ptr<SimulatedChip> chip,
                   std::shared_ptr<platform::DispatchQueue> queue);
  // Selects the eMRTD application as the platform does at discovery; nothing when the chip
  // refuses it.
  static std::shared_ptr<SimulatedChipTag> connect(std::shared_ptr<SimulatedChip> chip,
                                                   std::shared_ptr<platform::DispatchQueue> queue);
  const std::shared_ptr<SimulatedChip>& chip() const { return chip_; }

 protected:
  void transmit(const Bytes& command, std::function<void(NFCTransmission)> reply) override;

 private:
  std::shared_ptr<SimulatedChip> chip_;
};

}  // namespace ostrel::testing
