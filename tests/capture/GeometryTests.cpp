#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

#include <opencv2/imgproc.hpp>

#include "capture/OSLPreprocess.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel {
namespace {

using platform::Image;
using platform::Point;
using platform::Rect;

// A card texture that resamples well: smooth colour ramps with a few large dark blocks, so a
// transposed or mirrored result differs everywhere.
cv::Mat cardTexture(int width, int height) {
  cv::Mat card(height, width, CV_8UC4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      card.at<cv::Vec4b>(y, x) = {uchar(40 + 180 * x / width), uchar(40 + 180 * y / height),
                                  uchar(120), 255};
    }
  }
  cv::rectangle(card, cv::Rect(width / 10, height / 8, width / 4, height / 3),
                cv::Scalar(10, 10, 10, 255), cv::FILLED);
  cv::rectangle(card, cv::Rect(width * 6 / 10, height * 6 / 10, width / 5, height / 4),
                cv::Scalar(250, 250, 30, 255), cv::FILLED);
  return card;
}

// The homography taking the four points `from` onto `to`, by plain Gaussian elimination of the
// 8 x 8 system (independent of the code under test).
std::array<double, 9> homography(const std::array<Point, 4>& from, const std::array<Point, 4>& to) {
  double a[8][9] = {};
  for (int i = 0; i < 4; ++i) {
    const double u = from[i].x, v = from[i].y, x = to[i].x, y = to[i].y;
    double r1[9] = {u, v, 1, 0, 0, 0, -u * x, -v * x, x};
    double r2[9] = {0, 0, 0, u, v, 1, -u * y, -v * y, y};
    std::copy(r1, r1 + 9, a[2 * i]);
    std::copy(r2, r2 + 9, a[2 * i + 1]);
  }
  for (int col = 0; col < 8; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 8; ++r) {
      if (std::abs(a[r][col]) > std::abs(a[pivot][col])) pivot = r;
    }
    std::swap(a[col], a[pivot]);
    for (int r = 0; r < 8; ++r) {
      if (r == col) continue;
      const double f = a[r][col] / a[col][col];
      for (int c = col; c < 9; ++c) a[r][c] -= f * a[col][c];
    }
  }
  std::array<double, 9> h{};
  for (int i = 0; i < 8; ++i) h[std::size_t(i)] = a[i][8] / a[i][i];
  h[8] = 1;
  return h;
}

// `card` seen through a perspective: each frame pixel centre looks up the card pixel under it.
cv::Mat warpedFrame(const cv::Mat& card, int frameWidth, int frameHeight,
                    const std::array<Point, 4>& corners) {
  const double w = card.cols, h = card.rows;
  auto toCard = homography(corners, {Point{0, 0}, Point{w, 0}, Point{w, h}, Point{0, h}});
  cv::Mat frame(frameHeight, frameWidth, CV_8UC4, cv::Scalar(60, 90, 60, 255));
  for (int y = 0; y < frameHeight; ++y) {
    for (int x = 0; x < frameWidth; ++x) {
      const double px = x + 0.5, py = y + 0.5;
      const double d = toCard[6] * px + toCard[7] * py + toCard[8];
      const double u = (toCard[0] * px + toCard[1] * py + toCard[2]) / d;
      const double v = (toCard[3] * px + toCard[4] * py + toCard[5]) / d;
      if (u < 0 || v < 0 || u >= w || v >= h) continue;
      frame.at<cv::Vec4b>(y, x) = card.at<cv::Vec4b>(int(v), int(u));
    }
  }
  return frame;
}

double meanDifference(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat diff;
  cv::absdiff(a, b, diff);
  auto m = cv::mean(diff);
  return (m[0] + m[1] + m[2]) / 3;
}

class GeometryTest : public testing::RuntimeTest {};

TEST_F(GeometryTest, PerspectiveCorrectionGivesTheCardBackWhateverTheCornerOrder) {
  const cv::Mat card = cardTexture(430, 270);
  struct Case {
    const char* name;
    int frameWidth, frameHeight;
    std::array<Point, 4> corners;  // TL, TR, BR, BL
  };
  const Case cases[] = {
      {"tilted in a portrait frame", 540, 960, {Point{70, 330}, {480, 300}, {500, 590}, {50, 610}}},
      // High in a wide frame: an unsigned y - x would take the top-right corner for the
      // bottom-left one and hand back the card transposed.
      {"high in the frame", 1080, 1920, {Point{60, 150}, {1020, 150}, {1020, 755}, {60, 755}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto frame = std::make_shared<Image>(warpedFrame(card, c.frameWidth, c.frameHeight, c.corners));
    const auto& k = c.corners;
    const double expectedWidth = std::round(std::max(std::hypot(k[1].x - k[0].x, k[1].y - k[0].y),
                                                     std::hypot(k[2].x - k[3].x, k[2].y - k[3].y)));
    const double expectedHeight = std::round(std::max(
        std::hypot(k[3].x - k[0].x, k[3].y - k[0].y), std::hypot(k[2].x - k[1].x, k[2].y - k[1].y)));
    const std::vector<std::array<int, 4>> orders = {
        {0, 1, 2, 3}, {1, 2, 3, 0}, {2, 3, 0, 1}, {3, 0, 1, 2}, {3, 2, 1, 0}, {2, 0, 3, 1}};
    cv::Mat first;
    for (const auto& order : orders) {
      std::vector<Point> points;
      for (int i : order) points.push_back(k[std::size_t(i)]);
      auto p = correctPerspective(frame, points, 480, 480);
      ASSERT_TRUE(p.imageCropFit);
      const cv::Mat& out = p.imageCropFit->bitmap();
      EXPECT_NEAR(out.cols, expectedWidth, 1);
      EXPECT_NEAR(out.rows, expectedHeight, 1);
      if (first.empty()) {
        first = out;
        cv::Mat reference;
        cv::resize(card, reference, out.size(), 0, 0, cv::INTER_AREA);
        EXPECT_LT(meanDifference(out, reference), 12);
      } else {
        EXPECT_EQ(cv::norm(out, first, cv::NORM_INF), 0);
      }
    }
  }
}

TEST_F(GeometryTest, CornersThatCannotBeToldApartGiveTheZeroValue) {
  auto frame = std::make_shared<Image>(cv::Mat(100, 100, CV_8UC4, cv::Scalar::all(200)));
  struct Case {
    const char* name;
    platform::ImagePtr picture;
    std::vector<Point> points;
  };
  const Case cases[] = {
      {"one point four times", frame, {{10, 10}, {10, 10}, {10, 10}, {10, 10}}},
      {"three corners", frame, {{10, 10}, {90, 10}, {90, 90}}},
      {"five corners", frame, {{10, 10}, {90, 10}, {90, 90}, {10, 90}, {50, 50}}},
      {"not a number", frame, {{NAN, 10}, {90, 10}, {90, 90}, {10, 90}}},
      {"infinite", frame, {{10, 10}, {INFINITY, 10}, {90, 90}, {10, 90}}},
      {"on one line", frame, {{10, 10}, {20, 20}, {30, 30}, {40, 40}}},
      {"no bitmap", std::make_shared<Image>(platform::Size{100, 100}),
       {{10, 10}, {90, 10}, {90, 90}, {10, 90}}},
      {"no picture", nullptr, {{10, 10}, {90, 10}, {90, 90}, {10, 90}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto p = correctPerspective(c.picture, c.points, 480, 480);
    EXPECT_TRUE(p.isZero());
    EXPECT_FALSE(p.image);
  }
}

TEST_F(GeometryTest, LetterboxKeepsTheCardUprightWithItsBottomEdgeDyAboveTheBottom) {
  struct Case {
    int iw, ih;
    double scale;
    int nh, dx, dy;
  };
  const Case cases[] = {{960, 600, 0.5, 300, 0, 90}, {800, 305, 0.6, 183, 0, 148}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.iw);
    cv::Mat card(c.ih, c.iw, CV_8UC4, cv::Scalar(0, 0, 255, 255));
    card(cv::Rect(0, 0, 10, 10)).setTo(cv::Scalar(255, 0, 0, 255));  // marks the top-left
    auto p = correctPerspective(std::make_shared<Image>(card),
                                {{0, 0}, {double(c.iw), 0}, {double(c.iw), double(c.ih)},
                                 {0, double(c.ih)}},
                                480, 480);
    ASSERT_TRUE(p.image);
    EXPECT_EQ(p.iw, c.iw);
    EXPECT_EQ(p.ih, c.ih);
    EXPECT_DOUBLE_EQ(p.scale, c.scale);
    EXPECT_EQ(p.dx, c.dx);
    EXPECT_EQ(p.dy, c.dy);
    const cv::Mat& box = p.image->bitmap();
    ASSERT_EQ(box.size(), cv::Size(480, 480));
    const int top = 480 - c.dy - c.nh;  // first card row from the top
    const cv::Vec4b grey{114, 114, 114, 255};
    EXPECT_EQ(box.at<cv::Vec4b>(top - 1, 240), grey);
    EXPECT_EQ(box.at<cv::Vec4b>(top + c.nh, 240), grey);
    EXPECT_EQ(box.at<cv::Vec4b>(0, 0), grey);
    EXPECT_EQ(box.at<cv::Vec4b>(479, 479), grey);
    EXPECT_EQ(box.at<cv::Vec4b>(top + c.nh - 1, 240), (cv::Vec4b{0, 0, 255, 255}));
    EXPECT_EQ(box.at<cv::Vec4b>(top, 0), (cv::Vec4b{255, 0, 0, 255}));
  }
}

int lit(const CellMask& mask) {
  int n = 0;
  for (const auto& row : mask) n += int(std::count(row.begin(), row.end(), 255));
  return n;
}

CellMask filled(int width, int height, std::uint8_t value = 255) {
  return CellMask(std::size_t(height), std::vector<std::uint8_t>(std::size_t(width), value));
}

TEST(MaskTest, BoxesScaleClampAndLightHalfOpenRanges) {
  auto whole = scaleBox({0, 0, 1, 1}, 480, 480);
  ASSERT_TRUE(whole);
  EXPECT_EQ(*whole, (Box{0, 0, 480, 480}));
  auto mask = maskFromBoxes({*whole}, 480, 480);
  EXPECT_EQ(lit(mask), 479 * 479);
  EXPECT_EQ(mask[478][478], 255);
  EXPECT_EQ(mask[479][100], 0);
  EXPECT_EQ(mask[100][479], 0);

  // Truncation toward zero, y as it comes.
  EXPECT_EQ(*scaleBox({0.1, 0.2, 0.3, 0.15}, 100, 10), (Box{10, 2, 40, 3}));
  EXPECT_EQ(*scaleBox({-0.019, 0, 0.02, 0.5}, 100, 10), (Box{-1, 0, 0, 5}));

  // Hostile model output: nothing for non-finite boxes, clamping for huge ones.
  EXPECT_FALSE(scaleBox({NAN, 0, 1, 1}, 480, 480));
  EXPECT_FALSE(scaleBox({0, 0, INFINITY, 1}, 480, 480));
  EXPECT_FALSE(scaleBox({0, 0, 2, 1}, 1e308, 1e308));  // overflows to infinity
  auto huge = scaleBox({-1e200, -1e200, 2e200, 2e200}, 480, 480);
  ASSERT_TRUE(huge);
  EXPECT_EQ(lit(maskFromBoxes({*huge}, 480, 480)), 479 * 479);
  EXPECT_EQ(lit(maskFromBoxes({Box{300, 300, 100, 100}}, 480, 480)), 0);
  EXPECT_EQ(lit(maskFromBoxes({Box{NAN, 0, 10, 10}}, 480, 480)), 100);
  EXPECT_EQ(lit(maskFromBoxes({*whole}, 0, 480)), 0);
}

TEST(MaskTest, ResizeTakesTheNearestSourceCell) {
  CellMask source(3, std::vector<std::uint8_t>(5));
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 5; ++c) source[std::size_t(r)][std::size_t(c)] = std::uint8_t(10 * r + c);
  }
  EXPECT_EQ(resizeMask(source, 4, 2), (CellMask{{0, 1, 2, 3}, {10, 11, 12, 13}}));
  EXPECT_EQ(resizeMask(source, 7, 4)[3], (std::vector<std::uint8_t>{20, 20, 21, 22, 22, 23, 24}));
  EXPECT_EQ(resizeMask({}, 4, 2), filled(4, 2, 0));
  EXPECT_EQ(resizeMask(CellMask{{}}, 4, 2), filled(4, 2, 0));
}

TEST(MaskTest, UnletterboxingKeepsTheCardAreaAndSidesKeepTheirRegions) {
  OSLPreprocess p;
  p.iw = 960;
  p.ih = 600;
  p.scale = 0.5;
  p.dx = 0;
  p.dy = 90;
  // Only rows 90 ..< 390 of the letterbox are the card.
  CellMask cardRows = filled(480, 480, 0);
  for (int r = 90; r < 390; ++r) cardRows[std::size_t(r)].assign(480, 255);
  auto card = unletterboxMask(cardRows, p);
  ASSERT_EQ(card.size(), 224u);
  ASSERT_EQ(card[0].size(), 320u);
  EXPECT_EQ(lit(card), 320 * 224);
  CellMask outside = filled(480, 480, 0);
  outside[89].assign(480, 255);
  outside[390].assign(480, 255);
  EXPECT_EQ(lit(unletterboxMask(outside, p)), 0);

  // Union areas of each side's regions, worked out by hand from the region tables.
  EXPECT_EQ(lit(maskSideRegions(card, true)), 49840);
  EXPECT_EQ(lit(maskSideRegions(card, false)), 51405);
  CellMask single = filled(320, 224, 0);
  single[100][200] = 255;
  EXPECT_EQ(lit(maskSideRegions(single, false)), 1);
  single[100][200] = 0;
  single[100][315] = 255;
  EXPECT_EQ(lit(maskSideRegions(single, false)), 0);

  // The zero value (a card never prepared) and empty or short masks give all-zero card masks.
  OSLPreprocess noWidth;
  noWidth.ih = 305;
  noWidth.scale = 0.6;
  const std::tuple<const char*, CellMask, OSLPreprocess> zeroCases[] = {
      {"zero preprocess", filled(480, 480), OSLPreprocess{}},
      {"no width", filled(480, 480), noWidth},
      {"empty mask", CellMask{}, p},
      {"mask shorter than dy", filled(480, 60), p},
  };
  for (const auto& [name, mask, preprocess] : zeroCases) {
    SCOPED_TRACE(name);
    auto out = unletterboxMask(mask, preprocess);
    EXPECT_EQ(out, filled(320, 224, 0));
  }
}

}  // namespace
}  // namespace ostrel
