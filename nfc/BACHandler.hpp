#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "nfc/PassportReaderError.hpp"
#include "nfc/TagReader.hpp"

namespace ostrel {

// Basic access control (ICAO 9303-11): derives Kenc/Kmac from the MRZ access key, runs GET
// CHALLENGE and MUTUAL AUTHENTICATE, checks the chip's answer (its MAC and the echoed
// RND.IFD), derives the session keys and installs secure messaging on the tag reader.
//
// A run that follows an earlier one starts while the chip still holds secure messaging. Its
// plain GET CHALLENGE makes an ICAO 9303-11 chip drop that session and refuse the command
// with a secure-messaging error (69 88); the chip is in plain mode by then, so the challenge
// is asked once more. Chips that answer the first plain challenge need nothing of this.
class BACHandler : public std::enable_shared_from_this<BACHandler> {
 public:
  using Completion = std::function<void(std::optional<PassportReaderError>)>;

  explicit BACHandler(std::shared_ptr<TagReader> tagReader);

  // The completion runs exactly once: without error once secure messaging is installed.
  void runAccessControl(const std::string& mrzKey, Completion completion);

  void deriveAccessKeys(const std::string& mrzKey);
  Bytes deriveKseed(const std::string& mrzKey) const;
  // The 40 bytes of MUTUAL AUTHENTICATE; empty when a cipher step fails.
  Bytes authenticationData(const Bytes& rndICC);
  // (KSenc, KSmac, SSC); throws `PassportReaderError` when the answer does not check.
  std::tuple<Bytes, Bytes, Bytes> deriveSessionKeys(const Bytes& data);

  const Bytes KENC{0x00, 0x00, 0x00, 0x01};
  const Bytes KMAC{0x00, 0x00, 0x00, 0x02};
  // Kenc and Kmac of the last run (not the session keys).
  const Bytes& ksenc() const { return ksenc_; }
  const Bytes& ksmac() const { return ksmac_; }
  const Bytes& rnd_icc() const { return rnd_icc_; }
  const Bytes& rnd_ifd() const { return rnd_ifd_; }
  const Bytes& kifd() const { return kifd_; }
  const std::shared_ptr<TagReader>& tagReader() const { return tagReader_; }

  // Whether a refused command means the chip left (or never had) secure messaging.
  static bool isSecureMessagingError(const PassportReaderError& error);

 private:
  void fail(const Completion& completion, PassportReaderError error) const;
  void requestChallenge(const Completion& completion, bool askAgainInPlain);
  void challengeReceived(const Completion& completion, bool askAgainInPlain,
                         TagReader::Result result);
  void authenticationReceived(const Completion& completion, TagReader::Result result);

  Bytes ksenc_;
  Bytes ksmac_;
  Bytes rnd_icc_;
  Bytes rnd_ifd_;
  Bytes kifd_;
  std::shared_ptr<TagReader> tagReader_;
};

}  // namespace ostrel
