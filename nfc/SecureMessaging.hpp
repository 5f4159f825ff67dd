#pragma once

#include "nfc/ChipBytes.hpp"
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
// that was.
class SecureMessaging {
 public:
  SecureMessaging(
      Bytes ksenc, Bytes ksmac, Bytes ssc,
      SecureMessagingSupportedAlgorithms algoName = SecureMessagingSupportedAlgorithms::DES,
      int padLength = 8);

  // Throws `PassportReaderError`.
  platform::NFCISO7816APDU protect(const platform::NFCISO7816APDU& apdu);
  ResponseAPDU unprotect(const ResponseAPDU& rapdu);

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

  Bytes ksenc_;
  Bytes ksmac_;
  Bytes ssc_;
  SecureMessagingSupportedAlgorithms algoName_;
  int padLength_;
};

}  // namespace ostrel
