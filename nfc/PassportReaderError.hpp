#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "nfc/DataGroupId.hpp"

namespace ostrel {

// The one error type of every chip layer. Each case has a fixed text (`message`) on which the
// reading session's retry policy decides, so the texts must stay exactly as they are.
// Synchronous steps throw it; asynchronous steps hand it to their completion.
class PassportReaderError : public std::exception {
 public:
  enum class Kind {
    ResponseError,
    InvalidDataPassed,
    NotYetSupported,
    InvalidResponse,
    UnexpectedError,
    NFCNotSupported,
    NoConnectedTag,
    D087Malformed,
    InvalidResponseChecksum,
    MissingMandatoryFields,
    CannotDecodeASN1Length,
    InvalidASN1Value,
    UnableToProtectAPDU,
    UnableToUnprotectAPDU,
    UnsupportedDataGroup,
    DataGroupNotRead,
    UnknownTag,
    UnknownImageFormat,
    NotImplemented,
    TagNotValid,
    ConnectionError,
    UserCanceled,
    InvalidMRZKey,
    MoreThanOneTagFound,
    InvalidHashAlgorithmSpecified,
  };

  static PassportReaderError ResponseError(std::string reason, std::uint8_t sw1, std::uint8_t sw2);
  static PassportReaderError InvalidDataPassed(std::string reason);
  static PassportReaderError NotYetSupported(std::string reason);
  static PassportReaderError InvalidResponse() {
    return PassportReaderError(Kind::InvalidResponse);
  }
  static PassportReaderError UnexpectedError() {
    return PassportReaderError(Kind::UnexpectedError);
  }
  static PassportReaderError NFCNotSupported() {
    return PassportReaderError(Kind::NFCNotSupported);
  }
  static PassportReaderError NoConnectedTag() { return PassportReaderError(Kind::NoConnectedTag); }
  static PassportReaderError D087Malformed() { return PassportReaderError(Kind::D087Malformed); }
  static PassportReaderError InvalidResponseChecksum() {
    return PassportReaderError(Kind::InvalidResponseChecksum);
  }
  static PassportReaderError MissingMandatoryFields() {
    return PassportReaderError(Kind::MissingMandatoryFields);
  }
  static PassportReaderError CannotDecodeASN1Length() {
    return PassportReaderError(Kind::CannotDecodeASN1Length);
  }
  static PassportReaderError InvalidASN1Value() {
    return PassportReaderError(Kind::InvalidASN1Value);
  }
  static PassportReaderError UnableToProtectAPDU() {
    return PassportReaderError(Kind::UnableToProtectAPDU);
  }
  static PassportReaderError UnableToUnprotectAPDU() {
    return PassportReaderError(Kind::UnableToUnprotectAPDU);
  }
  static PassportReaderError UnsupportedDataGroup() {
    return PassportReaderError(Kind::UnsupportedDataGroup);
  }
  static PassportReaderError DataGroupNotRead() {
    return PassportReaderError(Kind::DataGroupNotRead);
  }
  static PassportReaderError UnknownTag() { return PassportReaderError(Kind::UnknownTag); }
  static PassportReaderError UnknownImageFormat() {
    return PassportReaderError(Kind::UnknownImageFormat);
  }
  static PassportReaderError NotImplemented() { return PassportReaderError(Kind::NotImplemented); }
  static PassportReaderError TagNotValid() { return PassportReaderError(Kind::TagNotValid); }
  static PassportReaderError ConnectionError() {
    return PassportReaderError(Kind::ConnectionError);
  }
  static PassportReaderError UserCanceled() { return PassportReaderError(Kind::UserCanceled); }
  static PassportReaderError InvalidMRZKey() { return PassportReaderError(Kind::InvalidMRZKey); }
  static PassportReaderError MoreThanOneTagFound() {
    return PassportReaderError(Kind::MoreThanOneTagFound);
  }
  static PassportReaderError InvalidHashAlgorithmSpecified() {
    return PassportReaderError(Kind::InvalidHashAlgorithmSpecified);
  }

  Kind kind() const { return kind_; }
  // The payload of `ResponseError`, `InvalidDataPassed` and `NotYetSupported`.
  const std::string& reason() const { return reason_; }
  std::uint8_t sw1() const { return sw1_; }
  std::uint8_t sw2() const { return sw2_; }

  // The fixed text of the case.
  const std::string& message() const { return message_; }
  // The host's localisation of `message`; `message` itself when the host has none.
  std::optional<std::string> errorDescription() const;
  std::string localizedDescription() const { return *errorDescription(); }
  const char* what() const noexcept override { return message_.c_str(); }

  friend bool operator==(const PassportReaderError& a, const PassportReaderError& b) {
    return a.kind_ == b.kind_ && a.reason_ == b.reason_ && a.sw1_ == b.sw1_ && a.sw2_ == b.sw2_;
  }

  // The host application's localisation of error texts (identity when it has none).
  using Localizer = std::function<std::optional<std::string>(const std::string& key)>;
  static void setHostLocalizer(Localizer localizer);
  static std::string hostLocalized(const std::string& key);

 private:
  explicit PassportReaderError(Kind kind, std::string reason = {}, std::uint8_t sw1 = 0,
                               std::uint8_t sw2 = 0);

  Kind kind_;
  std::string reason_;
  std::uint8_t sw1_ = 0;
  std::uint8_t sw2_ = 0;
  std::string message_;
};

// Error types of security-object checks. Nothing on the device verifies the security object,
// so nothing raises them; they keep their texts for hosts that match on them.
struct OpenSSLError {
  enum class Kind {
    UnableToGetX509CertificateFromPKCS7,
    UnableToVerifyX509CertificateForSOD,
    VerifyAndReturnSODEncapsulatedData,
    UnableToReadECPublicKey,
    UnableToExtractSignedDataFromPKCS7,
    VerifySignedAttributes,
    UnableToParseASN1,
    UnableToDecryptRSASignature,
  };
  Kind kind;
  std::string reason;
  std::optional<std::string> errorDescription() const;
};

struct PassiveAuthenticationError {
  enum class Kind { UnableToParseSODHashes, InvalidDataGroupHash, SODMissing };
  Kind kind;
  std::string reason;
  std::optional<std::string> errorDescription() const;
};

// What the system NFC sheet shows during a read.
class NFCViewDisplayMessage {
 public:
  enum class Kind {
    authenticatingWithPassport,
    readingDataGroupProgress,
    error,
    requestPresentPassport,
    successfulRead,
  };

  static NFCViewDisplayMessage authenticatingWithPassport(int progress);
  static NFCViewDisplayMessage readingDataGroupProgress(DataGroupId group, int progress);
  static NFCViewDisplayMessage error(PassportReaderError error);
  static NFCViewDisplayMessage requestPresentPassport();
  static NFCViewDisplayMessage successfulRead();

  Kind kind() const { return kind_; }
  int progress() const { return progress_; }
  DataGroupId dataGroup() const { return group_; }
  const std::optional<PassportReaderError>& readerError() const { return error_; }

  // Looks a localisation key up in the language dictionary; a missing key gives "".
  using Localize = std::function<std::string(const std::string& key)>;
  // The built-in sheet text, with the installed dictionary lookup and the device's OS version.
  std::string text() const;
  // The same with an explicit lookup and OS major version (the line feeds change at 18).
  std::string text(const Localize& localize, int osMajorVersion) const;

  // Replaces the language-dictionary lookup used by `text()` (none: `osl_localize`).
  static void setLocalize(Localize localize);
  // The OS major version `text()` assumes; by default the number the device reports.
  static void setOSMajorVersion(std::optional<int> major);

 private:
  explicit NFCViewDisplayMessage(Kind kind) : kind_(kind) {}
  Kind kind_;
  int progress_ = 0;
  DataGroupId group_ = DataGroupId::Unknown;
  std::optional<PassportReaderError> error_;
};

}  // namespace ostrel
