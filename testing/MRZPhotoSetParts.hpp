#pragma once

// Shared between the photo set's sources: its random numbers and its printed page.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "testing/MRZPhotoSet.hpp"

namespace ostrel::testing {

// A small generator of our own, so that a seed gives the same set with any standard library.
class PhotoRandom {
 public:
  explicit PhotoRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  int below(int n) { return n <= 0 ? 0 : int(next() % std::uint64_t(n)); }
  bool chance(double p) { return uniform() < p; }
  double normal() {
    const double u = uniform() + 1e-12, v = uniform();
    return std::sqrt(-2 * std::log(u)) * std::cos(6.283185307179586 * v);
  }
  template <class T>
  const T& pick(const std::vector<T>& items) { return items[std::size_t(below(int(items.size())))]; }

 private:
  std::uint64_t state_;
};

// Millimetres of the zone's print: 10 characters per inch, 6 lines per inch.
constexpr double kPhotoPitchMm = 25.4 / 10;
constexpr double kPhotoLineMm = 25.4 / 6;
constexpr double kPhotoCapMm = 2.42;  // OCR-B size I capital height at that pitch
// The printer's resolution: 300 dpi.
constexpr double kPhotoPrinterDotsPerMm = 300 / 25.4;

// The printed page: linear-light BGR with coverage in the fourth channel (CV_32FC4), the page
// plus a margin where a hand may show; and where its zone sits, in page millimetres.
struct PhotoPage {
  cv::Mat texture;
  double pxPerMm = 16;
  double marginMm = 12;
  double widthMm = 0, heightMm = 0;  // of the document itself
  cv::Point2d zoneTopLeftMm;  // of the zone's first cell, top of the capitals
  double zoneWidthMm = 0, zoneHeightMm = 0;
};

PhotoPage printPhotoPage(const PhotoSequence& sequence);

}  // namespace ostrel::testing
