#pragma once

#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "nfc/DataGroup.hpp"
#include "nfc/DataGroupId.hpp"

namespace ostrel {

enum class PassportAuthenticationStatus { notDone, success, failed };

// The groups of one chip read. Nothing here is verified on the device: the groups and the
// security object are handed on raw.
class NFCPassportModel {
 public:
  // Document fields nothing derives on the device; they stay empty.
  std::optional<std::string> documentType, documentSubType, documentNumber, issuingAuthority,
      documentExpiryDate, dateOfBirth, gender, nationality, lastName, firstName, passportMRZ;
  std::optional<std::vector<std::string>> names;
  std::optional<std::optional<std::string>> placeOfBirth, residenceAddress, phoneNumber,
      personalNumber;
  std::optional<std::string> LDSVersion;
  std::optional<std::vector<std::string>> dataGroupsPresent;

  // Ids of the groups read except COM and SOD, in the order read (repeats included).
  std::vector<DataGroupId> dataGroupsAvailable;
  std::unordered_map<DataGroupId, std::shared_ptr<DataGroup>> dataGroupsRead;
  std::unordered_map<DataGroupId, DataGroupHash> dataGroupHashes;
  PassportAuthenticationStatus BACStatus = PassportAuthenticationStatus::notDone;
  PassportAuthenticationStatus chipAuthenticationStatus = PassportAuthenticationStatus::notDone;
  bool passportCorrectlySigned = false;
  bool documentSigningCertificateVerified = false;
  bool passportDataNotTampered = false;
  bool activeAuthenticationPassed = false;
  Bytes activeAuthenticationChallenge;
  Bytes activeAuthenticationSignature;
  std::vector<std::exception_ptr> verificationErrors;

  // Stores a group under the id that was asked for (a second one replaces the first).
  void addDataGroup(DataGroupId id, std::shared_ptr<DataGroup> group);
  // Lower-case group name -> base64 (padded, no line breaks) of the group's whole file.
  std::map<std::string, std::string> dataGroupDump(const std::vector<DataGroupId>& ids) const;
};

// The basic-access-control key text and the ICAO 9303 check digit.
class NfcUtils {
 public:
  static std::string mrzKey(const std::string& documentNumber, const std::string& dateOfBirth,
                            const std::string& dateOfExpiry);
  static int mrzCheckDigit(const std::string& text);
};

}  // namespace ostrel
