#include "platform/vision/OnnxModelInfo.hpp"

#include <cstdint>
#include <set>

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

std::string initializerName(ProtoReader tensor) {
  while (!tensor.atEnd()) {
    auto [field, wire] = tensor.tag();
    if (field == 8 && wire == 2) return tensor.text();
    tensor.skip(wire);
  }
  return {};
}

std::vector<std::string> parseLabels(const std::string& text) {
  auto json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_array()) invalid("\"labels\" is not a JSON array");
  std::vector<std::string> labels;
  for (const auto& item : json) {
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
          initializers.insert(initializerName(graph.message()));
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
