#pragma once

// The tag reader session's backend for headless tests and the demo: a field in which the test
// decides which tags appear, when, and what the platform does around them.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/foundation/Date.hpp"
#include "platform/nfc/NFCISO7816Tag.hpp"
#include "platform/nfc/NFCReaderBackend.hpp"
#include "testing/SimulatedChip.hpp"

namespace ostrel::testing {

// An ISO 7816 tag whose answers come from a function (a simulated chip, or a scripted card).
class ScriptedISO7816Tag : public platform::NFCISO7816Tag {
 public:
  using Card = std::function<platform::NFCTransmission(const platform::Bytes& command)>;

  ScriptedISO7816Tag(std::shared_ptr<platform::DispatchQueue> queue, Card card)
      : NFCISO7816Tag(std::move(queue)), card_(std::move(card)) {}

  // Commands the card has seen, in order (also the discovery SELECT).
  std::vector<platform::Bytes> commands() const;

 protected:
  void transmit(const platform::Bytes& command,
                std::function<void(platform::NFCTransmission)> reply) override;

 private:
  Card card_;
  mutable std::mutex commandsMutex_;
  std::vector<platform::Bytes> commands_;
};

class SimulatedNFCBackend : public platform::NFCReaderBackend {
 public:
  // Makes the tags that enter the field of one session, bound to that session's queue.
  using TagFactory = std::function<std::vector<std::shared_ptr<platform::NFCTag>>(
      const std::shared_ptr<platform::DispatchQueue>& sessionQueue)>;

  // Tags for `setTags`: each chip as an ISO 7816 tag, then `otherTags` tags of another kind.
  static TagFactory chips(std::vector<std::shared_ptr<SimulatedChip>> chips, int otherTags = 0);

  bool readingAvailable() override;
  std::shared_ptr<platform::NFCTagSource> makeTagSource(
      std::shared_ptr<platform::DispatchQueue> sessionQueue) override;
  bool reportsApplicationInvalidation() const override;

  void setReadingAvailable(bool available);
  // What enters the field when a session begins; nothing when unset.
  void setTags(TagFactory factory);
  // Seconds after `begin` the tags enter the field (virtual clock); none: only `present`.
  void setDetectionDelay(std::optional<platform::TimeInterval> delay);
  // The next connections fail with this error.
  void setConnectionError(std::optional<platform::NFCReaderError::Code> code);
  void setReportsApplicationInvalidation(bool reports);

  // Brings the configured tags into the field of every session now polling.
  void present();
  int sessionsStarted() const;
  // Sessions begun and not yet stopped (their source still alive).
  int sessionsOpen() const;

 private:
  class Source;

  mutable std::mutex mutex_;
  bool available_ = true;
  TagFactory factory_;
  std::optional<platform::TimeInterval> delay_ = 0.5;
  std::optional<platform::NFCReaderError::Code> connectionError_;
  bool reportsApplicationInvalidation_ = true;
  int sessionsStarted_ = 0;
  std::vector<std::weak_ptr<Source>> sources_;
};

}  // namespace ostrel::testing
