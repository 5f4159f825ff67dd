#pragma once

#include "nfc/DataGroup.hpp"

namespace ostrel {

// The encoded face: a biometric information template whose data block is an ISO/IEC 19794-5
// facial record. Only the first image is parsed; parsing checks the structure.
class DataGroup2 : public DataGroup {
 public:
  int nrImages = 0;
  int versionNumber = 0;
  int lengthOfRecord = 0;
  int numberOfFacialImages = 0;
  int facialRecordDataLength = 0;
  int nrFeaturePoints = 0;
  int gender = 0;
  int eyeColor = 0;
  int hairColor = 0;
  int featureMask = 0;
  int expression = 0;
  int poseAngle = 0;
  int poseAngleUncertainty = 0;
  int faceImageType = 0;
  int imageDataType = 0;
  int imageWidth = 0;
  int imageHeight = 0;
  int imageColorSpace = 0;
  int sourceType = 0;
  int deviceType = 0;
  int quality = 0;
  Bytes imageData;

  // Throws `InvalidResponse` for a record too short or without "FAC\0", and
  // `UnknownImageFormat` for an image that is neither JPEG nor JPEG 2000.
  void parseFacialRecord(const Bytes& record);

 protected:
  void parse(const Bytes& data) override;
  DataGroupId ownType() const override { return DataGroupId::DG2; }
};

}  // namespace ostrel
