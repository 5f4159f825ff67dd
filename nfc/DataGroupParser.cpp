#include "nfc/DataGroupParser.hpp"

#include <functional>

#include "nfc/COM.hpp"
#include "nfc/DataGroup2.hpp"
#include "nfc/PassportReaderError.hpp"

namespace ostrel {
namespace {

using Factory = std::function<std::shared_ptr<DataGroup>(const Bytes&)>;

template <class T>
Factory factory() {
  return [](const Bytes& data) -> std::shared_ptr<DataGroup> { return DataGroup::create<T>(data); };
}

const std::vector<Factory>& groupClasses() {
  static const std::vector<Factory> classes = {
      factory<COM>(),
      factory<DataGroup1>(),
      factory<DataGroup2>(),
      factory<NotImplementedDG>(),
      factory<NotImplementedDG>(),
      factory<NotImplementedDG>(),
      factory<NotImplementedDG>(),
      factory<DataGroup7>(),
      factory<NotImplementedDG>(),
      factory<NotImplementedDG>(),
      factory<NotImplementedDG>(),
      factory<DataGroup11>(),
      factory<DataGroup12>(),
      factory<NotImplementedDG>(),
      factory<DataGroup14>(),
      factory<DataGroup15>(),
      factory<NotImplementedDG>(),
      factory<SOD>(),
  };
  return classes;
}

}  // namespace

const std::vector<std::uint8_t>& DataGroupParser::groupTags() {
  static const std::vector<std::uint8_t> tags = {0x60, 0x61, 0x75, 0x63, 0x76, 0x65,
                                                 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B,
                                                 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x77};
  return tags;
}

const std::vector<std::string>& DataGroupParser::groupNames() {
  static const std::vector<std::string> names = {
      "Common", "DG1",  "DG2",  "DG3",  "DG4",  "DG5",  "DG6",  "DG7",  "DG8",
      "DG9",    "DG10", "DG11", "DG12", "DG13", "DG14", "DG15", "DG16", "SecurityData"};
  return names;
}

std::shared_ptr<DataGroup> DataGroupParser::parseDataGroup(const Bytes& data) {
  if (data.size() < 4) throw PassportReaderError::InvalidResponse();
  const auto& tags = groupTags();
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (tags[i] == data[0]) return groupClasses()[i](data);
  }
  throw PassportReaderError::UnknownTag();
}

}  // namespace ostrel
