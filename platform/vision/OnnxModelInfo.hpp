#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/JSON.hpp"

namespace ostrel::platform {

// What the detector file format says about a model beyond its graph: read from the ONNX
// protobuf with a bounds-checked reader (OpenCV does not expose metadata).
struct OnnxModelInfo {
  std::string inputName;
  int inputChannels = 0;
  int inputHeight = 0;
  int inputWidth = 0;
  std::vector<std::string> outputNames;
  // The "labels" metadata entry, parsed as a JSON array of texts; nothing when absent.
  std::optional<std::vector<std::string>> labels;
};

// Throws `VisionError` (invalid model) with a description of what is wrong: data that is not a
// well-formed protobuf, no graph, no input, an input that is not 1 x 3 x H x W with a fixed
// size, or "labels" that are not a JSON array of texts.
OnnxModelInfo readOnnxModelInfo(const Bytes& data);

}  // namespace ostrel::platform
