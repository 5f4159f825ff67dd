#include "testing/SamplePerson.hpp"

namespace ostrel::testing {

namespace {

SamplePerson makeSamplePerson() {
  SamplePerson p;
  p.printedName = "NGUYỄN THỊ MAI ANH";
  p.name = "Nguyễn Thị Mai Anh";
  p.surnameMRZ = "NGUYEN";
  p.givenNamesMRZ = "THI<MAI<ANH";
  // Province 001, a woman born in the 1900s (1), year 92, then the serial.
  p.idNumber = "001192004521";
  p.oldIdNumber = "013456789";
  p.birthday = "14/08/1992";
  p.gender = "Nữ";
  p.sexMRZ = 'F';
  // Issued at 28, so the card runs to the holder's 40th birthday.
  p.issueDate = "23/05/2021";
  p.expiryDate = "14/08/2032";
  p.placeOfIssue = "Cục Cảnh sát quản lý hành chính về trật tự xã hội";
  p.address = "Số 12 Ngõ 34 Phố Huế, Phường Phạm Đình Hổ, Quận Hai Bà Trưng, Hà Nội";
  p.homeTown = "Xã Đông Phương Yên, Huyện Chương Mỹ, Hà Nội";
  p.nationality = "Việt Nam";
  p.nationalityMRZ = "VNM";
  p.features = "Nốt ruồi C:2cm trên trước mày phải";
  p.fatherName = "Nguyễn Văn Bình";
  p.motherName = "Trần Thị Hoa";
  p.spouseName = "Lê Minh Quân";
  p.passportNumber = "C4271593";
  p.passportIssueDate = "10/01/2022";
  p.passportExpiryDate = "10/01/2032";
  return p;
}

// "dd/MM/yyyy" to "ddMMyyyy", as the QR code writes dates.
std::string qrDate(const std::string& ddMMyyyy) {
  return ddMMyyyy.substr(0, 2) + ddMMyyyy.substr(3, 2) + ddMMyyyy.substr(6, 4);
}

}  // namespace

const SamplePerson& samplePerson() {
  static const SamplePerson person = makeSamplePerson();
  return person;
}

std::string SamplePerson::documentNumber() const {
  return idNumber.size() > 9 ? idNumber.substr(idNumber.size() - 9) : idNumber;
}

std::string SamplePerson::mrzDate(const std::string& ddMMyyyy) {
  return ddMMyyyy.substr(8, 2) + ddMMyyyy.substr(3, 2) + ddMMyyyy.substr(0, 2);
}

std::string SamplePerson::qrText() const {
  return idNumber + "|" + oldIdNumber + "|" + name + "|" + qrDate(birthday) + "|" + gender + "|" +
         address + "|" + qrDate(issueDate);
}

MRZFields SamplePerson::cardFields() const {
  // The whole ID number follows in the optional data, closed by its own check digit.
  return zoneFields("ID", documentNumber(), idNumber + "<<" + checkDigitOf(idNumber), expiryMRZ());
}

MRZFields SamplePerson::passportFields() const {
  return zoneFields("P<", passportNumber, idNumber, passportExpiryMRZ());
}

MRZFields SamplePerson::zoneFields(std::string documentCode, std::string number,
                                   std::string optionalData, std::string expiry) const {
  MRZFields f;
  f.documentCode = std::move(documentCode);
  f.issuingState = nationalityMRZ;
  f.documentNumber = std::move(number);
  f.optionalData = std::move(optionalData);
  f.birth = birthMRZ();
  f.sex = sexMRZ;
  f.expiry = std::move(expiry);
  f.nationality = nationalityMRZ;
  f.names = surnameMRZ + "<<" + givenNamesMRZ;
  return f;
}

platform::JSON SamplePerson::cardFieldsJSON() const {
  return {{"name", printedName}, {"id_number", idNumber}, {"birthday", birthday},
          {"gender", gender},    {"home", homeTown},      {"resident", address},
          {"doi", issueDate},    {"doe", expiryDate},     {"poi", placeOfIssue},
          {"features", features}};
}

platform::JSON SamplePerson::chipRecordJSON(const std::string& faceImageBase64) const {
  return {{"id_number", idNumber},
          {"name", printedName},
          {"date_of_birth", birthday},
          {"gender", gender},
          {"hometown", homeTown},
          {"address", address},
          {"date_of_issuance", issueDate},
          {"date_of_expiry", expiryDate},
          {"personal_identification", features},
          {"father_name", fatherName},
          {"mother_name", motherName},
          {"spouse_name", spouseName},
          {"face_image", "data:image/png;base64," + faceImageBase64}};
}

}  // namespace ostrel::testing
