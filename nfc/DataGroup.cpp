#include "nfc/DataGroup.hpp"

#include <algorithm>

#include "nfc/PassportReaderError.hpp"
#include "platform/foundation/ByteCursor.hpp"

namespace ostrel {

void DataGroup::initialise(const Bytes& data) {
  datagroupType_ = DataGroupId::Unknown;
  body_.clear();
  data_ = data;
  pos_ = 1;
  getNextLength();
  body_.assign(data_.begin() + pos_, data_.end());
  parse(data_);
  didInitialise();
  datagroupType_ = ownType();
}

void DataGroup::parse(const Bytes&) {}

int DataGroup::getNextTag() {
  const std::size_t size = data_.size();
  const auto p = static_cast<std::size_t>(pos_);
  if (p >= size) throw PassportReaderError::TagNotValid();
  const std::uint8_t b = data_[p];
  // Two-byte tags as the chip's files use them: low nibble all set (5F01, 7F61, 7F2E, ...).
  if ((b & 0x0F) == 0x0F) {
    if (p + 1 >= size) throw PassportReaderError::TagNotValid();
    pos_ += 2;
    return (int{b} << 8) | data_[p + 1];
  }
  pos_ += 1;
  return b;
}

int DataGroup::getNextLength() {
  const auto p = static_cast<std::size_t>(pos_);
  if (p >= data_.size()) throw PassportReaderError::CannotDecodeASN1Length();
  const ByteSpan window = ByteSpan(data_).subspan(p, std::min<std::size_t>(5, data_.size() - p));
  const auto [length, fieldSize] = decodeAsn1Length(window);
  pos_ += fieldSize;
  return length;
}

Bytes DataGroup::getNextValue(int length) {
  const auto p = static_cast<std::size_t>(pos_);
  if (length < 0 || p + static_cast<std::size_t>(length) > data_.size()) {
    throw PassportReaderError::InvalidResponse();
  }
  Bytes value(data_.begin() + pos_, data_.begin() + pos_ + length);
  pos_ += length;
  return value;
}

std::string ASN1Item::debugDescription() const {
  std::string text = "pos:" + std::to_string(pos) + ", d=" + std::to_string(depth) +
                     ", hl=" + std::to_string(headerLen) + ", l=" + std::to_string(length) + ": " +
                     itemType + ": " + type + " " + value + "\n";
  for (const auto& child : children) {
    if (child) text += child->debugDescription();
  }
  return text;
}

std::vector<DataGroupId> SOD::dataGroupsListed() const {
  using platform::ByteCursor;
  // ContentInfo { signedData, [0] SignedData { version, digestAlgorithms,
  //   EncapsulatedContentInfo { id-icao-mrtd-security-ldsSecurityObject, [0] OCTET STRING {
  //     LDSSecurityObject { version, hashAlgorithm, SEQUENCE OF { number, hash } } } } } }
  static const Bytes kLdsSecurityObject{0x67, 0x81, 0x08, 0x01, 0x01, 0x01};
  auto inside = [](const std::optional<ByteCursor::Tlv>& element) {
    return element ? ByteCursor(element->value) : ByteCursor();
  };
  ByteCursor contentInfo = inside(ByteCursor(pkcs7CertificateData).readTlv(0x30));
  if (!contentInfo.readTlv(0x06)) return {};
  ByteCursor signedData = inside(inside(contentInfo.readTlv(0xA0)).readTlv(0x30));
  if (!signedData.readTlv(0x02) || !signedData.readTlv(0x31)) return {};
  ByteCursor encapsulated = inside(signedData.readTlv(0x30));
  const auto type = encapsulated.readTlv(0x06);
  if (!type || !std::equal(type->value.begin(), type->value.end(), kLdsSecurityObject.begin(),
                           kLdsSecurityObject.end())) {
    return {};
  }
  ByteCursor octets = inside(inside(encapsulated.readTlv(0xA0)).readTlv(0x04));
  ByteCursor securityObject = inside(octets.readTlv(0x30));
  if (!securityObject.readTlv(0x02) || !securityObject.readTlv(0x30)) return {};
  ByteCursor hashes = inside(securityObject.readTlv(0x30));
  std::vector<DataGroupId> listed;
  while (hashes.remaining() > 0) {
    const auto entry = hashes.readTlv(0x30);
    if (!entry) return {};
    ByteCursor fields(entry->value);
    const auto number = fields.readTlv(0x02);
    if (!number || number->value.size() != 1) return {};
    const int n = number->value[0];
    if (n < 1 || n > 16) continue;
    listed.push_back(DataGroupId::fromName("DG" + std::to_string(n)));
  }
  return listed;
}

}  // namespace ostrel
