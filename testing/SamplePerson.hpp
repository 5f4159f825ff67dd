#pragma once

// The one person the test doubles agree on: the verification server's replies, the simulated
// chip's files and the zones a scanner would read all describe the same holder of a Vietnamese
// citizen ID card (and of a passport), so a whole flow can open the simulated chip with the key
// any screen derives from them.

#include <string>
#include <vector>

#include "platform/foundation/JSON.hpp"
#include "testing/MRZTestData.hpp"

namespace ostrel::testing {

struct SamplePerson {
  // As printed on the card (upper case, with diacritics) and as the card's QR code spells it.
  std::string printedName;
  std::string name;
  std::string surnameMRZ;     // "NGUYEN"
  std::string givenNamesMRZ;  // "THI<MAI<ANH"
  std::string idNumber;       // twelve digits
  std::string oldIdNumber;    // the nine digits of the card it replaced
  std::string birthday;       // dd/MM/yyyy
  std::string gender;         // as the card and the server write it
  char sexMRZ = '<';
  std::string issueDate;   // dd/MM/yyyy
  std::string expiryDate;  // dd/MM/yyyy, as the card's age rule gives it
  std::string placeOfIssue;
  std::string address;   // place of residence
  std::string homeTown;  // place of origin
  std::string nationality;
  std::string nationalityMRZ;  // "VNM"
  std::string features;        // personal identification marks
  std::string fatherName;
  std::string motherName;
  std::string spouseName;
  std::string passportNumber;
  std::string passportIssueDate;   // dd/MM/yyyy
  std::string passportExpiryDate;  // dd/MM/yyyy

  // The card's nine-character document number: the last nine digits of the ID number.
  std::string documentNumber() const;
  // Dates as a zone prints them (YYMMDD).
  static std::string mrzDate(const std::string& ddMMyyyy);
  std::string birthMRZ() const { return mrzDate(birthday); }
  std::string expiryMRZ() const { return mrzDate(expiryDate); }
  std::string passportExpiryMRZ() const { return mrzDate(passportExpiryDate); }

  // The text of the card's QR code: ID number, old ID number, name, birth date (ddMMyyyy), gender,
  // address and issue date (ddMMyyyy), separated by "|".
  std::string qrText() const;

  MRZFields cardFields() const;
  MRZFields passportFields() const;
  // The card's TD1 zone and the passport's TD3 zone, every check digit computed.
  std::vector<std::string> td1Zone() const { return testing::td1Zone(cardFields()); }
  std::vector<std::string> td3Zone() const { return testing::td3Zone(passportFields()); }

  // The server's recognised card fields (front and back) and its record of the chip.
  platform::JSON cardFieldsJSON() const;
  platform::JSON chipRecordJSON(const std::string& faceImageBase64) const;

 private:
  MRZFields zoneFields(std::string documentCode, std::string number, std::string optionalData,
                       std::string expiry) const;
};

const SamplePerson& samplePerson();

}  // namespace ostrel::testing
