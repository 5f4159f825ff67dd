#include "platform/vision/GlyphRowSteps.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace ostrel::platform::glyphrows {

namespace {

// The widest gap a row goes on across, in glyph heights (some 20 cells of the zone's pitch).
constexpr double kMaxGapHeights = 25;
// Ink taller than this many typical glyph heights (a page's edge, a photo's border) is not a glyph.
constexpr double kTallestGlyphHeights = 2.5;

int oddAtLeast(int value, int minimum) {
  value = std::max(value, minimum);
  return value % 2 == 0 ? value + 1 : value;
}

}  // namespace

// Ink as 255 on 0. A local mean threshold follows light that changes across the picture; the
// block spans a few character heights at the sizes a camera frame gives (or `block` pixels).
// The threshold is taken over the print's depth below the paper around it (the paper's level
// found by closing over three quarters of a block, wider than any stroke), not over the grey
// itself: a dark table beside the card's edge would otherwise pull the mean down there, and the
// line printed next to the edge (a card's last line) would lose its ink.
cv::Mat binarise(const cv::Mat& grey, int block) {
  if (block <= 0) block = binariseBlock(grey);
  const int paperBlock = oddAtLeast(block * 3 / 4, 3);
  cv::Mat paper, flat, binary;
  cv::morphologyEx(grey, paper, cv::MORPH_CLOSE,
                   cv::getStructuringElement(cv::MORPH_RECT, cv::Size(paperBlock, paperBlock)));
  // White where the paper is, and as much darker as the print lies below it.
  cv::subtract(paper, grey, flat);
  cv::subtract(cv::Scalar(255), flat, flat);
  cv::adaptiveThreshold(flat, binary, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY_INV,
                        oddAtLeast(block, 3), 10);
  return binary;
}

int binariseBlock(const cv::Mat& grey) {
  return std::min(oddAtLeast(std::min(grey.cols, grey.rows) / 10, 15), 61);
}

int oddBlock(double size) { return oddAtLeast(static_cast<int>(std::lround(size)), 3); }

namespace {

// A run of ink along one row of the picture, [x0, x1), and the component it belongs to.
struct InkRun {
  int y, x0, x1;
  int parent;
};

int rootOf(std::vector<InkRun>& runs, int i) {
  while (runs[i].parent != i) {
    runs[i].parent = runs[runs[i].parent].parent;
    i = runs[i].parent;
  }
  return i;
}

// The picture's ink as runs along its rows, each joined to the runs of the row above that it
// touches, diagonally too (eight-connected).
std::vector<InkRun> joinedInkRuns(const cv::Mat& binary) {
  std::vector<InkRun> runs;
  runs.reserve(static_cast<std::size_t>(binary.rows) * 8);
  const int width = binary.cols;
  std::size_t above = 0, aboveEnd = 0;
  for (int y = 0; y < binary.rows; ++y) {
    const uchar* row = binary.ptr<uchar>(y);
    const std::size_t rowStart = runs.size();
    int x = 0;
    while (x < width) {
      // Paper is most of a row: skip it eight pixels at a time.
      while (x + 8 <= width) {
        std::uint64_t word;
        std::memcpy(&word, row + x, sizeof word);
        if (word != 0) break;
        x += 8;
      }
      while (x < width && row[x] == 0) ++x;
      if (x >= width) break;
      const int x0 = x;
      while (x < width && row[x] != 0) ++x;
      const int index = static_cast<int>(runs.size());
      runs.push_back({y, x0, x, index});
      // Runs above that end before this one's left neighbour cannot touch it or any run after it.
      while (above < aboveEnd && runs[above].x1 < x0) ++above;
      for (std::size_t j = above; j < aboveEnd && runs[j].x0 <= x; ++j) {
        const int a = rootOf(runs, static_cast<int>(j)), b = rootOf(runs, index);
        if (a != b) runs[std::max(a, b)].parent = std::min(a, b);
      }
    }
    above = rowStart;
    aboveEnd = runs.size();
  }
  return runs;
}

}  // namespace

// The components of the ink, eight-connected, found from its runs: a frame's ink is mostly long
// runs, and labelling each pixel cost more than the rest of finding the rows.
std::vector<Blob> findBlobs(const cv::Mat& binary) {
  std::vector<InkRun> runs = joinedInkRuns(binary);
  struct Extent {
    int left = 0, top = 0, right = 0, bottom = 0;
    long area = 0;
    // The first two-by-two block of the picture, row by row, that holds some of it.
    long firstBlock = 0;
  };
  const long blocksAcross = binary.cols / 2 + 1;
  auto blockOf = [blocksAcross](const InkRun& run) { return long(run.y / 2) * blocksAcross + run.x0 / 2; };
  // A component's extent is kept at its root, the first of its runs.
  std::vector<Extent> extents(runs.size());
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const InkRun& run = runs[i];
    const int root = rootOf(runs, static_cast<int>(i));
    Extent& e = extents[static_cast<std::size_t>(root)];
    if (root == static_cast<int>(i)) {
      e = {run.x0, run.y, run.x1, run.y + 1, run.x1 - run.x0, blockOf(run)};
      continue;
    }
    e.firstBlock = std::min(e.firstBlock, blockOf(run));
    e.left = std::min(e.left, run.x0);
    e.right = std::max(e.right, run.x1);
    e.bottom = std::max(e.bottom, run.y + 1);
    e.area += run.x1 - run.x0;
  }
  // In the order of the first two-by-two block holding some of each (no two components share
  // one), as the callers' row grouping has always taken them.
  std::vector<std::pair<long, Blob>> kept;
  const int maxHeight = std::max(6, binary.rows / 3);
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (runs[i].parent != static_cast<int>(i)) continue;
    const Extent& e = extents[i];
    const int w = e.right - e.left, h = e.bottom - e.top;
    const double area = static_cast<double>(e.area);
    if (h < 6 || h > maxHeight || area < 12) continue;
    if (w > 12 * h) continue;                                  // rules and frame edges
    if (area < 0.08 * static_cast<double>(w) * h) continue;    // thin curves of the background
    kept.push_back({e.firstBlock, {e.left + w / 2.0, e.top + h / 2.0, w, h}});
  }
  std::sort(kept.begin(), kept.end(), [](const auto& l, const auto& r) { return l.first < r.first; });
  std::vector<Blob> blobs;
  blobs.reserve(kept.size());
  for (const auto& entry : kept) blobs.push_back(entry.second);
  return blobs;
}

// The turn of the character rows: the angle at which the blob centres, projected across the
// rows, bunch up most.
double estimateSkew(const std::vector<Blob>& blobs, double typicalHeight) {
  const double bin = std::max(2.0, typicalHeight / 4.0);
  auto score = [&](double degrees) {
    const double s = std::sin(degrees * kDegree), c = std::cos(degrees * kDegree);
    std::vector<double> ys;
    ys.reserve(blobs.size());
    for (const auto& b : blobs) ys.push_back(b.cy * c - b.cx * s);
    const double lo = *std::min_element(ys.begin(), ys.end());
    std::vector<int> counts;
    for (double y : ys) {
      const auto index = static_cast<std::size_t>((y - lo) / bin);
      if (index >= counts.size()) counts.resize(index + 1, 0);
      ++counts[index];
    }
    double total = 0;
    for (int n : counts) total += static_cast<double>(n) * n;
    return total;
  };
  double best = 0, bestScore = -1;
  for (double a = -kMaxSkewDegrees; a <= kMaxSkewDegrees + 1e-9; a += 0.5) {
    const double value = score(a);
    if (value > bestScore) bestScore = value, best = a;
  }
  const double coarse = best;
  for (double a = coarse - 0.4; a <= coarse + 0.4 + 1e-9; a += 0.1) {
    const double value = score(a);
    if (value > bestScore) bestScore = value, best = a;
  }
  return best;
}

// Groups blobs into rows: from left to right along the skew, each blob joins the row whose last
// blob it continues best (close along the row, level with it across), so a row is followed as
// its own slope takes it; under perspective the rows of one zone are not parallel, and a
// single skew for all of them would cut across them at their ends. A row goes on across a gap
// as wide as most of a zone line: glare washes out whole stretches of a line, and the glyphs on
// both sides of it are still one row, which keeps their places (the cutting leaves blank cells
// in the gap). A row's reach across is set by its glyphs' height, where ink far taller than a
// glyph counts as glyph-high: a page's edge that starts a row would otherwise stretch its reach
// over the lines above and below, and the zone's two lines would be taken for one row.
std::vector<std::vector<Blob>> groupRows(const std::vector<Blob>& blobs, double skewDegrees,
                                         double typicalHeight) {
  const double s = std::sin(skewDegrees * kDegree), c = std::cos(skewDegrees * kDegree);
  struct Placed {
    double along, across;
    const Blob* blob;
  };
  auto glyphHeight = [&](const Blob& b) { return std::min(double(b.height), kTallestGlyphHeights * typicalHeight); };
  std::vector<Placed> placed;
  placed.reserve(blobs.size());
  for (const auto& b : blobs) placed.push_back({b.cx * c + b.cy * s, b.cy * c - b.cx * s, &b});
  std::sort(placed.begin(), placed.end(), [](const Placed& l, const Placed& r) { return l.along < r.along; });

  struct Chain {
    std::vector<const Placed*> members;
    double rowHeight = 0;
    double slope = 0;  // across per along, from its members
    // Where the row lies across, at `along`: on the line fitted through its last members once
    // it has a few, so that one stray member (a glyph half washed out by glare, whose centre
    // lies off the line) does not lead the row away from its line.
    std::optional<double> fittedAcross;  // at along 0
    double acrossAt(double along) const {
      if (fittedAcross) return *fittedAcross + slope * along;
      const Placed& last = *members.back();
      return last.across + slope * (along - last.along);
    }
  };
  // The line across = at0 + slope * along fitted through members [from, to), its slope held
  // within a tenth; nothing when they all stand at one place along.
  struct Line {
    double slope = 0, at0 = 0;
  };
  auto lineThrough = [](const std::vector<const Placed*>& members, std::size_t from,
                        std::size_t to) -> std::optional<Line> {
    double sa = 0, sc = 0, saa = 0, sac = 0, k = 0;
    for (std::size_t i = from; i < to; ++i) {
      const double a = members[i]->along, b = members[i]->across;
      sa += a, sc += b, saa += a * a, sac += a * b, k += 1;
    }
    const double det = k * saa - sa * sa;
    if (det <= 1e-9) return std::nullopt;
    const double slope = std::clamp((k * sac - sa * sc) / det, -0.1, 0.1);
    return Line{slope, (sc - slope * sa) / k};
  };
  std::vector<Chain> chains;
  for (const Placed& p : placed) {
    Chain* best = nullptr;
    double bestOffset = 0;
    for (auto& chain : chains) {
      const Placed& last = *chain.members.back();
      const double height = std::max(chain.rowHeight, glyphHeight(*p.blob));
      const double gap = p.along - p.blob->width / 2.0 - (last.along + last.blob->width / 2.0);
      if (gap > kMaxGapHeights * height) continue;
      const double offset = std::abs(p.across - chain.acrossAt(p.along));
      if (offset > 0.35 * std::max(typicalHeight, height)) continue;
      if (!best || offset < bestOffset) best = &chain, bestOffset = offset;
    }
    if (!best) {
      chains.push_back({});
      best = &chains.back();
    }
    best->members.push_back(&p);
    best->rowHeight = std::max(best->rowHeight, glyphHeight(*p.blob));
    // The slope through the last few members, for the next prediction.
    const std::size_t n = best->members.size();
    if (n >= 3) {
      if (const auto line = lineThrough(best->members, n > 12 ? n - 12 : 0, n)) {
        best->slope = line->slope;
        best->fittedAcross = line->at0;
      }
    }
  }
  // Blobs beside a row that are not print (a table's blotches beyond the document's edge) can
  // lead a chain that takes in the row's first glyphs, while the row goes on as a chain of its
  // own. A short chain's members that lie on a long row's line, within its reach, belong to it;
  // the line is fitted through the row's middle, away from what joined it at its ends.
  for (auto& row : chains) {
    const std::size_t n = row.members.size();
    if (n < 10) continue;
    const auto line = lineThrough(row.members, n / 5, n - n / 5);
    if (!line) continue;
    const double reach = kMaxGapHeights * row.rowHeight;
    const double from = row.members.front()->along - reach, to = row.members.back()->along + reach;
    for (auto& other : chains) {
      if (&other == &row || other.members.size() >= 6) continue;
      std::erase_if(other.members, [&](const Placed* p) {
        if (p->along < from || p->along > to) return false;
        if (std::abs(p->across - (line->at0 + line->slope * p->along)) > 0.35 * std::max(typicalHeight, row.rowHeight)) {
          return false;
        }
        row.members.insert(std::upper_bound(row.members.begin(), row.members.end(), p,
                                            [](const Placed* l, const Placed* r) { return l->along < r->along; }),
                           p);
        return true;
      });
    }
  }

  std::vector<std::vector<Blob>> rows;
  for (const auto& chain : chains) {
    if (chain.members.size() < 3) continue;
    std::vector<Blob> row;
    for (const Placed* p : chain.members) row.push_back(*p->blob);
    rows.push_back(std::move(row));
  }
  // Top to bottom, as the rows are reported.
  std::sort(rows.begin(), rows.end(), [&](const auto& l, const auto& r) {
    auto across = [&](const std::vector<Blob>& row) {
      double sum = 0;
      for (const auto& b : row) sum += b.cy * c - b.cx * s;
      return sum / double(row.size());
    };
    return across(l) < across(r);
  });
  return rows;
}

}  // namespace ostrel::platform::glyphrows
