#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/JSON.hpp"

namespace ostrel::testing {

// A tiny object detector in the library's model file format, written at test time (no binary
// files in the tree): input "image" 1 x 3 x S x S; the picture's mean colour (R, G, B in 0-1)
// goes through one linear layer per output, so its scores follow the colour of the frame.
struct TinyDetectorRecipe {
  int inputSize = 32;
  std::vector<std::string> labels{"card", "top_left_corner"};
  // Per detection and class: weights on the mean R, G, B, and a bias.
  struct Score {
    std::array<float, 3> weights{0, 0, 0};
    float bias = 0;
  };
  // scores[n][c]; its size is the number of detections N.
  std::vector<std::vector<Score>> scores{{{{0.3f, 0.3f, 0.3f}, 0.05f}, {{0, 0, 0}, 0.5f}}};
  // Fixed boxes (centre x, centre y, width, height; normalised to the input, origin top-left).
  std::vector<std::array<float, 4>> boxes{{0.5f, 0.25f, 0.2f, 0.1f}};
  // Hostile variants.
  std::optional<std::string> labelsMetadata;  // raw "labels" text instead of the JSON of `labels`
  bool withoutLabels = false;
  std::string confidenceName = "confidence";
  std::string coordinatesName = "coordinates";
};

platform::Bytes tinyDetectorModel(const TinyDetectorRecipe& recipe = {});

// The card detector the local verification server hands out: in any light frame it sees a card
// and its four corners where the capture screen's target is, so a card held up to the camera is
// found and taken by the screen's automatic capture; a dark frame shows it nothing.
TinyDetectorRecipe sampleCardDetectorRecipe();

// Puts the glare model in the model store, as an integrator ships it with the application (the
// library downloads only the card model): a tiny detector that never sees glare. Throws the
// store's `ModelDownloader::DownloadError` when it cannot be stored.
void storeShippedGlareModel();

// A larger detector of realistic cost for benchmarks: `size` x `size` input, a few strided
// convolutions, then the same two outputs for `detections` boxes and `labels`.
platform::Bytes convolutionalDetectorModel(int size, int detections,
                                           const std::vector<std::string>& labels);

}  // namespace ostrel::testing
