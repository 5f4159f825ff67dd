#pragma once

// The tag reader session's backend on a Linux machine: any PC/SC reader served by pcscd
// (a contactless reader through libccid, or the vpcd virtual reader in tests).
//
// A card that appears in a reader counts as a tag entering the field. The card is connected
// (shared exclusively, T=0 or T=1) when it is found, so that the session can select the eMRTD
// application before reporting it. Each command is one SCardTransmit on the session queue; a
// 61 xx answer is completed with GET RESPONSE here, since the phone platform never shows it.
// Transmission errors carry the platform's codes: a removed or reset card is 100 "Tag
// connection lost", anything else 102. Since a card pulled away in the middle of a command
// makes the transmission fail with whatever the driver saw, a failed exchange is followed by
// asking pcscd for the card's state (waiting briefly for it to notice a removal), and a card
// that has left is reported as 100 too.

#include <string>
#include <vector>

#include "platform/nfc/NFCReaderBackend.hpp"

namespace ostrel::platform {

class PCSCReaderBackend : public NFCReaderBackend {
 public:
  // Only readers whose name contains `readerNameFilter` are watched (all when empty).
  explicit PCSCReaderBackend(std::string readerNameFilter = {});

  // pcscd answers and lists at least one reader.
  bool readingAvailable() override;
  std::shared_ptr<NFCTagSource> makeTagSource(std::shared_ptr<DispatchQueue> sessionQueue) override;

  // The readers pcscd lists now (filtered); empty when pcscd cannot be reached, with the reason
  // in `error` when given.
  std::vector<std::string> readerNames(std::string* error = nullptr) const;

 private:
  std::string filter_;
};

}  // namespace ostrel::platform
