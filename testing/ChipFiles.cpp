#include "testing/ChipFiles.hpp"

#include "nfc/ChipBytes.hpp"
#include "testing/SamplePerson.hpp"

namespace ostrel::testing {
namespace {

void append(Bytes& to, const Bytes& from) {
  to.insert(to.end(), from.begin(), from.end());
}

Bytes filler(std::size_t size, std::uint8_t seed) {
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7);
  return out;
}

}  // namespace

Bytes ChipFiles::tlv(int tag, const Bytes& value) {
  Bytes out;
  if (tag > 0xFF) out.push_back(static_cast<std::uint8_t>(tag >> 8));
  out.push_back(static_cast<std::uint8_t>(tag));
  if (value.size() > 0xFFFF) {
    // The long forms past two bytes, for objects larger than 64 KB.
    const std::size_t size = value.size();
    const int width = size > 0xFFFFFF ? 4 : 3;
    out.push_back(static_cast<std::uint8_t>(0x80 + width));
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
      out.push_back(static_cast<std::uint8_t>(size >> shift));
    }
  } else {
    append(out, encodeAsn1Length(static_cast<long long>(value.size())));
  }
  append(out, value);
  return out;
}

Bytes ChipFiles::com(const Bytes& groupTags) {
  Bytes value = tlv(0x5F01, {'0', '1', '0', '7'});
  append(value, tlv(0x5F36, {'0', '4', '0', '0', '0', '0'}));
  append(value, tlv(0x5C, groupTags));
  return tlv(0x60, value);
}

Bytes ChipFiles::dg1(const std::string& mrz) {
  return tlv(0x61, tlv(0x5F1F, Bytes(mrz.begin(), mrz.end())));
}

std::string ChipFiles::td3MRZ(const std::string& number, const std::string& birth,
                              const std::string& expiry) {
  MRZFields fields = samplePerson().passportFields();
  fields.documentNumber = number;
  fields.birth = birth;
  fields.expiry = expiry;
  return joinedZone(td3Zone(fields));
}

std::string ChipFiles::td1MRZ(const std::string& number, const std::string& birth,
                              const std::string& expiry) {
  MRZFields fields = samplePerson().cardFields();
  fields.documentNumber = number;
  fields.birth = birth;
  fields.expiry = expiry;
  return joinedZone(td1Zone(fields));
}

Bytes ChipFiles::jpegJFIF(std::size_t padding) {
  Bytes out{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  append(out, filler(padding, 0x11));
  append(out, {0xFF, 0xD9});
  return out;
}

Bytes ChipFiles::jpegEXIF(std::size_t padding) {
  Bytes out{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'E', 'x', 'i', 'f', 0x00};
  append(out, filler(padding, 0x22));
  append(out, {0xFF, 0xD9});
  return out;
}

Bytes ChipFiles::jp2(std::size_t padding) {
  Bytes out{0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
  append(out, filler(padding, 0x33));
  return out;
}

Bytes ChipFiles::j2k(std::size_t padding) {
  Bytes out{0xFF, 0x4F, 0xFF, 0x51};
  append(out, filler(padding, 0x44));
  return out;
}

Bytes ChipFiles::facialRecord(const Bytes& image, int featurePoints) {
  const std::size_t o = 34 + 8 * static_cast<std::size_t>(featurePoints);
  const std::size_t total = 14 + (o - 14) + 12 + image.size();
  Bytes r{'F', 'A', 'C', 0x00, '0', '1', '0', 0x00};
  for (int shift = 24; shift >= 0; shift -= 8)
    r.push_back(static_cast<std::uint8_t>(total >> shift));
  append(r, {0x00, 0x01});  // one facial image
  const std::size_t dataLength = total - 14;
  for (int shift = 24; shift >= 0; shift -= 8) {
    r.push_back(static_cast<std::uint8_t>(dataLength >> shift));
  }
  r.push_back(static_cast<std::uint8_t>(featurePoints >> 8));
  r.push_back(static_cast<std::uint8_t>(featurePoints));
  append(r, {0x02, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  for (int i = 0; i < featurePoints; ++i) append(r, {0x01, 0x01, 0x00, 0x10, 0x00, 0x20, 0, 0});
  append(r, {0x01, 0x01, 0x01, 0xE0, 0x02, 0x80, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00});
  append(r, image);
  return r;
}

Bytes ChipFiles::dg2(const Bytes& image, int featurePoints, int dataBlockTag) {
  Bytes header = tlv(0x80, {0x01, 0x01});
  append(header, tlv(0x87, {0x01, 0x01}));
  Bytes bit = tlv(0xA1, header);
  append(bit, tlv(dataBlockTag, facialRecord(image, featurePoints)));
  Bytes group = tlv(0x02, {0x01});
  append(group, tlv(0x7F60, bit));
  return tlv(0x75, tlv(0x7F61, group));
}

Bytes ChipFiles::opaque(int tag, std::size_t size) {
  return tlv(tag, filler(size, static_cast<std::uint8_t>(tag)));
}

Bytes ChipFiles::securityObject(const std::vector<std::pair<int, Bytes>>& groups) {
  const Bytes sha1{0x30, 0x07, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A};
  Bytes hashes;
  for (const auto& [number, file] : groups) {
    Bytes entry = tlv(0x02, {static_cast<std::uint8_t>(number)});
    append(entry, tlv(0x04, sha1Digest(file)));
    append(hashes, tlv(0x30, entry));
  }
  Bytes lds = tlv(0x02, {0x00});
  append(lds, sha1);
  append(lds, tlv(0x30, hashes));
  Bytes encapsulated = tlv(0x06, {0x67, 0x81, 0x08, 0x01, 0x01, 0x01});
  append(encapsulated, tlv(0xA0, tlv(0x04, tlv(0x30, lds))));
  Bytes signedData = tlv(0x02, {0x03});
  append(signedData, tlv(0x31, sha1));
  append(signedData, tlv(0x30, encapsulated));
  Bytes contentInfo = tlv(0x06, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02});
  append(contentInfo, tlv(0xA0, tlv(0x30, signedData)));
  return tlv(0x77, tlv(0x30, contentInfo));
}

}  // namespace ostrel::testing
