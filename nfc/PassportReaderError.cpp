#include "nfc/PassportReaderError.hpp"

#include <algorithm>
#include <mutex>

#include "core/Localization.hpp"
#include "platform/foundation/DeviceInfo.hpp"

namespace ostrel {
namespace {

const char* kindName(PassportReaderError::Kind kind) {
  using K = PassportReaderError::Kind;
  switch (kind) {
    case K::ResponseError:
      return "ResponseError";
    case K::InvalidDataPassed:
      return "InvalidDataPassed";
    case K::NotYetSupported:
      return "NotYetSupported";
    case K::InvalidResponse:
      return "InvalidResponse";
    case K::UnexpectedError:
      return "UnexpectedError";
    case K::NFCNotSupported:
      return "NFCNotSupported";
    case K::NoConnectedTag:
      return "NoConnectedTag";
    case K::D087Malformed:
      return "D087Malformed";
    case K::InvalidResponseChecksum:
      return "InvalidResponseChecksum";
    case K::MissingMandatoryFields:
      return "MissingMandatoryFields";
    case K::CannotDecodeASN1Length:
      return "CannotDecodeASN1Length";
    case K::InvalidASN1Value:
      return "InvalidASN1Value";
    case K::UnableToProtectAPDU:
      return "UnableToProtectAPDU";
    case K::UnableToUnprotectAPDU:
      return "UnableToUnprotectAPDU";
    case K::UnsupportedDataGroup:
      return "UnsupportedDataGroup";
    case K::DataGroupNotRead:
      return "DataGroupNotRead";
    case K::UnknownTag:
      return "UnknownTag";
    case K::UnknownImageFormat:
      return "UnknownImageFormat";
    case K::NotImplemented:
      return "NotImplemented";
    case K::TagNotValid:
      return "TagNotValid";
    case K::ConnectionError:
      return "ConnectionError";
    case K::UserCanceled:
      return "UserCanceled";
    case K::InvalidMRZKey:
      return "InvalidMRZKey";
    case K::MoreThanOneTagFound:
      return "MoreThanOneTagFound";
    case K::InvalidHashAlgorithmSpecified:
      return "InvalidHashAlgorithmSpecified";
  }
  return "UnexpectedError";
}

std::mutex& settingsMutex() {
  static std::mutex m;
  return m;
}
PassportReaderError::Localizer& hostLocalizer() {
  static PassportReaderError::Localizer localizer;
  return localizer;
}
NFCViewDisplayMessage::Localize& dictionaryLookup() {
  static NFCViewDisplayMessage::Localize lookup;
  return lookup;
}
std::optional<int>& osMajorOverride() {
  static std::optional<int> major;
  return major;
}

}  // namespace

PassportReaderError::PassportReaderError(Kind kind, std::string reason, std::uint8_t sw1,
                                         std::uint8_t sw2)
    : kind_(kind), reason_(std::move(reason)), sw1_(sw1), sw2_(sw2) {
  switch (kind_) {
    case Kind::ResponseError:
      message_ = reason_;
      break;
    case Kind::InvalidDataPassed:
      message_ = "Invalid data passed - " + reason_;
      break;
    case Kind::NotYetSupported:
      message_ = "Not yet supported - " + reason_;
      break;
    default:
      message_ = kindName(kind_);
  }
}

PassportReaderError PassportReaderError::ResponseError(std::string reason, std::uint8_t sw1,
                                                       std::uint8_t sw2) {
  return PassportReaderError(Kind::ResponseError, std::move(reason), sw1, sw2);
}
PassportReaderError PassportReaderError::InvalidDataPassed(std::string reason) {
  return PassportReaderError(Kind::InvalidDataPassed, std::move(reason));
}
PassportReaderError PassportReaderError::NotYetSupported(std::string reason) {
  return PassportReaderError(Kind::NotYetSupported, std::move(reason));
}

void PassportReaderError::setHostLocalizer(Localizer localizer) {
  std::lock_guard lock(settingsMutex());
  hostLocalizer() = std::move(localizer);
}

std::string PassportReaderError::hostLocalized(const std::string& key) {
  Localizer localizer;
  {
    std::lock_guard lock(settingsMutex());
    localizer = hostLocalizer();
  }
  if (localizer) {
    if (auto text = localizer(key); text && !text->empty()) return *text;
  }
  return key;
}

std::optional<std::string> PassportReaderError::errorDescription() const {
  return hostLocalized(message_);
}

std::optional<std::string> OpenSSLError::errorDescription() const {
  std::string text;
  switch (kind) {
    case Kind::UnableToGetX509CertificateFromPKCS7:
      text = "Unable to read the SOD PKCS7 Certificate. " + reason;
      break;
    case Kind::UnableToVerifyX509CertificateForSOD:
      text = "Unable to verify the SOD X509 certificate. " + reason;
      break;
    case Kind::VerifyAndReturnSODEncapsulatedData:
      text = "Unable to verify the SOD Datagroup hashes. " + reason;
      break;
    case Kind::UnableToReadECPublicKey:
      text = "Unable to read ECDSA Public key  " + reason + "!";
      break;
    case Kind::UnableToExtractSignedDataFromPKCS7:
      text = "Unable to extract Signer data from PKCS7  " + reason + "!";
      break;
    case Kind::VerifySignedAttributes:
      text = "Unable to Verify the SOD SignedAttributes  " + reason + "!";
      break;
    case Kind::UnableToParseASN1:
      text = "Unable to parse ASN1  " + reason + "!";
      break;
    case Kind::UnableToDecryptRSASignature:
      text = "DatUnable to decrypt RSA Signature " + reason + "!";
      break;
  }
  return PassportReaderError::hostLocalized(text);
}

std::optional<std::string> PassiveAuthenticationError::errorDescription() const {
  std::string text;
  switch (kind) {
    case Kind::UnableToParseSODHashes:
      text = "Unable to parse the SOD Datagroup hashes. " + reason;
      break;
    case Kind::InvalidDataGroupHash:
      text = "DataGroup hash not present or didn't match  " + reason + "!";
      break;
    case Kind::SODMissing:
      text = "DataGroup SOD not present or not read  " + reason + "!";
      break;
  }
  return PassportReaderError::hostLocalized(text);
}

NFCViewDisplayMessage NFCViewDisplayMessage::authenticatingWithPassport(int progress) {
  NFCViewDisplayMessage m(Kind::authenticatingWithPassport);
  m.progress_ = progress;
  return m;
}
NFCViewDisplayMessage NFCViewDisplayMessage::readingDataGroupProgress(DataGroupId group,
                                                                      int progress) {
  NFCViewDisplayMessage m(Kind::readingDataGroupProgress);
  m.group_ = group;
  m.progress_ = progress;
  return m;
}
NFCViewDisplayMessage NFCViewDisplayMessage::error(PassportReaderError error) {
  NFCViewDisplayMessage m(Kind::error);
  m.error_ = std::move(error);
  return m;
}
NFCViewDisplayMessage NFCViewDisplayMessage::requestPresentPassport() {
  return NFCViewDisplayMessage(Kind::requestPresentPassport);
}
NFCViewDisplayMessage NFCViewDisplayMessage::successfulRead() {
  return NFCViewDisplayMessage(Kind::successfulRead);
}

void NFCViewDisplayMessage::setLocalize(Localize localize) {
  std::lock_guard lock(settingsMutex());
  dictionaryLookup() = std::move(localize);
}

void NFCViewDisplayMessage::setOSMajorVersion(std::optional<int> major) {
  std::lock_guard lock(settingsMutex());
  osMajorOverride() = major;
}

std::string NFCViewDisplayMessage::text() const {
  Localize lookup;
  std::optional<int> major;
  {
    std::lock_guard lock(settingsMutex());
    lookup = dictionaryLookup();
    major = osMajorOverride();
  }
  if (!major) {
    const auto version = platform::DeviceInfo::current().systemVersion;
    int value = 0;
    for (char c : version) {
      if (c < '0' || c > '9') break;
      value = value * 10 + (c - '0');
      if (value > 1000) break;
    }
    major = value;
  }
  if (!lookup) lookup = [](const std::string& key) { return osl_localize(key); };
  return text(lookup, *major);
}

std::string NFCViewDisplayMessage::text(const Localize& localize, int osMajorVersion) const {
  switch (kind_) {
    case Kind::requestPresentPassport:
      return localize("nfc_reading_request_present");
    case Kind::successfulRead:
      return localize("nfc_read_successfully");
    case Kind::authenticatingWithPassport:
    case Kind::readingDataGroupProgress: {
      // Progress comes from a percentage computation; out-of-range values must still give
      // ten symbols rather than a negative repeat count.
      const int green = std::clamp(progress_, 0, 100) / 10;
      std::string bar;
      for (int i = 0; i < green; ++i) bar += "\U0001F7E2 ";
      for (int i = green; i < 10; ++i) bar += "\u26AA\uFE0F ";
      return localize("nfc_reading_title_reading") + (osMajorVersion >= 18 ? "\n" : "\n\n") + bar;
    }
    case Kind::error:
      switch (error_ ? error_->kind() : PassportReaderError::Kind::UnexpectedError) {
        case PassportReaderError::Kind::TagNotValid:
          return localize("nfc_error_invalid_chip");
        case PassportReaderError::Kind::ConnectionError:
          return localize("nfc_error_card_lost_connection");
        case PassportReaderError::Kind::InvalidMRZKey:
          return localize("nfc_invalid_mrz");
        case PassportReaderError::Kind::MoreThanOneTagFound:
          return localize("nfc_more_one_tag_found");
        default:
          return localize("nfc_common_error");
      }
  }
  return {};
}

}  // namespace ostrel
