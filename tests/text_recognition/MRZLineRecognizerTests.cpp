// The zone reader on single pictures: zone lines read exactly under turns, uneven light, blur,
// noise and JPEG loss (the harshest pictures, where a single frame may miss a character, are
// left to the evaluation set's sequences), one line per row with its box; other print on the card comes back with
// a low confidence as something the line finder refuses; any picture at all is read without a
// crash.

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/GlyphRowSteps.hpp"
#include "platform/vision/GlyphRows.hpp"
#include "platform/vision/MRZLineRecognizer.hpp"
#include "platform/vision/OCRBGlyphTemplates.hpp"
#include "scan/MRZLineFinder.hpp"
#include "testing/MRZLinePrint.hpp"
#include "testing/MRZPictureRenderer.hpp"
#include "testing/MRZTestData.hpp"

namespace ostrel::testing {
namespace {

using platform::MRZLineRecognizer;
using platform::RecognizedTextLine;

std::string withoutSpaces(std::string text) {
  std::erase(text, ' ');
  return text;
}

TEST(MRZLineRecognizerTest, ReadsZoneLinesExactlyUnderCameraFaults) {
  struct Case {
    const char* name;
    std::vector<std::string> zone;
    MRZPictureStyle style;
  };
  auto style = [](int size, double degrees, double blur, double noise, double light, int jpeg) {
    MRZPictureStyle s;
    s.characterHeight = size;
    s.rotationDegrees = degrees;
    s.blurSigma = blur;
    s.noiseSigma = noise;
    s.unevenLight = light;
    s.jpegQuality = jpeg;
    s.seed = static_cast<std::uint32_t>(size * 31 + jpeg);
    return s;
  };
  const std::vector<Case> cases = {
      {"card, level", kTD1Card, style(30, 0, 0, 0, 0, 0)},
      {"card, turned 5 degrees left", kTD1Card, style(30, 5, 0.5, 3, 0, 80)},
      {"card, turned 5 degrees right", kTD1Card, style(30, -5, 0.5, 3, 0, 80)},
      {"card, large print", kTD1Card, style(40, 2, 1, 4, 0.5, 60)},
      {"card, dark corner", kTD1Card, style(26, -1, 0.8, 4, 1, 60)},
      {"passport, small and blurred", kTD3Passport, style(18, 1, 1.2, 6, 0.3, 60)},
      {"passport, turned and unevenly lit", kTD3Passport, style(26, -4.5, 1, 6, 1, 60)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MRZLineRecognizer reader;
    const std::vector<RecognizedTextLine> lines = reader.recognize(renderMRZRegion(c.zone, c.style), {});

    std::vector<const RecognizedTextLine*> zoneLines;
    for (const auto& line : lines) {
      if (line.confidence >= 0.5) zoneLines.push_back(&line);
    }
    ASSERT_EQ(zoneLines.size(), c.zone.size());
    for (std::size_t i = 0; i < c.zone.size(); ++i) {
      EXPECT_EQ(zoneLines[i]->string, c.zone[i]);
      const auto& box = zoneLines[i]->boundingBox;
      EXPECT_GE(box.minX(), 0);
      EXPECT_LE(box.maxX(), 1);
      EXPECT_GT(box.width(), 0.5);  // the zone spans most of the region
      EXPECT_LT(box.height(), 0.2);
      if (i > 0) {  // top to bottom, origin bottom-left
        EXPECT_LT(box.midY(), zoneLines[i - 1]->boundingBox.midY());
      }
    }
    // The card's other print, above the zone: read with a low confidence, refused by the finder.
    ASSERT_EQ(lines.size(), c.zone.size() + 1);
    EXPECT_LT(lines.front().confidence, 0.5);
    EXPECT_GT(lines.front().boundingBox.midY(), zoneLines.front()->boundingBox.midY());
    MRZLineFinder finder;
    for (const auto* line : zoneLines) finder.findMRZLines(withoutSpaces(line->string));
    EXPECT_FALSE(finder.assembledMRZText().empty());
    finder.reset();
    EXPECT_FALSE(finder.findMRZLines(withoutSpaces(lines.front().string)));
  }
}

// A camera frame is read at the fast level: rows shorter than a zone's line (a card's print
// beside the zone, here a line of 13 and one of 29 characters) are left out, and the rest are
// read as the accurate level reads them.
TEST(MRZLineRecognizerTest, TheFastLevelReadsOnlyRowsAsLongAsAZoneLine) {
  std::vector<std::string> lines = {"UTO<CARD<2031", "ANNA<MARIA<ERIKSSON<<<<<<<<<<"};
  lines.insert(lines.end(), kTD1Card.begin(), kTD1Card.end());
  for (int size : {18, 30}) {
    SCOPED_TRACE(size);
    MRZPictureStyle style;
    style.characterHeight = size;
    style.rotationDegrees = 1.5;
    style.noiseSigma = 3;
    const cv::Mat picture = renderMRZRegion(lines, style);
    MRZLineRecognizer reader;
    std::vector<std::string> accurate, longEnough, fast;
    for (const auto& line : reader.recognize(picture, {})) {
      accurate.push_back(line.string);
      if (line.string.size() >= 30) longEnough.push_back(line.string);
    }
    for (const auto& line : reader.recognize(picture, {.fast = true})) fast.push_back(line.string);
    EXPECT_NE(std::find(accurate.begin(), accurate.end(), lines[0]), accurate.end());
    EXPECT_NE(std::find(accurate.begin(), accurate.end(), lines[1]), accurate.end());
    EXPECT_EQ(fast, longEnough);
    EXPECT_EQ(fast.size(), kTD1Card.size() + 1);  // the zone and the card's other print
  }
}

// Marks of a glyph's size at uneven steps, as a noisy frame's specks or a page's pattern line up:
// as long as a zone's line but on no one pitch. The accurate level reads them as a row; the
// fast level does not cut them into cells, and still reads the zone below them exactly.
TEST(MRZLineRecognizerTest, TheFastLevelLeavesOutRowsOnNoPitch) {
  MRZPictureStyle style;
  style.otherCardText = false;
  const cv::Mat zone = renderMRZRegion(kTD1Card, style);
  const int cap = 17;
  const double pitch = platform::kOCRBPitchPerHeight * cap;
  cv::Mat marks(3 * cap, zone.cols, CV_8UC1, cv::Scalar(235));
  std::mt19937 random(5);
  std::uniform_real_distribution<double> step(0.45, 1.7);
  for (double x = 0.05 * zone.cols; x < 0.95 * zone.cols - pitch; x += step(random) * pitch) {
    cv::rectangle(marks, cv::Rect(static_cast<int>(x), cap, static_cast<int>(0.3 * pitch), cap), cv::Scalar(40),
                  cv::FILLED);
  }
  cv::Mat picture;
  cv::vconcat(marks, zone, picture);

  const auto rows = platform::findGlyphRows(picture, platform::kOCRBPitchPerHeight, platform::RowReach::blobs, 30);
  const auto uneven = std::find_if(rows.begin(), rows.end(), [&](const auto& row) { return row.box.y < marks.rows; });
  ASSERT_NE(uneven, rows.end());
  EXPECT_LT(uneven->pitchFit, 0.2);
  EXPECT_TRUE(platform::findGlyphRows(picture, platform::kOCRBPitchPerHeight, platform::RowReach::blobs, 30,
                                      uneven->pitchFit + 0.01)
                  .size() < rows.size());

  MRZLineRecognizer reader;
  std::vector<std::string> longEnough, fast;
  for (const auto& line : reader.recognize(picture, {})) {
    if (line.string.size() >= 30) longEnough.push_back(line.string);
  }
  for (const auto& line : reader.recognize(picture, {.fast = true})) fast.push_back(line.string);
  EXPECT_EQ(longEnough.size(), kTD1Card.size() + 1);
  EXPECT_EQ(fast, kTD1Card);
}

// A row's sampled cells are cut as the row's own cells are, and kept for it: a row the caller
// takes is cut exactly as without the look, and one it refuses is left out, the others kept.
TEST(MRZLineRecognizerTest, RowsAreLookedAtBeforeTheyAreCutWhole) {
  MRZPictureStyle style;
  style.rotationDegrees = 2;
  style.noiseSigma = 3;
  const cv::Mat picture = renderMRZRegion(kTD3Passport, style);
  auto cut = [&](const platform::GlyphSample& look) {
    return platform::findGlyphRows(picture, platform::kOCRBPitchPerHeight, platform::RowReach::pastBandsAtEnds,
                                   30, 0.2, look);
  };
  const auto plain = cut({});
  ASSERT_GE(plain.size(), kTD3Passport.size());

  std::vector<std::vector<cv::Mat>> looked;
  const auto taken = cut([&](const std::vector<cv::Mat>& cells) {
    looked.push_back(cells);
    return true;
  });
  ASSERT_EQ(taken.size(), plain.size());
  ASSERT_EQ(looked.size(), plain.size());
  for (std::size_t r = 0; r < plain.size(); ++r) {
    EXPECT_GE(looked[r].size(), 6u);
    EXPECT_LE(looked[r].size(), 8u);
    ASSERT_EQ(taken[r].cells.size(), plain[r].cells.size());
    for (std::size_t k = 0; k < plain[r].cells.size(); ++k) {
      ASSERT_EQ(taken[r].cells[k].empty(), plain[r].cells[k].empty());
      if (!plain[r].cells[k].empty()) {
        EXPECT_EQ(cv::norm(taken[r].cells[k], plain[r].cells[k], cv::NORM_INF), 0);
      }
    }
    // Each sampled cell is one of the row's own, before its height is told against its neighbours'.
    for (const cv::Mat& sample : looked[r]) {
      const auto same = std::find_if(plain[r].cells.begin(), plain[r].cells.end(), [&](const cv::Mat& cell) {
        return !cell.empty() && cv::norm(cell.colRange(0, platform::kGlyphCellPixels),
                                         sample.colRange(0, platform::kGlyphCellPixels), cv::NORM_INF) == 0;
      });
      EXPECT_NE(same, plain[r].cells.end());
    }
  }

  int calls = 0;
  const auto refusedFirst = cut([&](const std::vector<cv::Mat>&) { return calls++ > 0; });
  ASSERT_EQ(refusedFirst.size(), plain.size() - 1);
  for (std::size_t r = 0; r < refusedFirst.size(); ++r) EXPECT_EQ(refusedFirst[r].box, plain[r + 1].box);
}

// Glare that washes out a stretch of the zone leaves each line one row, with blank cells where
// nothing could be read: the rest of the row keeps its places, so later frames can fill them.
TEST(MRZLineRecognizerTest, AWashedOutStretchLeavesBlanksInItsRow) {
  for (const auto& zone : {kTD3Passport, kTD1Card}) {
    MRZPictureStyle style;
    style.characterHeight = 24;
    style.noiseSigma = 2;
    style.rotationDegrees = 2;
    cv::Mat picture = renderMRZRegion(zone, style);
    const int from = picture.cols * 2 / 5, to = picture.cols * 11 / 20;
    picture.colRange(from, to).setTo(cv::Scalar(255));
    MRZLineRecognizer reader;
    std::vector<std::string> rows;
    for (const auto& line : reader.recognize(picture, {})) {
      if (line.string.size() == zone.front().size()) rows.push_back(line.string);
    }
    ASSERT_EQ(rows.size(), zone.size()) << "one row per line";
    for (std::size_t i = 0; i < zone.size(); ++i) {
      SCOPED_TRACE(rows[i]);
      const std::size_t blankFrom = rows[i].find(' '), blankTo = rows[i].rfind(' ');
      ASSERT_NE(blankFrom, std::string::npos);
      EXPECT_GE(blankTo - blankFrom + 1, 3u);
      int misread = 0;
      for (std::size_t place = 0; place < rows[i].size(); ++place) {
        if (place >= blankFrom && place <= blankTo) continue;
        misread += rows[i][place] != zone[i][place];
      }
      // A glyph cut by the edge of the glare may be misread on either side.
      EXPECT_LE(misread, 2);
    }
  }
}

// A broad band of a card's pattern, darker than the paper by a third of the print and narrower
// than the threshold's paper, is ink to the threshold, joined with the glyphs on it into a blob
// too tall for a glyph. Labelling training pictures, the row is carried on past such a band at
// either end to the glyphs on it, and cut as the line is; a camera frame's row too, as the band
// crosses its line at its end. Print smaller than the typeface at its pitch (glyphs at nine
// tenths of the font's size) must not make a passport line short of its first glyphs look as wide
// as a whole one, which is never carried on.
TEST(MRZLineRecognizerTest, ARowCarriedPastABandReachesTheGlyphsOnIt) {
  using platform::RowReach;
  struct Case {
    int length;
    double glyphScale;
  };
  for (const Case& c : {Case{30, 1.0}, Case{44, 0.88}}) {
    SCOPED_TRACE(::testing::Message() << c.length << " glyphs at " << c.glyphScale);
    const std::vector<std::string> lines = randomZoneLines(1, c.length, false, 7);
    MRZLinePrintStyle style;
    style.capHeight = 24;
    style.glyphScale = c.glyphScale;
    const cv::Mat printed = printMRZLines(lines, style);
    // Tall enough for the threshold's widest neighbourhood, as a camera's region is.
    cv::Mat picture;
    const int margin = std::max(0, (640 - printed.rows) / 2);
    cv::copyMakeBorder(printed, picture, margin, margin, 0, 0, cv::BORDER_REPLICATE);
    const int lineY = picture.rows / 2;
    const auto ends = [&] {
      cv::Mat ink;
      cv::threshold(picture.rowRange(lineY - 12, lineY + 12), ink, 128, 255, cv::THRESH_BINARY_INV);
      const cv::Rect box = cv::boundingRect(ink);
      return std::pair(box.x, box.x + box.width);
    }();
    const double pitch = double(ends.second - ends.first) / c.length;
    for (const bool atStart : {true, false}) {
      SCOPED_TRACE(atStart ? "band at the start" : "band at the end");
      cv::Mat banded = picture.clone();
      // A slanted band some 1.3 capitals wide over the line's first (or last) two glyphs.
      const double centre = atStart ? ends.first + pitch : ends.second - pitch;
      for (int y = lineY - 60; y < lineY + 60; ++y) {
        const double x = centre + 0.2 * (y - lineY);
        for (int col = int(x - 15); col < int(x + 15); ++col) {
          auto& pixel = banded.at<unsigned char>(y, col);
          pixel = static_cast<unsigned char>(pixel * 0.7);
        }
      }
      auto cellsOfTheLine = [&](RowReach reach) {
        for (const auto& row : platform::findGlyphRows(banded, platform::kOCRBPitchPerHeight, reach)) {
          if (std::abs(row.box.y + row.box.height / 2 - lineY) < 12) return row.cells.size();
        }
        return std::size_t{0};
      };
      const auto length = static_cast<std::size_t>(c.length);
      // Else the band hides nothing and this says nothing.
      ASSERT_LT(cellsOfTheLine(RowReach::blobs), length);
      EXPECT_EQ(cellsOfTheLine(RowReach::pastBands), length);
      EXPECT_EQ(cellsOfTheLine(RowReach::pastBandsAtEnds), length);
    }
  }
}

// The cells' positions along a row may bend (perspective changes the pitch along it), but a bend
// fitted to the glyphs of one part of a row must hold over all of the row's ink: run on beyond
// them, its pitch fell to nothing and the cells grew until a frame took minutes.
TEST(MRZLineRecognizerTest, CellPositionsHoldOverTheWholeRow) {
  constexpr double kPitch = 8.3;
  std::vector<double> centres;
  for (int k = 0; k < 10; ++k) centres.push_back(300 + kPitch * (k - 5) + 0.15 * (k - 5) * (k - 5));
  std::complex<double> phaseSum = 0;
  for (double u : centres) phaseSum += std::polar(1.0, 2 * std::numbers::pi * u / kPitch);
  const double phase = std::arg(phaseSum) / (2 * std::numbers::pi) * kPitch;
  for (const double rowStart : {centres.front() - 4, 60.0}) {
    SCOPED_TRACE(rowStart);
    const double rowEnd = centres.back() + 4;
    const auto positions = platform::glyphrows::fitCellPositions(centres, phase, kPitch, rowStart, rowEnd);
    const double first = positions.cellAt(rowStart), last = positions.cellAt(rowEnd);
    ASSERT_TRUE(std::isfinite(first) && std::isfinite(last));
    EXPECT_NEAR(positions.centre(first), rowStart, 1);
    EXPECT_NEAR(positions.centre(last), rowEnd, 1);
    for (double k = first; k <= last; k += 1) {
      EXPECT_GT(positions.pitchAt(k), 0.7 * kPitch) << k;
      EXPECT_LT(positions.pitchAt(k), 1.4 * kPitch) << k;
    }
  }
}

// A glyph half washed out by glare is a small blob whose centre lies off its row. The row must
// go on along its line past it: led by that one blob, the rest of the line became a row of its
// own (the next glyph, off the line the other way, was too far from the stray blob), and neither
// piece had a zone line's width.
TEST(MRZLineRecognizerTest, AStrayBlobDoesNotLeadARowOffItsLine) {
  using platform::glyphrows::Blob;
  std::vector<Blob> blobs;
  for (int k = 0; k < 44; ++k) {
    const double x = 20 + 23.0 * k, line = 100 + 0.02 * x;
    if (k == 15)
      blobs.push_back({x, line - 6, 10, 7});  // the washed-out glyph's last speck
    else if (k == 16)
      blobs.push_back({x, line + 3, 14, 12});  // the next glyph, half washed out too
    else
      blobs.push_back({x, line, 16, 24});
    blobs.push_back({x, 140 + 0.02 * x, 16, 24});  // the next line
  }
  const auto rows = platform::glyphrows::groupRows(blobs, 0, 24);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].size(), 44u);
  EXPECT_EQ(rows[1].size(), 44u);
}

// A passport's zone lies close to the page's edge and its lines close together. The edge, left of
// the lines and far taller than a glyph, does not stretch a row's reach over both lines.
TEST(MRZLineRecognizerTest, APageEdgeBesideTheZoneDoesNotJoinItsLines) {
  using platform::glyphrows::Blob;
  for (const double edgeAcross : {100.0, 120.0, 140.0}) {
    std::vector<Blob> blobs = {{5, edgeAcross, 20, 150}};
    for (int k = 0; k < 44; ++k) {
      const double x = 60 + 21.0 * k;
      blobs.push_back({x, 100 + 0.07 * x, 16, 22});
      blobs.push_back({x, 137 + 0.07 * x, 16, 22});
    }
    std::vector<int> glyphsPerLine(2, 0);
    for (const auto& row : platform::glyphrows::groupRows(blobs, 4, 22)) {
      int first = 0, second = 0;
      for (const Blob& b : row) {
        if (b.height > 30) continue;
        (b.cy < 118 + 0.07 * b.cx ? first : second) += 1;
      }
      EXPECT_TRUE(first == 0 || second == 0) << first << " and " << second << " glyphs of the two lines in one row";
      glyphsPerLine[0] = std::max(glyphsPerLine[0], first);
      glyphsPerLine[1] = std::max(glyphsPerLine[1], second);
    }
    EXPECT_EQ(glyphsPerLine, (std::vector<int>{44, 44})) << "edge at " << edgeAcross;
  }
}

// A fine hatch on the page that the threshold took in part for ink runs through every row of a
// glyph's columns; the glyph's height and its place on the row are still its own.
TEST(MRZLineRecognizerTest, AFineHatchDoesNotHideAGlyphsHeight) {
  constexpr double kCap = 20, kPitch = 15, kRow = 30;
  for (const bool hatched : {false, true}) {
    cv::Mat strip(60, 60, CV_8U, cv::Scalar(235)), ink(60, 60, CV_8U, cv::Scalar(0));
    if (hatched) {
      for (int y = 0; y < strip.rows; ++y) {
        for (int x = 0; x < strip.cols; ++x) {
          if ((x + y) % 4 != 0) continue;
          strip.at<std::uint8_t>(y, x) = 170;
          ink.at<std::uint8_t>(y, x) = 255;
        }
      }
    }
    // An 8 by 18 glyph whose middle lies 3 pixels below the row's.
    const cv::Rect glyph(26, 24, 8, 18);
    strip(glyph).setTo(30);
    ink(glyph).setTo(255);
    const cv::Mat features = platform::glyphrows::glyphFeatures(strip, ink, 30, kRow, kPitch, kCap);
    ASSERT_FALSE(features.empty());
    const float* shape = features.ptr<float>(0) + platform::kGlyphCellPixels;
    EXPECT_NEAR(shape[1], 0.9, 0.03) << (hatched ? "hatched" : "plain");
    EXPECT_NEAR(shape[2], 0.15, 0.03) << (hatched ? "hatched" : "plain");
  }
}

// The blobs are the ink's eight-connected components, as OpenCV's labelling finds them, kept by
// the same rules and in its order (the rows are grouped in that order).
TEST(MRZLineRecognizerTest, BlobsAreTheInksComponentsInLabellingOrder) {
  using platform::glyphrows::Blob;
  auto labelled = [](const cv::Mat& binary) {
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(binary, labels, stats, centroids, 8, CV_32S);
    std::vector<Blob> blobs;
    for (int i = 1; i < count; ++i) {
      const int* s = stats.ptr<int>(i);
      const int w = s[cv::CC_STAT_WIDTH], h = s[cv::CC_STAT_HEIGHT], area = s[cv::CC_STAT_AREA];
      if (h < 6 || h > std::max(6, binary.rows / 3) || area < 12 || w > 12 * h || area < 0.08 * w * h) continue;
      blobs.push_back({s[cv::CC_STAT_LEFT] + w / 2.0, s[cv::CC_STAT_TOP] + h / 2.0, w, h});
    }
    return blobs;
  };
  cv::RNG random(7);
  auto shapes = [&random](cv::Size size, int count, int thickness) {
    cv::Mat binary(size, CV_8UC1, cv::Scalar(0));
    for (int i = 0; i < count; ++i) {
      const cv::Point centre(random.uniform(-5, size.width + 5), random.uniform(-5, size.height + 5));
      const cv::Size axes(random.uniform(1, 30), random.uniform(1, 30));
      cv::ellipse(binary, centre, axes, random.uniform(0, 180), 0, random.uniform(90, 361), cv::Scalar(255),
                  thickness, cv::LINE_8);
    }
    return binary;
  };
  cv::Mat speckled(240, 333, CV_8UC1);
  random.fill(speckled, cv::RNG::UNIFORM, 0, 256);
  cv::threshold(speckled, speckled, 150, 255, cv::THRESH_BINARY);
  // Pieces that touch only at a corner, on odd and even rows and columns, and ones that do not.
  cv::Mat corners(60, 61, CV_8UC1, cv::Scalar(0));
  for (int k = 0; k < 5; ++k) {
    corners(cv::Rect(3 + 11 * k, 5 + k, 2, 8)).setTo(255);
    corners(cv::Rect(5 + 11 * k, 13 + k, 3, 9)).setTo(255);   // diagonal from the first
    corners(cv::Rect(9 + 11 * k, 30 + k, 1, 7)).setTo(255);
    corners(cv::Rect(11 + 11 * k, 30 + k, 1, 7)).setTo(255);  // a column apart
  }
  cv::Mat full(50, 50, CV_8UC1, cv::Scalar(255));
  cv::Mat glyphs(300, 900, CV_8UC1, cv::Scalar(0));
  cv::putText(glyphs, "P<UTOERIKSSON<<ANNA<MARIA<<<<<", {10, 100}, cv::FONT_HERSHEY_SIMPLEX, 1.2, cv::Scalar(255), 2);
  cv::putText(glyphs, "L898902C36UTO7408122F1204159", {10, 200}, cv::FONT_HERSHEY_PLAIN, 2.5, cv::Scalar(255), 3);
  const std::vector<std::pair<const char*, cv::Mat>> pictures = {
      {"outlines", shapes({500, 400}, 150, 1)},
      {"filled shapes", shapes({401, 257}, 60, cv::FILLED)},
      {"thick strokes", shapes({640, 480}, 200, 3)},
      {"speckles", speckled},
      {"corners", corners},
      {"all ink", full},
      {"glyphs", glyphs},
      {"odd sizes", shapes({7, 301}, 20, 2)},
      {"a view into a larger picture", shapes({300, 300}, 80, 2)(cv::Rect(13, 7, 251, 263))},
  };
  for (const auto& [name, binary] : pictures) {
    SCOPED_TRACE(name);
    const std::vector<Blob> expected = labelled(binary), found = platform::glyphrows::findBlobs(binary);
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(found[i].cx, expected[i].cx);
      EXPECT_EQ(found[i].cy, expected[i].cy);
      EXPECT_EQ(found[i].width, expected[i].width);
      EXPECT_EQ(found[i].height, expected[i].height);
    }
  }
}

TEST(MRZLineRecognizerTest, AnyPictureIsReadWithoutACrash) {
  cv::Mat noise(300, 400, CV_8UC1);
  cv::randu(noise, 0, 256);
  cv::Mat stripes(200, 600, CV_8UC1, cv::Scalar(255));
  for (int x = 0; x < stripes.cols; x += 7) cv::line(stripes, {x, 0}, {x, stripes.rows}, cv::Scalar(0), 2);
  cv::Mat checks(240, 240, CV_8UC1);
  for (int y = 0; y < checks.rows; ++y) {
    for (int x = 0; x < checks.cols; ++x) checks.at<std::uint8_t>(y, x) = ((x / 9 + y / 9) % 2) ? 255 : 0;
  }
  cv::Mat dots(400, 400, CV_8UC1, cv::Scalar(230));
  for (int i = 0; i < 3000; ++i) cv::circle(dots, {(i * 37) % 400, (i * 91) % 400}, 3, cv::Scalar(20), -1);
  cv::Mat tall(2000, 9, CV_8UC1, cv::Scalar(0));
  cv::Mat colour(100, 100, CV_8UC3, cv::Scalar::all(128));
  cv::Mat deep(100, 100, CV_16UC1, cv::Scalar(1000));

  const std::vector<std::pair<const char*, cv::Mat>> pictures = {
      {"empty", cv::Mat()},
      {"one pixel", cv::Mat(1, 1, CV_8UC1, cv::Scalar(0))},
      {"one row", cv::Mat(1, 800, CV_8UC1, cv::Scalar(0))},
      {"all white", cv::Mat(300, 400, CV_8UC1, cv::Scalar(255))},
      {"all black", cv::Mat(300, 400, CV_8UC1, cv::Scalar(0))},
      {"noise", noise},
      {"stripes", stripes},
      {"checks", checks},
      {"thousands of dots", dots},
      {"tall and thin", tall},
      {"colour", colour},
      {"16-bit", deep},
  };
  MRZLineRecognizer reader;
  for (const auto& [name, picture] : pictures) {
    for (bool fast : {false, true}) {
      SCOPED_TRACE(std::string(name) + (fast ? ", fast" : ", accurate"));
      std::vector<RecognizedTextLine> lines;
      ASSERT_NO_THROW(lines = reader.recognize(picture, {.fast = fast}));
      for (const auto& line : lines) {
        EXPECT_LE(line.string.size(), 200u);
        EXPECT_EQ(line.string.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789< "),
                  std::string::npos);
        EXPECT_GE(line.confidence, 0);
        EXPECT_LE(line.confidence, 1);
      }
    }
  }
}

}  // namespace
}  // namespace ostrel::testing
