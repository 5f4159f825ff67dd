#pragma once

#include <memory>

#include "core/Outcome.hpp"
#include "nfc/ChipBytes.hpp"
#include "nfc/PassportReaderError.hpp"
#include "nfc/ResponseAPDU.hpp"
#include "platform/nfc/NFCISO7816APDU.hpp"

namespace ostrel {

enum class SecureMessagingSupportedAlgorithms { DES, AES };

// 3DES secure messaging of one basic access control session (ICAO 9303-11). Every command
// passes through `protect` and every answer through `unprotect`, strictly alternating; each
// call moves the send sequence counter on by one whatever its outcome.
//
// Commands with an odd instruction code (READ BINARY B1 with an offset data object) carry
// their data in DO'85' instead of DO'87', and so do their answers, as ICAO 9303-11 provides.
//
// An answer with status 90 00 is accepted only with DO'99' and a DO'8E' whose MAC checks;
// anything else is refused: an answer that was not authenticated never leaves here as one
// that was. A warning (62 xx, 63 xx) that carries data objects is checked the same way, since
// ISO/IEC 7816-4 makes its data valid: a chip ends a file with 62 82 and its last bytes.
// Any other status comes back unchanged, without data objects to check.
//
// The session's ciphers are keyed once, at creation, and used by one thread at a time (the
// chip session's queue).
class SecureMessaging {
 public:
  SecureMessaging(
      Bytes ksenc, Bytes ksmac, Bytes ssc,
      SecureMessagingSupportedAlgorithms algoName = SecureMessagingSupportedAlgorithms::DES,
      int padLength = 8);

  // Throws `PassportReaderError`.
  platform::NFCISO7816APDU protect(const platform::NFCISO7816APDU& apdu);
  ResponseAPDU unprotect(const ResponseAPDU& rapdu);
  // The same steps, handing the failure back as a value.
  Outcome<platform::NFCISO7816APDU, PassportReaderError> tryProtect(
      const platform::NFCISO7816APDU& apdu);
  Outcome<ResponseAPDU, PassportReaderError> tryUnprotect(const ResponseAPDU& rapdu);

  Bytes maskedHeader(const platform::NFCISO7816APDU& apdu) const;
  // DO'87' (or DO'85' for odd instruction codes) of a command with data.
  Bytes buildDO87(const platform::NFCISO7816APDU& apdu) const;
  Bytes encryptData(const platform::NFCISO7816APDU& apdu) const;
  Bytes buildDO97(const platform::NFCISO7816APDU& apdu) const;
  Bytes buildDO8E(const Bytes& m) const;

  const Bytes& ksenc() const { return ksenc_; }
  const Bytes& ksmac() const { return ksmac_; }
  const Bytes& ssc() const { return ssc_; }
  SecureMessagingSupportedAlgorithms algoName() const { return algoName_; }
  int padLength() const { return padLength_; }

 private:
  void incrementSSC();
  platform::NFCISO7816APDU protectOrThrow(const platform::NFCISO7816APDU& apdu);

  Bytes ksenc_;
  Bytes ksmac_;
  Bytes ssc_;
  SecureMessagingSupportedAlgorithms algoName_;
  int padLength_;
  std::unique_ptr<SessionCiphers> ciphers_;
};

}  // namespace ostrel
