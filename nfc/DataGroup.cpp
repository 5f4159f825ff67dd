#include "nfc/DataGroup.hpp"

#include "nfc/PassportReaderError.hpp"

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
  const ByteSpan window = ByteSpan(data_).subspan(p, std::min<std::size_t>(4, data_.size() - p));
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

}  // namespace ostrel
