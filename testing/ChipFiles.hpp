#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Bytes.hpp"

namespace ostrel::testing {

using platform::Bytes;

// Builders of well-formed chip files for the simulated chip and for parser tests.
struct ChipFiles {
  // tag || BER length || value.
  static Bytes tlv(int tag, const Bytes& value);
  // EF.COM of LDS 1.7, Unicode 4.0.0 with the given group tags.
  static Bytes com(const Bytes& groupTags);
  // DG1 of a TD3 passport (88 MRZ characters) or a TD1 card (90 characters).
  static Bytes dg1(const std::string& mrz);
  // The sample person's passport and card zones with these three fields in place, every check
  // digit computed (short or long values are padded or cut to their widths).
  static std::string td3MRZ(const std::string& documentNumber, const std::string& dateOfBirth,
                            const std::string& dateOfExpiry);
  static std::string td1MRZ(const std::string& documentNumber, const std::string& dateOfBirth,
                            const std::string& dateOfExpiry);
  // A small JFIF-headed JPEG, an EXIF-headed one, a JP2 file and a J2K codestream, each with
  // `padding` filler bytes after the signature so tests can make large images.
  static Bytes jpegJFIF(std::size_t padding = 64);
  static Bytes jpegEXIF(std::size_t padding = 64);
  static Bytes jp2(std::size_t padding = 64);
  static Bytes j2k(std::size_t padding = 64);
  // ISO/IEC 19794-5 facial record with the image.
  static Bytes facialRecord(const Bytes& image, int featurePoints = 0);
  // DG2 holding one facial record; `dataBlockTag` 0x5F2E or 0x7F2E.
  static Bytes dg2(const Bytes& image, int featurePoints = 0, int dataBlockTag = 0x5F2E);
  // A group the device keeps as bytes: tag, length and `size` filler bytes.
  static Bytes opaque(int tag, std::size_t size);
  // EF.SOD: CMS signed data (no signer infos) around an LDS security object with the SHA-1
  // hash of each group, given by number (1 = DG1 ...) with its file.
  static Bytes securityObject(const std::vector<std::pair<int, Bytes>>& groups);
};

}  // namespace ostrel::testing
