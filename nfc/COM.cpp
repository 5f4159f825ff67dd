#include "nfc/COM.hpp"

#include <string>

#include "nfc/DataGroupParser.hpp"
#include "nfc/Log.hpp"
#include "nfc/PassportReaderError.hpp"

namespace ostrel {
namespace {

// Two ASCII bytes read as text up to the first 00 and parsed as a decimal number; -1 when
// they are not one.
int twoDigitNumber(const Bytes& value, std::size_t at) {
  std::string text;
  for (std::size_t i = at; i < at + 2 && i < value.size() && value[i] != 0; ++i) {
    text += static_cast<char>(value[i]);
  }
  if (text.empty()) return -1;
  int number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

void COM::parse(const Bytes&) {
  if (getNextTag() != 0x5F01) throw PassportReaderError::InvalidResponse();
  const Bytes lds = getNextValue(getNextLength());
  if (lds.size() == 4) {
    const int major = twoDigitNumber(lds, 0);
    const int minor = twoDigitNumber(lds, 2);
    if (major != -1 && minor != -1) version = std::to_string(major) + "." + std::to_string(minor);
  }

  if (getNextTag() != 0x5F36) throw PassportReaderError::InvalidResponse();
  const Bytes unicode = getNextValue(getNextLength());
  if (unicode.size() == 6) {
    const int a = twoDigitNumber(unicode, 0);
    const int b = twoDigitNumber(unicode, 2);
    const int c = twoDigitNumber(unicode, 4);
    if (a != -1 && b != -1 && c != -1) {
      unicodeVersion = std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c);
    }
  }

  if (getNextTag() != 0x5C) throw PassportReaderError::InvalidResponse();
  const Bytes tags = getNextValue(getNextLength());
  const auto& groupTags = DataGroupParser::groupTags();
  const auto& groupNames = DataGroupParser::groupNames();
  for (auto tag : tags) {
    for (std::size_t i = 0; i < groupTags.size(); ++i) {
      if (groupTags[i] == tag) {
        dataGroupsPresent.push_back(groupNames[i]);
        break;
      }
    }
  }
  Log::debugTrace([&] {
    std::string list;
    for (const auto& name : dataGroupsPresent) list += (list.empty() ? "" : ", ") + name;
    return "DG Found - [" + list + "]";
  });
}

}  // namespace ostrel
