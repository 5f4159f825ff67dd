#include "nfc/NFCPassportModel.hpp"

#include <algorithm>
#include <cctype>

#include "platform/foundation/Base64.hpp"
#include "platform/ui/Text.hpp"

namespace ostrel {
namespace {

// The first `count` characters (code points) of `text` padded with "<"; UTF-8 sequences are
// kept whole.
std::string padOrCut(const std::string& text, std::size_t count) {
  std::string out;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size() && characters < count;) {
    std::size_t length = 1;
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    length = std::min(length, text.size() - i);
    out.append(text, i, length);
    i += length;
    ++characters;
  }
  for (; characters < count; ++characters) out += '<';
  return out;
}

}  // namespace

void NFCPassportModel::addDataGroup(DataGroupId id, std::shared_ptr<DataGroup> group) {
  dataGroupsRead[id] = std::move(group);
  if (id != DataGroupId::COM && id != DataGroupId::SOD) dataGroupsAvailable.push_back(id);
}

std::map<std::string, std::string> NFCPassportModel::dataGroupDump(
    const std::vector<DataGroupId>& ids) const {
  std::map<std::string, std::string> dump;
  for (auto id : ids) {
    auto it = dataGroupsRead.find(id);
    if (it == dataGroupsRead.end() || !it->second) continue;
    dump[platform::lowercased(id.name())] = platform::base64Encode(it->second->data());
  }
  return dump;
}

std::string NfcUtils::mrzKey(const std::string& documentNumber, const std::string& dateOfBirth,
                             const std::string& dateOfExpiry) {
  const std::string n = padOrCut(documentNumber, 9);
  const std::string b = padOrCut(dateOfBirth, 6);
  const std::string e = padOrCut(dateOfExpiry, 6);
  return n + std::to_string(mrzCheckDigit(n)) + b + std::to_string(mrzCheckDigit(b)) + e +
         std::to_string(mrzCheckDigit(e));
}

int NfcUtils::mrzCheckDigit(const std::string& text) {
  static constexpr int kWeights[] = {7, 3, 1};
  int sum = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    int value;
    if (c >= '0' && c <= '9') {
      value = c - '0';
    } else if (c == '<' || c == ' ') {
      value = 0;
    } else if (c >= 'A' && c <= 'Z') {
      value = c - 'A' + 10;
    } else {
      return 0;
    }
    sum += value * kWeights[i % 3];
  }
  return sum % 10;
}

}  // namespace ostrel
