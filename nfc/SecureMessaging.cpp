#include "nfc/SecureMessaging.hpp"

#include <algorithm>

#include "nfc/Log.hpp"
#include "platform/foundation/ByteCursor.hpp"
#include "nfc/PassportReaderError.hpp"

namespace ostrel {
namespace {

void append(Bytes& to, const Bytes& from) {
  to.insert(to.end(), from.begin(), from.end());
}

void requireDES(SecureMessagingSupportedAlgorithms algorithm) {
  // Nothing installs AES secure messaging; an instance that says AES refuses to work rather
  // than run the 3DES steps under the wrong name.
  if (algorithm != SecureMessagingSupportedAlgorithms::DES) {
    throw PassportReaderError::NotYetSupported("AES secure messaging");
  }
}

}  // namespace

SecureMessaging::SecureMessaging(Bytes ksenc, Bytes ksmac, Bytes ssc,
                                 SecureMessagingSupportedAlgorithms algoName, int padLength)
    : ksenc_(std::move(ksenc)),
      ksmac_(std::move(ksmac)),
      ssc_(std::move(ssc)),
      algoName_(algoName),
      padLength_(padLength),
      ciphers_(std::make_unique<SessionCiphers>(ksenc_, ksmac_)) {
  if (ssc_.size() != 8) ssc_.resize(8, 0);
}

void SecureMessaging::incrementSSC() {
  Log::debugTrace([] { return std::string("\tIncrement SSC with 1"); });
  for (std::size_t i = ssc_.size(); i-- > 0;) {
    if (++ssc_[i] != 0) break;
  }
}

Bytes SecureMessaging::maskedHeader(const platform::NFCISO7816APDU& apdu) const {
  Log::debugTrace([] { return std::string("Mask class byte and pad command header"); });
  const Bytes header{0x0C, apdu.instructionCode(), apdu.p1Parameter(), apdu.p2Parameter()};
  return padIso9797(header, padLength_);
}

Bytes SecureMessaging::encryptData(const platform::NFCISO7816APDU& apdu) const {
  Log::debugTrace([] { return std::string("Pad data"); });
  const Bytes padded = padIso9797(apdu.data(), padLength_);
  Log::debugTrace([] { return std::string("Encrypt data with KSenc"); });
  Bytes encrypted = ciphers_->encrypt(padded);
  if (encrypted.size() != padded.size()) throw PassportReaderError::UnableToProtectAPDU();
  return encrypted;
}

Bytes SecureMessaging::buildDO87(const platform::NFCISO7816APDU& apdu) const {
  const Bytes encrypted = encryptData(apdu);
  Log::debugTrace([] { return std::string("Build DO'87"); });
  const bool odd = (apdu.instructionCode() & 1) != 0;
  Bytes value;
  if (!odd) value.push_back(0x01);
  append(value, encrypted);
  Bytes object{static_cast<std::uint8_t>(odd ? 0x85 : 0x87)};
  append(object, encodeAsn1Length(static_cast<long long>(value.size())));
  append(object, value);
  return object;
}

Bytes SecureMessaging::buildDO97(const platform::NFCISO7816APDU& apdu) const {
  Log::debugTrace([] { return std::string("Build DO'97"); });
  const int le = apdu.expectedResponseLength();
  Bytes leBytes;
  if (le == 256) {
    leBytes = {0x00};
  } else if (le == 65536) {
    leBytes = {0x00, 0x00};
  } else if (le > 255) {
    leBytes = {static_cast<std::uint8_t>(le >> 8), static_cast<std::uint8_t>(le)};
  } else {
    leBytes = {static_cast<std::uint8_t>(le)};
  }
  Bytes object{0x97};
  append(object, encodeAsn1Length(static_cast<long long>(leBytes.size())));
  append(object, leBytes);
  return object;
}

Bytes SecureMessaging::buildDO8E(const Bytes& m) const {
  Log::debugTrace([] { return std::string("Compute MAC of M"); });
  Bytes n = ssc_;
  append(n, m);
  Log::debugTrace([] { return std::string("\tConcatenate SSC and M and add padding"); });
  n = padIso9797(n, padLength_);
  Log::debugTrace([&] { return "\tCompute MAC over N with KSmac" + traceHex(n); });
  const Bytes cc = ciphers_->mac(n);
  if (cc.size() != 8) throw PassportReaderError::UnableToProtectAPDU();
  Log::debugTrace([] { return std::string("Build DO'8E"); });
  Bytes object{0x8E, 0x08};
  append(object, cc);
  return object;
}

platform::NFCISO7816APDU SecureMessaging::protect(const platform::NFCISO7816APDU& apdu) {
  incrementSSC();
  return protectOrThrow(apdu);
}

Outcome<platform::NFCISO7816APDU, PassportReaderError> SecureMessaging::tryProtect(
    const platform::NFCISO7816APDU& apdu) {
  incrementSSC();
  // The building steps throw (their public contract); this is the one place that turns them
  // into a value.
  try {
    return protectOrThrow(apdu);
  } catch (const PassportReaderError& e) {
    return e;
  }
}

platform::NFCISO7816APDU SecureMessaging::protectOrThrow(const platform::NFCISO7816APDU& apdu) {
  requireDES(algoName_);
  const Bytes header = maskedHeader(apdu);
  Bytes do87;
  if (apdu.hasData()) do87 = buildDO87(apdu);
  Bytes do97;
  const int le = apdu.expectedResponseLength();
  if (le >= 1 && !(apdu.instructionCode() == 0x22 && le > 255)) do97 = buildDO97(apdu);

  Bytes m = header;
  append(m, do87);
  append(m, do97);
  Log::debugTrace([&] {
    return std::string("Concatenate CmdHeader") + (do87.empty() ? "" : " and DO87") +
           (do97.empty() ? "" : " and DO97") + " " + traceHex(m);
  });
  const Bytes do8e = buildDO8E(m);

  const std::size_t size = do87.size() + do97.size() + do8e.size();
  Bytes out{0x0C, apdu.instructionCode(), apdu.p1Parameter(), apdu.p2Parameter()};
  if (size < 256) {
    out.push_back(static_cast<std::uint8_t>(size));
  } else {
    if (size > 0xFFFF) throw PassportReaderError::InvalidASN1Value();
    out.push_back(0x00);
    out.push_back(static_cast<std::uint8_t>(size >> 8));
    out.push_back(static_cast<std::uint8_t>(size));
  }
  append(out, do87);
  append(out, do97);
  append(out, do8e);
  if (size < 256) {
    out.push_back(0x00);
  } else {
    out.push_back(0x00);
    out.push_back(0x00);
  }
  Log::debugTrace([&] { return "Construct and send protected APDU " + traceHex(out); });
  auto protectedApdu = platform::NFCISO7816APDU::fromBytes(out);
  if (!protectedApdu) throw PassportReaderError::UnableToProtectAPDU();
  return *protectedApdu;
}

ResponseAPDU SecureMessaging::unprotect(const ResponseAPDU& rapdu) {
  auto outcome = tryUnprotect(rapdu);
  if (!outcome) throw outcome.error();
  return std::move(outcome).value();
}

Outcome<ResponseAPDU, PassportReaderError> SecureMessaging::tryUnprotect(
    const ResponseAPDU& rapdu) {
  incrementSSC();
  Log::debugTrace([&] {
    return "Receive response APDU of MRTD's chip " + traceHex(rapdu.data) +
           traceHex({rapdu.sw1, rapdu.sw2});
  });
  const bool success = rapdu.sw1 == 0x90 && rapdu.sw2 == 0x00;
  const bool warningWithData = (rapdu.sw1 == 0x62 || rapdu.sw1 == 0x63) && !rapdu.data.empty();
  if (!success && !warningWithData) return rapdu;
  if (algoName_ != SecureMessagingSupportedAlgorithms::DES) {
    return PassportReaderError::NotYetSupported("AES secure messaging");
  }

  platform::ByteCursor cursor(rapdu.data);
  ByteSpan do87;
  ByteSpan encrypted;
  if (const auto tag = cursor.peekU8(); tag == 0x87 || tag == 0x85) {
    const auto object = cursor.readTlv(*tag);
    if (!object) return PassportReaderError::CannotDecodeASN1Length();
    do87 = object->whole;
    encrypted = object->value;
    if (*tag == 0x87) {
      if (encrypted.empty() || encrypted[0] != 0x01) return PassportReaderError::D087Malformed();
      encrypted = encrypted.subspan(1);
    }
  }
  // DO'99' carries the status words the MAC protects; without it nothing can be trusted.
  const auto do99 = cursor.readTlv(0x99);
  if (!do99 || do99->value.size() != 2) return PassportReaderError::MissingMandatoryFields();
  const auto do8e = cursor.readTlv(0x8E);
  if (!do8e) return PassportReaderError::MissingMandatoryFields();

  Log::debugTrace([] { return std::string("Verify RAPDU CC by computing MAC of"); });
  Bytes k = ssc_;
  k.insert(k.end(), do87.begin(), do87.end());
  k.insert(k.end(), do99->whole.begin(), do99->whole.end());
  k = padIso9797(k, padLength_);
  Log::debugTrace([] { return std::string("\tCompute MAC with KSmac"); });
  const Bytes ccb = ciphers_->mac(k);
  Log::debugTrace([] { return std::string("\tCompare CC with data of DO'8E of RAPDU"); });
  if (ccb.size() != 8 || !std::equal(ccb.begin(), ccb.end(), do8e->value.begin(),
                                     do8e->value.end())) {
    return PassportReaderError::InvalidResponseChecksum();
  }

  Bytes data;
  if (!encrypted.empty()) {
    Log::debugTrace([] { return std::string("Decrypt data of DO'87 with KSenc"); });
    const Bytes decrypted = ciphers_->decrypt(encrypted);
    if (decrypted.size() != encrypted.size()) return PassportReaderError::D087Malformed();
    data = unpadIso9797(decrypted);
  }
  return ResponseAPDU{std::move(data), do99->value[0], do99->value[1]};
}

}  // namespace ostrel
