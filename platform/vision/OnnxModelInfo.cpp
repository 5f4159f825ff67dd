#include "platform/vision/OnnxModelInfo.hpp"

#include <cstdint>
#include <set>

#include "platform/foundation/JSON.hpp"
#include "platform/vision/VisionError.hpp"

namespace ostrel::platform {
namespace {

[[noreturn]] void invalid(const std::string& what) {
  throw VisionError(VisionErrorCode::invalidModel, "The model file is not a usable detector: " + what);
}

// One protobuf message: fields read in order through a cursor that never passes the end.
class ProtoReader {
 public:
  ProtoReader(const std::uint8_t* data, std::size_t size) : data_(data), end_(size) {}

  bool atEnd() const { return at_ >= end_; }

  // The next field's number and wire type.
  std::pair<std::uint64_t, int> tag() {
    std::uint64_t key = varint();
    if (key >> 3 == 0) invalid("a field numbered 0");
    return {key >> 3, static_cast<int>(key & 7)};
  }

  std::uint64_t varint() {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (at_ >= end_) invalid("the data ends inside a number");
      std::uint8_t byte = data_[at_++];
      value |= std::uint64_t(byte & 0x7F) << shift;
      if (!(byte & 0x80)) return value;
    }
    invalid("a number longer than ten bytes");
  }

  ProtoReader message() {
    std::uint64_t length = varint();
    if (length > end_ - at_) invalid("a field runs past the end of the data");
    ProtoReader inner(data_ + at_, static_cast<std::size_t>(length));
    at_ += static_cast<std::size_t>(length);
    return inner;
  }

  // A length-delimited field's bytes.
  std::pair<const std::uint8_t*, std::size_t> bytes() {
    ProtoReader inner = message();
    return {inner.data_, inner.end_};
  }

  std::string text() {
    ProtoReader inner = message();
    return std::string(reinterpret_cast<const char*>(inner.data_), inner.end_);
  }

  void skip(int wireType) {
    switch (wireType) {
      case 0:
        varint();
        return;
      case 1:
        advance(8);
        return;
      case 2:
        message();
        return;
      case 5:
        advance(4);
        return;
      default:
        invalid("an unsupported field encoding");
    }
  }

 private:
  void advance(std::size_t n) {
    if (n > end_ - at_) invalid("a field runs past the end of the data");
    at_ += n;
  }

  const std::uint8_t* data_;
  std::size_t end_;
  std::size_t at_ = 0;
};

struct ValueInfo {
  std::string name;
  std::vector<std::int64_t> dims;  // -1 for a symbolic or missing dimension
};

std::vector<std::int64_t> readShape(ProtoReader shape) {
  std::vector<std::int64_t> dims;
  while (!shape.atEnd()) {
    auto [field, wire] = shape.tag();
    if (field == 1 && wire == 2) {
      ProtoReader dim = shape.message();
      std::int64_t value = -1;
      while (!dim.atEnd()) {
        auto [f, w] = dim.tag();
        if (f == 1 && w == 0) {
          value = static_cast<std::int64_t>(dim.varint());
        } else {
          dim.skip(w);
        }
      }
      dims.push_back(value);
    } else {
      shape.skip(wire);
    }
  }
  return dims;
}

ValueInfo readValueInfo(ProtoReader info) {
  ValueInfo value;
  while (!info.atEnd()) {
    auto [field, wire] = info.tag();
    if (field == 1 && wire == 2) {
      value.name = info.text();
    } else if (field == 2 && wire == 2) {
      ProtoReader type = info.message();
      while (!type.atEnd()) {
        auto [f, w] = type.tag();
        if (f == 1 && w == 2) {
          ProtoReader tensor = type.message();
          while (!tensor.atEnd()) {
            auto [tf, tw] = tensor.tag();
            if (tf == 2 && tw == 2) {
              value.dims = readShape(tensor.message());
            } else {
              tensor.skip(tw);
            }
          }
        } else {
          type.skip(w);
        }
      }
    } else {
      info.skip(wire);
    }
  }
  return value;
}

// Bytes per element of the ONNX tensor types with a fixed size; 0 for the others.
std::size_t elementSize(std::uint64_t dataType) {
  switch (dataType) {
    case 2: case 3: case 9:  // uint8, int8, bool
      return 1;
    case 4: case 5: case 10: case 16:  // uint16, int16, float16, bfloat16
      return 2;
    case 1: case 6: case 12:  // float, int32, uint32
      return 4;
    case 7: case 11: case 13:  // int64, double, uint64
      return 8;
    default:
      return 0;
  }
}

std::size_t countVarints(const std::uint8_t* data, std::size_t size) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < size; ++i) n += (data[i] & 0x80) ? 0 : 1;
  return n;
}

// A tensor's name, after checking that the data it carries is exactly what its type and
// dimensions say: OpenCV's importer copies as many bytes as the dimensions ask for, whatever
// the file holds.
std::string checkedTensor(ProtoReader tensor) {
  std::string name;
  std::vector<std::uint64_t> dims;
  std::uint64_t dataType = 0;
  std::optional<std::size_t> rawBytes;
  std::size_t packedBytes[16] = {};  // by field number, for the fixed-size typed fields
  std::size_t varintValues = 0;      // int32_data and int64_data, uint64_data
  bool stringData = false;
  while (!tensor.atEnd()) {
    auto [field, wire] = tensor.tag();
    if (field == 1 && wire == 0) {
      dims.push_back(tensor.varint());
    } else if (field == 1 && wire == 2) {
      ProtoReader packed = tensor.message();
      while (!packed.atEnd()) dims.push_back(packed.varint());
    } else if (field == 2 && wire == 0) {
      dataType = tensor.varint();
    } else if (field == 8 && wire == 2) {
      name = tensor.text();
    } else if (field == 9 && wire == 2) {
      rawBytes = tensor.bytes().second;
    } else if ((field == 4 || field == 10) && wire == 2) {
      packedBytes[field] += tensor.bytes().second;
    } else if (field == 4 && wire == 5) {
      tensor.skip(wire);
      packedBytes[4] += 4;
    } else if (field == 10 && wire == 1) {
      tensor.skip(wire);
      packedBytes[10] += 8;
    } else if ((field == 5 || field == 7 || field == 11) && wire == 2) {
      auto [data, size] = tensor.bytes();
      varintValues += countVarints(data, size);
    } else if ((field == 5 || field == 7 || field == 11) && wire == 0) {
      tensor.varint();
      ++varintValues;
    } else if (field == 6) {
      stringData = true;
      tensor.skip(wire);
    } else if (field == 13 || field == 14) {
      invalid("a tensor keeps its data outside the file");
    } else {
      tensor.skip(wire);
    }
  }
  std::uint64_t count = 1;
  for (auto d : dims) {
    // An empty tensor has no place in a detector, and OpenCV takes its shape from elsewhere.
    if (d == 0) invalid("a tensor has an empty dimension");
    if (d > (1u << 28) || count > (std::uint64_t(1) << 28) / (d ? d : 1)) {
      invalid("a tensor is too large");
    }
    count *= d;
  }
  const std::size_t size = elementSize(dataType);
  if (size == 0) {
    if (dataType == 8 && (stringData || count == 0)) return name;
    invalid("a tensor of an unsupported type");
  }
  std::uint64_t held = 0;
  if (rawBytes) {
    if (*rawBytes % size != 0) invalid("a tensor's data does not fit its type");
    held = *rawBytes / size;
  } else if (dataType == 1) {
    held = packedBytes[4] / 4;
  } else if (dataType == 11) {
    held = packedBytes[10] / 8;
  } else {
    held = varintValues;
  }
  if (held != count) invalid("a tensor holds other than what its dimensions say");
  return name;
}

// Nodes may carry tensors in their attributes; graphs nested in attributes are not part of the
// format.
void checkNode(ProtoReader node) {
  while (!node.atEnd()) {
    auto [field, wire] = node.tag();
    if (field == 5 && wire == 2) {
      ProtoReader attribute = node.message();
      while (!attribute.atEnd()) {
        auto [f, w] = attribute.tag();
        if ((f == 5 || f == 11) && w == 2) {
          checkedTensor(attribute.message());
        } else if (f == 6 || f == 12 || f == 22 || f == 23) {
          invalid("a node holds a nested graph");
        } else {
          attribute.skip(w);
        }
      }
    } else {
      node.skip(wire);
    }
  }
}

std::vector<std::string> parseLabels(const std::string& text) {
  auto json = platform::parseJSON(text);
  if (!json || !json->is_array()) invalid("\"labels\" is not a JSON array");
  std::vector<std::string> labels;
  for (const auto& item : *json) {
    if (!item.is_string()) invalid("\"labels\" holds something other than texts");
    labels.push_back(item.get<std::string>());
  }
  return labels;
}

}  // namespace

OnnxModelInfo readOnnxModelInfo(const Bytes& data) {
  if (data.empty()) invalid("the file is empty");
  ProtoReader model(data.data(), data.size());
  OnnxModelInfo info;
  std::vector<ValueInfo> inputs;
  std::set<std::string> initializers;
  bool sawGraph = false;
  while (!model.atEnd()) {
    auto [field, wire] = model.tag();
    if (field == 7 && wire == 2) {
      sawGraph = true;
      ProtoReader graph = model.message();
      while (!graph.atEnd()) {
        auto [f, w] = graph.tag();
        if (f == 11 && w == 2) {
          inputs.push_back(readValueInfo(graph.message()));
        } else if (f == 12 && w == 2) {
          info.outputNames.push_back(readValueInfo(graph.message()).name);
        } else if (f == 5 && w == 2) {
          initializers.insert(checkedTensor(graph.message()));
        } else if (f == 1 && w == 2) {
          checkNode(graph.message());
        } else if (f == 15) {
          invalid("it has sparse initializers");
        } else {
          graph.skip(w);
        }
      }
    } else if (field == 14 && wire == 2) {
      ProtoReader entry = model.message();
      std::string key, value;
      while (!entry.atEnd()) {
        auto [f, w] = entry.tag();
        if (f == 1 && w == 2) {
          key = entry.text();
        } else if (f == 2 && w == 2) {
          value = entry.text();
        } else {
          entry.skip(w);
        }
      }
      if (key == "labels") info.labels = parseLabels(value);
    } else {
      model.skip(wire);
    }
  }
  if (!sawGraph) invalid("it has no graph");
  const ValueInfo* input = nullptr;
  for (const auto& candidate : inputs) {
    if (!initializers.contains(candidate.name)) {
      input = &candidate;
      break;
    }
  }
  if (!input) invalid("it has no input");
  const auto& d = input->dims;
  if (d.size() != 4 || d[0] != 1 || d[1] != 3 || d[2] < 1 || d[3] < 1 || d[2] > 4096 ||
      d[3] > 4096) {
    invalid("its input is not 1 x 3 x H x W");
  }
  info.inputName = input->name;
  info.inputChannels = 3;
  info.inputHeight = static_cast<int>(d[2]);
  info.inputWidth = static_cast<int>(d[3]);
  return info;
}

}  // namespace ostrel::platform
