#include "ui/AnimatedImage.hpp"

#include <cmath>
#include <numeric>

namespace ostrel {

using namespace platform;

std::int64_t gifFrameDelayMilliseconds(const JSON& properties) {
  std::optional<double> seconds;
  auto gif =
      properties.is_object() ? properties.find(kImagePropertyGIFDictionary) : properties.end();
  if (properties.is_object() && gif != properties.end() && gif->is_object()) {
    auto unclamped = gif->find(kImagePropertyGIFUnclampedDelayTime);
    if (unclamped != gif->end() && unclamped->is_number()) seconds = unclamped->get<double>();
    if (!seconds || *seconds == 0) {
      auto clamped = gif->find(kImagePropertyGIFDelayTime);
      if (clamped != gif->end() && clamped->is_number()) seconds = clamped->get<double>();
    }
  }
  if (!seconds || !std::isfinite(*seconds) || *seconds < 0.1) return 100;
  // Rounded: 2.01 s read as 2.00999... must stay 2010 ms, or the common divisor collapses to 1
  // and the frame list balloons.
  double ms = std::round(*seconds * 1000);
  // A frame longer than a day is shown for a day; nothing real asks for more.
  return static_cast<std::int64_t>(std::min(ms, 86400000.0));
}

ImagePtr animatedImage(const ImageSource& source) {
  std::vector<ImagePtr> images;
  std::vector<std::int64_t> delays;
  for (std::size_t i = 0; i < source.count(); ++i) {
    auto image = source.imageAt(i);
    if (!image) continue;
    images.push_back(std::move(image));
    delays.push_back(gifFrameDelayMilliseconds(source.propertiesAt(i)));
  }
  if (images.empty()) return nullptr;
  std::int64_t total = 0;
  std::int64_t g = delays.front();
  for (auto d : delays) {
    total += d;
    g = std::gcd(g, d);
  }
  if (g <= 0) g = 1;
  std::vector<ImagePtr> frames;
  for (std::size_t i = 0; i < images.size(); ++i) {
    for (std::int64_t k = 0; k < delays[i] / g; ++k) frames.push_back(images[i]);
  }
  return Image::animatedImage(std::move(frames), static_cast<double>(total) / 1000.0);
}

}  // namespace ostrel
