#include "nfc/DataGroup2.hpp"

#include <algorithm>
#include <array>

#include "nfc/PassportReaderError.hpp"

namespace ostrel {
namespace {

int bigEndian(const Bytes& record, std::size_t at, std::size_t width) {
  if (at + width > record.size()) throw PassportReaderError::InvalidResponse();
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value = (value << 8) | record[at + i];
  return static_cast<int>(value);
}

bool startsWith(const Bytes& record, std::size_t at, std::span<const std::uint8_t> signature) {
  return at + signature.size() <= record.size() &&
         std::equal(signature.begin(), signature.end(), record.begin() + at);
}

}  // namespace

void DataGroup2::parse(const Bytes&) {
  if (getNextTag() != 0x7F61) throw PassportReaderError::InvalidResponse();
  getNextLength();
  if (getNextTag() != 0x02) throw PassportReaderError::InvalidResponse();
  const Bytes count = getNextValue(getNextLength());
  if (count.empty()) throw PassportReaderError::InvalidResponse();
  nrImages = count[0];
  if (getNextTag() != 0x7F60) throw PassportReaderError::InvalidResponse();
  getNextLength();
  if (getNextTag() != 0xA1) throw PassportReaderError::InvalidResponse();
  getNextValue(getNextLength());
  if ((getNextTag() | 0x2000) != 0x7F2E) throw PassportReaderError::InvalidResponse();
  parseFacialRecord(getNextValue(getNextLength()));
}

void DataGroup2::parseFacialRecord(const Bytes& record) {
  static constexpr std::array<std::uint8_t, 4> kFormat = {'F', 'A', 'C', 0x00};
  if (!startsWith(record, 0, kFormat)) throw PassportReaderError::InvalidResponse();
  versionNumber = bigEndian(record, 4, 4);
  lengthOfRecord = bigEndian(record, 8, 4);
  numberOfFacialImages = bigEndian(record, 12, 2);
  facialRecordDataLength = bigEndian(record, 14, 4);
  nrFeaturePoints = bigEndian(record, 18, 2);
  gender = bigEndian(record, 20, 1);
  eyeColor = bigEndian(record, 21, 1);
  hairColor = bigEndian(record, 22, 1);
  featureMask = bigEndian(record, 23, 3);
  expression = bigEndian(record, 26, 2);
  poseAngle = bigEndian(record, 28, 3);
  poseAngleUncertainty = bigEndian(record, 31, 3);
  const std::size_t o = 34 + 8 * static_cast<std::size_t>(nrFeaturePoints);
  faceImageType = bigEndian(record, o, 1);
  imageDataType = bigEndian(record, o + 1, 1);
  imageWidth = bigEndian(record, o + 2, 2);
  imageHeight = bigEndian(record, o + 4, 2);
  imageColorSpace = bigEndian(record, o + 6, 1);
  sourceType = bigEndian(record, o + 7, 1);
  deviceType = bigEndian(record, o + 8, 2);
  quality = bigEndian(record, o + 10, 2);

  // JPEG is recognised by its start of image and first marker prefix alone: EXIF (FF E1) and
  // quantisation-table (FF DB) starts are as genuine as JFIF. JPEG 2000 by its signature box
  // or its codestream start.
  static constexpr std::array<std::uint8_t, 3> kJPEG = {0xFF, 0xD8, 0xFF};
  static constexpr std::array<std::uint8_t, 10> kJP2 = {0x00, 0x00, 0x00, 0x0C, 0x6A,
                                                        0x50, 0x20, 0x20, 0x0D, 0x0A};
  static constexpr std::array<std::uint8_t, 4> kJ2K = {0xFF, 0x4F, 0xFF, 0x51};
  const std::size_t image = o + 12;
  if (image >= record.size()) throw PassportReaderError::InvalidResponse();
  if (!startsWith(record, image, kJPEG) && !startsWith(record, image, kJP2) &&
      !startsWith(record, image, kJ2K)) {
    throw PassportReaderError::UnknownImageFormat();
  }
  imageData.assign(record.begin() + static_cast<std::ptrdiff_t>(image), record.end());
}

}  // namespace ostrel
