#include "nfc/DataGroup2.hpp"

#include <algorithm>
#include <array>

#include "nfc/PassportReaderError.hpp"
#include "platform/foundation/ByteCursor.hpp"

namespace ostrel {
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
  platform::ByteCursor cursor(record);
  // Each field in the order of the record; a record that ends early is refused.
  auto field = [&cursor](std::size_t width) {
    const auto value = cursor.readUInt(width);
    if (!value) throw PassportReaderError::InvalidResponse();
    return static_cast<int>(*value);
  };
  static constexpr std::array<std::uint8_t, 4> kFormat = {'F', 'A', 'C', 0x00};
  const auto format = cursor.readBytes(kFormat.size());
  if (!format || !std::equal(format->begin(), format->end(), kFormat.begin())) {
    throw PassportReaderError::InvalidResponse();
  }
  versionNumber = field(4);
  lengthOfRecord = field(4);
  numberOfFacialImages = field(2);
  // Facial record header.
  facialRecordDataLength = field(4);
  nrFeaturePoints = field(2);
  gender = field(1);
  eyeColor = field(1);
  hairColor = field(1);
  featureMask = field(3);
  expression = field(2);
  poseAngle = field(3);
  poseAngleUncertainty = field(3);
  // Feature points: 8 bytes each, not kept.
  if (!cursor.skip(8 * static_cast<std::size_t>(nrFeaturePoints))) {
    throw PassportReaderError::InvalidResponse();
  }
  // Image information.
  faceImageType = field(1);
  imageDataType = field(1);
  imageWidth = field(2);
  imageHeight = field(2);
  imageColorSpace = field(1);
  sourceType = field(1);
  deviceType = field(2);
  quality = field(2);

  // JPEG is recognised by its start of image and first marker prefix alone: EXIF (FF E1) and
  // quantisation-table (FF DB) starts are as genuine as JFIF. JPEG 2000 by its signature box
  // or its codestream start.
  static constexpr std::array<std::uint8_t, 3> kJPEG = {0xFF, 0xD8, 0xFF};
  static constexpr std::array<std::uint8_t, 10> kJP2 = {0x00, 0x00, 0x00, 0x0C, 0x6A,
                                                        0x50, 0x20, 0x20, 0x0D, 0x0A};
  static constexpr std::array<std::uint8_t, 4> kJ2K = {0xFF, 0x4F, 0xFF, 0x51};
  const auto image = cursor.rest();
  if (image.empty()) throw PassportReaderError::InvalidResponse();
  auto startsWith = [&image](std::span<const std::uint8_t> signature) {
    return image.size() >= signature.size() &&
           std::equal(signature.begin(), signature.end(), image.begin());
  };
  if (!startsWith(kJPEG) && !startsWith(kJP2) && !startsWith(kJ2K)) {
    throw PassportReaderError::UnknownImageFormat();
  }
  imageData.assign(image.begin(), image.end());
}

}  // namespace ostrel
