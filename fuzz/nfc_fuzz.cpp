// libFuzzer target: secure-messaging unprotect, the BER length decoder, the byte cursor, APDU
// parsing and the data-group parsers on arbitrary bytes. Any crash, over-read or hang is a
// finding; thrown `PassportReaderError`s are the expected refusals.
#include <cstddef>
#include <cstdint>

#include "nfc/ChipBytes.hpp"
#include "nfc/DataGroupParser.hpp"
#include "nfc/PassportReaderError.hpp"
#include "nfc/SecureMessaging.hpp"
#include "platform/foundation/ByteCursor.hpp"
#include "platform/nfc/NFCISO7816APDU.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ostrel;
  const Bytes input(data, data + size);
  try {
    SecureMessaging sm(Bytes(24, 0x11), Bytes(24, 0x22), Bytes(8, 0));
    sm.unprotect({input, 0x90, 0x00});
  } catch (const PassportReaderError&) {
  }
  {
    // A warning with data is unwrapped like a success.
    SecureMessaging sm(Bytes(24, 0x11), Bytes(24, 0x22), Bytes(8, 0));
    (void)sm.tryUnprotect({input, 0x62, 0x82});
  }
  {
    platform::ByteCursor cursor(input);
    while (auto element = cursor.readAnyTlv()) {
      platform::ByteCursor inner(element->value);
      while (inner.readAnyTlv()) {
      }
    }
  }
  try {
    decodeAsn1Length(input);
  } catch (const PassportReaderError&) {
  }
  if (auto apdu = platform::NFCISO7816APDU::fromBytes(input)) {
    // Extended forms of small lengths come back short; the fields must survive.
    if (platform::NFCISO7816APDU::fromBytes(apdu->toBytes()) != apdu) __builtin_trap();
  }
  try {
    DataGroupParser::parseDataGroup(input);
  } catch (const PassportReaderError&) {
  }
  unpadIso9797(input);
  return 0;
}
