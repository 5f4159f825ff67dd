#include "nfc/BACHandler.hpp"

#include "nfc/ChipBytes.hpp"
#include "nfc/Log.hpp"
#include "nfc/SecureMessagingSessionKeyGenerator.hpp"
#include "platform/crypto/Crypto.hpp"
#include "platform/runtime/BindWeak.hpp"

namespace ostrel {
namespace {

const Bytes kZeroIV(8, 0);

PassportReaderError derivationFailure(const std::string& description) {
  return PassportReaderError::InvalidDataPassed("Unable to derive BAC Keys - " + description);
}

}  // namespace

BACHandler::BACHandler(std::shared_ptr<TagReader> tagReader) : tagReader_(std::move(tagReader)) {}

void BACHandler::fail(const Completion& completion, PassportReaderError error) const {
  Log::errorTrace([&] { return "ERROR - " + error.localizedDescription(); });
  completion(std::move(error));
}

Bytes BACHandler::deriveKseed(const std::string& mrzKey) const {
  Log::debugTrace([] { return std::string("Calculate the SHA-1 hash of MRZ_information"); });
  const Bytes hash = sha1Digest(platform::crypto::view(mrzKey));
  Log::debugTrace(
      [] { return std::string("Take the most significant 16 bytes to form the Kseed"); });
  return Bytes(hash.begin(), hash.begin() + 16);
}

void BACHandler::deriveAccessKeys(const std::string& mrzKey) {
  Log::debugTrace([] { return std::string("BACHandler - deriving Document Basic Access Keys"); });
  const Bytes kseed = deriveKseed(mrzKey);
  Log::debugTrace([] {
    return std::string("Calculate the Basic Access Keys (Kenc and Kmac) using TR-SAC 1.01, 4.2");
  });
  SecureMessagingSessionKeyGenerator generator;
  ksenc_ = generator.deriveKey(kseed, "DESede", 128, std::nullopt, 0);
  ksmac_ = generator.deriveKey(kseed, "DESede", 128, std::nullopt, 1);
}

Bytes BACHandler::authenticationData(const Bytes& rndICC) {
  rnd_icc_ = rndICC;
  Log::debugTrace([] { return std::string("Generate an 8 byte random and a 16 byte random"); });
  Bytes rndIFD = randomBytes(8);
  Bytes kIFD = randomBytes(16);
  Log::debugTrace([] { return std::string("Concatenate RND.IFD, RND.ICC and Kifd"); });
  Bytes s = rndIFD;
  s.insert(s.end(), rndICC.begin(), rndICC.end());
  s.insert(s.end(), kIFD.begin(), kIFD.end());
  Log::debugTrace(
      [] { return std::string("Encrypt S with TDES key Kenc as calculated in Appendix 5.2"); });
  const Bytes eifd = tripleDESEncrypt(ksenc_, s, kZeroIV);
  Log::debugTrace([] {
    return std::string("Compute MAC over eifd with TDES key Kmac as calculated in-Appendix 5.2");
  });
  const Bytes mifd = retailMac(ksmac_, padIso9797(eifd, 8));
  // The ciphers report a failure as an empty result; so does this step.
  if (rndIFD.size() != 8 || kIFD.size() != 16 || eifd.size() != 32 || mifd.size() != 8) {
    return {};
  }
  Log::debugTrace([] { return std::string("Construct command data for MUTUAL AUTHENTICATE"); });
  Bytes cmdData = eifd;
  cmdData.insert(cmdData.end(), mifd.begin(), mifd.end());
  rnd_ifd_ = std::move(rndIFD);
  kifd_ = std::move(kIFD);
  return cmdData;
}

std::tuple<Bytes, Bytes, Bytes> BACHandler::deriveSessionKeys(const Bytes& data) {
  if (data.size() < 40) {
    throw derivationFailure("answer of " + std::to_string(data.size()) + " bytes");
  }
  const Bytes eicc(data.begin(), data.begin() + 32);
  const Bytes micc(data.begin() + 32, data.begin() + 40);
  // The chip's MAC proves the answer came from the chip that holds Kmac.
  if (retailMac(ksmac_, padIso9797(eicc, 8)) != micc) {
    throw derivationFailure("MAC of the chip's answer does not match");
  }
  Log::debugTrace([] {
    return std::string(
        "Decrypt and verify received data and compare received RND.IFD with generated RND.IFD ");
  });
  const Bytes r = tripleDESDecrypt(ksenc_, eicc, kZeroIV);
  if (r.size() != 32) throw derivationFailure("could not decrypt the chip's answer");
  if (!std::equal(r.begin() + 8, r.begin() + 16, rnd_ifd_.begin(), rnd_ifd_.end())) {
    throw derivationFailure("RND.IFD returned by the chip does not match");
  }
  const Bytes kicc(r.begin() + 16, r.begin() + 32);
  Log::debugTrace([] { return std::string("Calculate XOR of Kifd and Kicc"); });
  const Bytes seed = xorBytes(kifd_, kicc);
  Log::debugTrace(
      [] { return std::string("Calculate Session Keys (KSenc and KSmac) using Appendix 5.1"); });
  SecureMessagingSessionKeyGenerator generator;
  Bytes ksenc = generator.deriveKey(seed, "DESede", 128, std::nullopt, 0);
  Bytes ksmac = generator.deriveKey(seed, "DESede", 128, std::nullopt, 1);
  Log::debugTrace([] { return std::string("Calculate Send Sequence Counter"); });
  Bytes ssc(rnd_icc_.end() - 4, rnd_icc_.end());
  ssc.insert(ssc.end(), rnd_ifd_.end() - 4, rnd_ifd_.end());
  return {std::move(ksenc), std::move(ksmac), std::move(ssc)};
}

bool BACHandler::isSecureMessagingError(const PassportReaderError& error) {
  if (error.kind() != PassportReaderError::Kind::ResponseError) return false;
  return (error.sw1() == 0x69 && (error.sw2() == 0x87 || error.sw2() == 0x88)) ||
         (error.sw1() == 0x68 && error.sw2() == 0x82);
}

void BACHandler::runAccessControl(const std::string& mrzKey, Completion completion) {
  if (!tagReader_) {
    fail(completion, PassportReaderError::NoConnectedTag());
    return;
  }
  try {
    deriveAccessKeys(mrzKey);
  } catch (const PassportReaderError& e) {
    fail(completion, derivationFailure(e.localizedDescription()));
    return;
  }
  const bool repeated = tagReader_->secureMessaging() != nullptr;
  tagReader_->setSecureMessaging(nullptr);
  Log::debugTrace([] { return std::string("BACHandler - Getting initial challenge"); });
  requestChallenge(completion, repeated);
}

void BACHandler::requestChallenge(const Completion& completion, bool askAgainInPlain) {
  Log::debugTrace(
      [] { return std::string("Request an 8 byte random number from the MRTD's chip"); });
  tagReader_->sendChecked(platform::NFCISO7816APDU(0x00, 0x84, 0x00, 0x00, {}, 8),
                          platform::bindWeak(weak_from_this(), &BACHandler::challengeReceived,
                                             completion, askAgainInPlain));
}

void BACHandler::challengeReceived(const Completion& completion, bool askAgainInPlain,
                                   TagReader::Result result) {
  if (!result) {
    if (askAgainInPlain && isSecureMessagingError(result.error())) {
      Log::debugTrace([] { return std::string("BACHandler - chip left secure messaging"); });
      requestChallenge(completion, false);
      return;
    }
    fail(completion, result.error());
    return;
  }
  const Bytes& challenge = result.value().data;
  if (challenge.size() != 8) {
    fail(completion,
         derivationFailure("challenge of " + std::to_string(challenge.size()) + " bytes"));
    return;
  }
  Log::debugTrace([] { return std::string("BACHandler - Doing mutual authentication"); });
  Bytes cmdData = authenticationData(challenge);
  if (cmdData.size() != 40) {
    fail(completion, derivationFailure("could not build the authentication data"));
    return;
  }
  tagReader_->sendChecked(
      platform::NFCISO7816APDU(0x00, 0x82, 0x00, 0x00, std::move(cmdData), 256),
      platform::bindWeak(weak_from_this(), &BACHandler::authenticationReceived, completion));
}

void BACHandler::authenticationReceived(const Completion& completion, TagReader::Result result) {
  if (!result) {
    fail(completion, result.error());
    return;
  }
  try {
    auto [ksenc, ksmac, ssc] = deriveSessionKeys(result.value().data);
    tagReader_->setSecureMessaging(std::make_shared<SecureMessaging>(
        std::move(ksenc), std::move(ksmac), std::move(ssc),
        SecureMessagingSupportedAlgorithms::DES, 8));
  } catch (const PassportReaderError& e) {
    // Already carries the "Unable to derive BAC Keys - " reason, or comes from the key
    // generator and gets it now.
    fail(completion, e.reason().starts_with("Unable to derive BAC Keys - ")
                         ? e
                         : derivationFailure(e.localizedDescription()));
    return;
  }
  Log::debugTrace([] { return std::string("BACHandler - complete"); });
  completion(std::nullopt);
}

}  // namespace ostrel
