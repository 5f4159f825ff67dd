#include "testing/TinyOnnxModel.hpp"

#include "network/ModelDownloader.hpp"

#include <cstdint>
#include <cstring>
#include <random>

namespace ostrel::testing {
namespace {

using platform::Bytes;

// Protobuf wire format, just what an ONNX model needs.
class Message {
 public:
  Message& varint(int field, std::uint64_t value) {
    key(field, 0);
    putVarint(value);
    return *this;
  }
  Message& bytes(int field, const void* data, std::size_t size) {
    key(field, 2);
    putVarint(size);
    auto p = static_cast<const std::uint8_t*>(data);
    out_.insert(out_.end(), p, p + size);
    return *this;
  }
  Message& text(int field, const std::string& s) { return bytes(field, s.data(), s.size()); }
  Message& message(int field, const Message& m) { return bytes(field, m.out_.data(), m.out_.size()); }
  const Bytes& data() const { return out_; }

 private:
  void key(int field, int wire) { putVarint(std::uint64_t(field) << 3 | std::uint64_t(wire)); }
  void putVarint(std::uint64_t v) {
    while (v >= 0x80) {
      out_.push_back(static_cast<std::uint8_t>(v | 0x80));
      v >>= 7;
    }
    out_.push_back(static_cast<std::uint8_t>(v));
  }
  Bytes out_;
};

constexpr int kFloat = 1, kInt64 = 7;

Message floatTensor(const std::string& name, const std::vector<std::int64_t>& dims,
                    const std::vector<float>& values) {
  Message t;
  for (auto d : dims) t.varint(1, static_cast<std::uint64_t>(d));
  t.varint(2, kFloat).text(8, name).bytes(9, values.data(), values.size() * sizeof(float));
  return t;
}

Message int64Tensor(const std::string& name, const std::vector<std::int64_t>& values) {
  Message t;
  t.varint(1, values.size()).varint(2, kInt64).text(8, name);
  t.bytes(9, values.data(), values.size() * sizeof(std::int64_t));
  return t;
}

Message valueInfo(const std::string& name, const std::vector<std::int64_t>& dims) {
  Message shape;
  for (auto d : dims) shape.message(1, Message().varint(1, static_cast<std::uint64_t>(d)));
  Message tensor;
  tensor.varint(1, kFloat).message(2, shape);
  return Message().text(1, name).message(2, Message().message(1, tensor));
}

Message intAttribute(const std::string& name, std::int64_t value) {
  return Message().text(1, name).varint(20, 2).varint(3, static_cast<std::uint64_t>(value));
}

Message intsAttribute(const std::string& name, const std::vector<std::int64_t>& values) {
  Message a;
  a.text(1, name).varint(20, 7);
  for (auto v : values) a.varint(8, static_cast<std::uint64_t>(v));
  return a;
}

Message node(const std::string& op, const std::vector<std::string>& inputs,
             const std::string& output, const std::vector<Message>& attributes = {}) {
  Message n;
  for (const auto& i : inputs) n.text(1, i);
  n.text(2, output).text(3, output + "_node").text(4, op);
  for (const auto& a : attributes) n.message(5, a);
  return n;
}

struct Head {
  std::string name;
  std::vector<float> weights;  // [rows x features]
  std::vector<float> bias;     // [rows]
  std::int64_t n = 0, columns = 0;
};

// Adds Gemm(features -> rows) and Reshape to [n x columns] for each head.
void addHeads(Message& graph, const std::string& features, std::int64_t featureCount,
              const std::vector<Head>& heads) {
  for (const auto& h : heads) {
    const std::int64_t rows = h.n * h.columns;
    graph.message(5, floatTensor(h.name + "_w", {rows, featureCount}, h.weights));
    graph.message(5, floatTensor(h.name + "_b", {rows}, h.bias));
    graph.message(5, int64Tensor(h.name + "_shape", {h.n, h.columns}));
    graph.message(1, node("Gemm", {features, h.name + "_w", h.name + "_b"}, h.name + "_flat",
                          {intAttribute("transB", 1)}));
    graph.message(1, node("Reshape", {h.name + "_flat", h.name + "_shape"}, h.name));
    graph.message(12, valueInfo(h.name, {h.n, h.columns}));
  }
}

Bytes model(const Message& graph, const std::optional<std::string>& labels) {
  Message m;
  m.varint(1, 8).text(2, "ostrel-tests");
  m.message(7, graph);
  m.message(8, Message().text(1, "").varint(2, 11));
  if (labels) m.message(14, Message().text(1, "labels").text(2, *labels));
  return m.data();
}

std::string labelsJson(const std::vector<std::string>& labels) {
  return nlohmann::json(labels).dump();
}

}  // namespace

Bytes tinyDetectorModel(const TinyDetectorRecipe& recipe) {
  const std::int64_t n = static_cast<std::int64_t>(recipe.scores.size());
  const std::int64_t c = recipe.scores.empty() ? 0 : static_cast<std::int64_t>(recipe.scores[0].size());
  Head confidence{recipe.confidenceName, {}, {}, n, c};
  for (const auto& row : recipe.scores) {
    for (const auto& score : row) {
      confidence.weights.insert(confidence.weights.end(), score.weights.begin(),
                                score.weights.end());
      confidence.bias.push_back(score.bias);
    }
  }
  Head coordinates{recipe.coordinatesName, {}, {}, static_cast<std::int64_t>(recipe.boxes.size()), 4};
  for (const auto& box : recipe.boxes) {
    for (float v : box) {
      coordinates.weights.insert(coordinates.weights.end(), {0, 0, 0});
      coordinates.bias.push_back(v);
    }
  }
  const std::int64_t s = recipe.inputSize;
  Message graph;
  graph.text(2, "tiny_detector");
  graph.message(11, valueInfo("image", {1, 3, s, s}));
  graph.message(1, node("GlobalAveragePool", {"image"}, "pooled"));
  graph.message(1, node("Flatten", {"pooled"}, "features", {intAttribute("axis", 1)}));
  addHeads(graph, "features", 3, {confidence, coordinates});
  std::optional<std::string> labels;
  if (!recipe.withoutLabels) labels = recipe.labelsMetadata.value_or(labelsJson(recipe.labels));
  return model(graph, labels);
}

TinyDetectorRecipe sampleCardDetectorRecipe() {
  TinyDetectorRecipe recipe;
  recipe.labels = {"card", "top_left_corner", "top_right_corner", "bottom_right_corner",
                   "bottom_left_corner"};
  // Detection n is of class n, its score rising with the frame's brightness.
  recipe.scores.assign(5, std::vector<TinyDetectorRecipe::Score>(5));
  for (std::size_t n = 0; n < 5; ++n) recipe.scores[n][n] = {{0.3f, 0.3f, 0.3f}, 0.05f};
  recipe.boxes = {{0.5f, 0.25f, 0.6f, 0.3f}, {0.2f, 0.1f, 0.02f, 0.02f}, {0.8f, 0.1f, 0.02f, 0.02f},
                  {0.8f, 0.4f, 0.02f, 0.02f}, {0.2f, 0.4f, 0.02f, 0.02f}};
  return recipe;
}

void storeShippedGlareModel() {
  TinyDetectorRecipe glare;
  glare.labels = {"glare"};
  glare.scores = {{{{0, 0, 0}, 0.01f}}};
  ModelDownloader().store("flashcard_model", tinyDetectorModel(glare));
}

Bytes convolutionalDetectorModel(int size, int detections, const std::vector<std::string>& labels) {
  std::mt19937 random(7);
  std::normal_distribution<float> noise(0, 0.1f);
  auto values = [&](std::size_t count) {
    std::vector<float> v(count);
    for (auto& x : v) x = noise(random);
    return v;
  };
  Message graph;
  graph.text(2, "conv_detector");
  graph.message(11, valueInfo("image", {1, 3, size, size}));
  std::string last = "image";
  std::int64_t channels = 3;
  for (std::int64_t out : {16, 32, 64, 64}) {
    const std::string name = "conv" + std::to_string(out) + "_" + std::to_string(channels);
    graph.message(5, floatTensor(name + "_w", {out, channels, 3, 3},
                                 values(std::size_t(out * channels * 9))));
    graph.message(5, floatTensor(name + "_b", {out}, values(std::size_t(out))));
    graph.message(1, node("Conv", {last, name + "_w", name + "_b"}, name,
                          {intsAttribute("kernel_shape", {3, 3}), intsAttribute("strides", {2, 2}),
                           intsAttribute("pads", {1, 1, 1, 1})}));
    graph.message(1, node("Relu", {name}, name + "_relu"));
    last = name + "_relu";
    channels = out;
  }
  graph.message(1, node("GlobalAveragePool", {last}, "pooled"));
  graph.message(1, node("Flatten", {"pooled"}, "features", {intAttribute("axis", 1)}));
  const std::int64_t n = detections, c = static_cast<std::int64_t>(labels.size());
  Head confidence{"confidence", values(std::size_t(n * c * channels)), values(std::size_t(n * c)),
                  n, c};
  Head coordinates{"coordinates", values(std::size_t(n * 4 * channels)),
                   values(std::size_t(n * 4)), n, 4};
  addHeads(graph, "features", channels, {confidence, coordinates});
  return model(graph, labelsJson(labels));
}

}  // namespace ostrel::testing
