// The photo set's generator itself: its zones, its determinism and its buffers. A set that
// printed a wrong check digit or a turned buffer would blame the reader for its own fault.

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "testing/MRZPhotoSet.hpp"
#include "testing/MRZPhotoSetParts.hpp"

namespace ostrel::testing {
namespace {

// The published specimen zones (Anna Maria Eriksson of Utopia), valid by construction.
const std::vector<std::string> kSpecimenTD3 = {"P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<",
                                               "L898902C36UTO7408122F1204159ZE184226B<<<<<10"};
const std::vector<std::string> kSpecimenTD1 = {"I<UTOD231458907<<<<<<<<<<<<<<<", "7408122F1204159UTO<<<<<<<<<<<6",
                                               "ERIKSSON<<ANNA<MARIA<<<<<<<<<<"};

TEST(MRZPhotoSet, CheckDigitsFollowTheStandard) {
  EXPECT_EQ(mrzPhotoCheckDigit("L898902C3"), '6');
  EXPECT_EQ(mrzPhotoCheckDigit("740812"), '2');
  EXPECT_EQ(mrzPhotoCheckDigit("120415"), '9');
  EXPECT_EQ(mrzPhotoCheckDigit("D23145890"), '7');
  EXPECT_EQ(mrzPhotoCheckDigit("<<<<<<<<<"), '0');
  EXPECT_EQ(mrzPhotoCheckDigit("ab1"), '?');
  EXPECT_TRUE(mrzPhotoZoneValid(kSpecimenTD3));
  EXPECT_TRUE(mrzPhotoZoneValid(kSpecimenTD1));
  // Every check place of the specimens matters, the composite ones included.
  for (const auto& [zone, places] : std::vector<std::pair<std::vector<std::string>, std::vector<std::pair<int, int>>>>{
           {kSpecimenTD3, {{1, 9}, {1, 19}, {1, 27}, {1, 42}, {1, 43}}},
           {kSpecimenTD1, {{0, 14}, {1, 6}, {1, 14}, {1, 29}}}}) {
    for (const auto& [line, column] : places) {
      auto broken = zone;
      char& c = broken[std::size_t(line)][std::size_t(column)];
      c = c == '9' ? '0' : char(c + 1);
      EXPECT_FALSE(mrzPhotoZoneValid(broken)) << line << ":" << column;
    }
  }
}

TEST(MRZPhotoSet, ZonesAreValidAndTheClassesAreWhatTheySay) {
  std::map<std::pair<int, int>, int> perBucketAndClass;
  std::map<PhotoNegative, int> negatives;
  std::map<std::string, int> devices;
  for (int index = 0; index < kPhotoSetSize; ++index) {
    const PhotoSequence s = photoSequence(index, kPhotoSetDefaultSeed);
    SCOPED_TRACE(index);
    ASSERT_EQ(s.index, index);
    if (s.positive()) {
      ++perBucketAndClass[{int(s.bucket), int(s.content)}];
      ++devices[std::to_string(s.camera.bufferWidth) + (s.camera.upright ? "u" : "l")];
      ASSERT_TRUE(mrzPhotoZoneValid(s.lines)) << s.zone();
      ASSERT_EQ(s.lines.size(), s.cardFormat ? 3u : 2u);
      const std::string name = s.cardFormat ? s.lines[2] : s.lines[0].substr(5);
      const std::string number = s.cardFormat ? s.lines[0].substr(5, 9) : s.lines[1].substr(0, 9);
      const char sex = s.cardFormat ? s.lines[1][7] : s.lines[1][20];
      switch (s.content) {
        case PhotoContent::longName: EXPECT_NE(name.back(), '<') << name; break;
        case PhotoContent::onePartName:
          // A primary identifier (maybe of several words) and nothing after its "<<".
          ASSERT_NE(name.find("<<"), std::string::npos) << name;
          EXPECT_EQ(name.find_first_not_of('<', name.find("<<")), std::string::npos) << name;
          break;
        case PhotoContent::sexX: EXPECT_EQ(sex, 'X'); break;
        case PhotoContent::shortNumber: EXPECT_EQ(number.back(), '<') << number; break;
        case PhotoContent::lookAlike:
          EXPECT_EQ(number.find_first_not_of("OIBSZGD0185260"), std::string::npos) << number;
          break;
        case PhotoContent::plain: EXPECT_NE(sex, 'X'); break;
      }
    } else {
      ++negatives[s.negative];
      switch (s.negative) {
        case PhotoNegative::noZone: EXPECT_TRUE(s.lines.empty()); break;
        case PhotoNegative::cutOff: EXPECT_TRUE(mrzPhotoZoneValid(s.lines)); break;  // the region cuts it
        default: EXPECT_FALSE(mrzPhotoZoneValid(s.lines)) << s.zone(); break;
      }
      if (s.negative == PhotoNegative::otherFormat) {
        EXPECT_TRUE(s.lines[0][0] == 'V' || s.lines[0].size() == 36) << s.zone();
      }
    }
    EXPECT_GE(s.print.glyphScale, 0.85);
    EXPECT_LE(s.print.glyphScale, 1.02);
    EXPECT_LE(std::hypot(s.camera.tiltX, s.camera.tiltY), 10.0);
    EXPECT_LE(std::abs(s.camera.turn), 5.0);
  }
  for (const auto& [key, count] : perBucketAndClass) EXPECT_EQ(count, 12) << key.first << "/" << key.second;
  EXPECT_EQ(perBucketAndClass.size(), 18u);
  for (const auto& [device, count] : devices) EXPECT_EQ(count, 54) << device;
  EXPECT_EQ(devices.size(), 4u);
  EXPECT_EQ(negatives.size(), 5u);
  for (const auto& [kind, count] : negatives) EXPECT_EQ(count, 6) << photoNegativeName(kind);
}

TEST(MRZPhotoSet, TheSeedDecidesTheSet) {
  for (const int index : {0, 100, 230}) {
    const PhotoSequence a = photoSequence(index, 5150), b = photoSequence(index, 5150), c = photoSequence(index, 77);
    EXPECT_EQ(a.lines, b.lines);
    EXPECT_EQ(a.camera.capHeight, b.camera.capHeight);
    EXPECT_EQ(a.camera.tiltX, b.camera.tiltX);
    EXPECT_EQ(a.print.embolden, b.print.embolden);
    EXPECT_TRUE(a.lines != c.lines || a.camera.tiltX != c.camera.tiltX);
  }
  ::setenv("OSTREL_PHOTO_SET_SEED", "77", 1);
  EXPECT_EQ(photoSetSeed(), 77u);
  ::setenv("OSTREL_PHOTO_SET_SEED", "seventy", 1);
  EXPECT_EQ(photoSetSeed(), kPhotoSetDefaultSeed);
  ::unsetenv("OSTREL_PHOTO_SET_SEED");
  EXPECT_EQ(photoSetSeed(), kPhotoSetDefaultSeed);
}

// Every kind of negative prints a page (their zones are not dates and numbers where a zone's
// would be), with its zone's ink where the page says the zone is.
TEST(MRZPhotoSet, EveryNegativePrintsItsPage) {
  std::map<PhotoNegative, bool> printed;
  for (int index = 3 * kPhotoSetPositivesPerBucket; index < kPhotoSetSize; ++index) {
    const PhotoSequence s = photoSequence(index, kPhotoSetDefaultSeed);
    if (printed[s.negative]) continue;
    printed[s.negative] = true;
    SCOPED_TRACE(photoNegativeName(s.negative));
    const PhotoPage page = printPhotoPage(s);
    ASSERT_EQ(page.texture.type(), CV_32FC4);
    EXPECT_NEAR(page.texture.cols, (page.widthMm + 2 * page.marginMm) * page.pxPerMm, 1);
    const cv::Rect zone(int((page.marginMm + page.zoneTopLeftMm.x) * page.pxPerMm),
                        int((page.marginMm + page.zoneTopLeftMm.y) * page.pxPerMm), int(page.zoneWidthMm * page.pxPerMm),
                        int(page.zoneHeightMm * page.pxPerMm));
    // Every character left toner in its own cell (the zone's pitch and line spacing), and
    // the fillers' thin chevrons less than the other characters.
    if (s.lines.empty()) continue;
    auto inkIn = [&](std::size_t line, std::size_t column) {
      const double pitch = 25.4 / 10 * page.pxPerMm, spacing = 25.4 / 6 * page.pxPerMm;
      const cv::Rect cell(int(zone.x + column * pitch), int(zone.y + line * spacing), int(pitch), int(2.42 * s.print.glyphScale * page.pxPerMm));
      int inked = 0;
      for (int y = cell.y; y < cell.y + cell.height; ++y)
        for (int x = cell.x; x < cell.x + cell.width; ++x)
          inked += page.texture.at<cv::Vec4f>(y, x)[1] < s.camera.inkReflectance * 1.3 + 0.02;
      return double(inked) / cell.area();
    };
    double filler = 0, other = 0;
    int fillers = 0, others = 0;
    for (std::size_t l = 0; l < s.lines.size(); ++l)
      for (std::size_t i = 0; i < s.lines[l].size(); ++i) {
        const double ink = inkIn(l, i);
        EXPECT_GT(ink, 0.02) << "line " << l << " column " << i;
        (s.lines[l][i] == '<' ? filler : other) += ink;
        ++(s.lines[l][i] == '<' ? fillers : others);
      }
    ASSERT_GT(fillers * others, 0);
    EXPECT_LT(filler / fillers, 0.8 * other / others);
  }
  EXPECT_EQ(printed.size(), 5u);
}

int photoLuma(const cv::Vec3b& bgr) { return cv::saturate_cast<uchar>(0.299 * bgr[2] + 0.587 * bgr[1] + 0.114 * bgr[0]); }

bool photoInside(const std::vector<cv::Point2d>& corners, const platform::Rect& r) {
  for (const auto& c : corners)
    if (c.x < r.minX() || c.x > r.maxX() || c.y < r.minY() || c.y > r.maxY()) return false;
  return true;
}

// One upright and one sideways sequence at the small resolution: the buffer is the upright
// picture in the sensor's landscape orientation, its luma and chroma those of the picture, and
// the zone lies inside the region the scanner reads (a cut-off zone does not).
TEST(MRZPhotoSet, FramesAreCameraBuffersOfTheUprightPicture) {
  int checked = 0;
  for (int index = 0; index < kPhotoSetSize && checked < 3; ++index) {
    const PhotoSequence s = photoSequence(index, kPhotoSetDefaultSeed);
    const bool wanted = (s.positive() && s.camera.bufferWidth == 1280 && checked < 2 && s.camera.upright == (checked == 0)) ||
                        (s.negative == PhotoNegative::cutOff && checked == 2);
    if (!wanted) continue;
    SCOPED_TRACE(index);
    ++checked;
    const PhotoSequenceRenderer renderer(s);
    const PhotoFrame frame = renderer.frame(0);
    ASSERT_TRUE(frame.buffer);
    const auto& buffer = *frame.buffer;
    EXPECT_EQ(buffer.pixelFormat(), platform::PixelFormat::yCbCr420BiPlanarFullRange);
    EXPECT_EQ(buffer.width(), s.camera.bufferWidth);
    EXPECT_EQ(buffer.height(), s.camera.bufferHeight);
    ASSERT_EQ(buffer.planeCount(), 2u);
    EXPECT_EQ(buffer.plane(1).width, (buffer.width() + 1) / 2);
    EXPECT_EQ(buffer.plane(1).height, (buffer.height() + 1) / 2);
    EXPECT_GE(buffer.plane(0).bytesPerRow, std::size_t(buffer.width()));
    EXPECT_EQ(frame.exifOrientation, s.camera.upright ? 6 : 1);
    const cv::Mat& up = frame.upright;
    ASSERT_EQ(up.cols, s.camera.upright ? buffer.height() : buffer.width());
    ASSERT_EQ(up.rows, s.camera.upright ? buffer.width() : buffer.height());
    // Orientation 6 shows the buffer upright by a quarter turn clockwise: the buffer's first
    // row is the upright picture's right-hand column, read from the top.
    double chromaSpread = 0;
    for (int y = 3; y < up.rows; y += 97)
      for (int x = 5; x < up.cols; x += 89) {
        const int bx = s.camera.upright ? y : x;
        const int by = s.camera.upright ? up.cols - 1 - x : y;
        const int luma = buffer.plane(0).bytes[std::size_t(by) * buffer.plane(0).bytesPerRow + std::size_t(bx)];
        EXPECT_NEAR(luma, photoLuma(up.at<cv::Vec3b>(y, x)), 1) << x << "," << y;
        const auto& chroma = buffer.plane(1);
        const std::size_t at = std::size_t(by / 2) * chroma.bytesPerRow + std::size_t(bx / 2) * 2;
        chromaSpread += std::abs(chroma.bytes[at] - 128) + std::abs(chroma.bytes[at + 1] - 128);
      }
    EXPECT_GT(chromaSpread, 0) << "the chroma plane is flat: the picture lost its colour";
    // The tinted page and a wooden table, cloth or a hand are not grey; Cb/Cr of one block
    // against the picture's own colours.
    {
      const int bx = 200, by = 100;  // a chroma block in the buffer
      double cb = 0, cr = 0;
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
          const int sx = 2 * bx + dx, sy = 2 * by + dy;  // buffer pixel
          const int ux = s.camera.upright ? up.cols - 1 - sy : sx;
          const int uy = s.camera.upright ? sx : sy;
          const cv::Vec3b p = up.at<cv::Vec3b>(uy, ux);
          cb += 128 - 0.168736 * p[2] - 0.331264 * p[1] + 0.5 * p[0];
          cr += 128 + 0.5 * p[2] - 0.418688 * p[1] - 0.081312 * p[0];
        }
      const auto& chroma = buffer.plane(1);
      EXPECT_NEAR(chroma.bytes[std::size_t(by) * chroma.bytesPerRow + std::size_t(2 * bx)], cb / 4, 1.5);
      EXPECT_NEAR(chroma.bytes[std::size_t(by) * chroma.bytesPerRow + std::size_t(2 * bx + 1)], cr / 4, 1.5);
    }
    ASSERT_EQ(frame.zoneCorners.size(), 4u);
    const platform::Rect roi = photoSetRegionOfInterest(s.camera.upright);
    EXPECT_EQ(photoInside(frame.zoneCorners, roi), s.positive());
    // The print reaches the picture: inside the zone's box dark strokes stand out from the
    // page (a frame whose zone is not in the picture measures nothing).
    {
      double x0 = up.cols, y0 = up.rows, x1 = 0, y1 = 0;
      for (const auto& c : frame.zoneCorners) {
        x0 = std::min(x0, c.x * up.cols), x1 = std::max(x1, c.x * up.cols);
        y0 = std::min(y0, (1 - c.y) * up.rows), y1 = std::max(y1, (1 - c.y) * up.rows);
      }
      const cv::Rect box = cv::Rect(cv::Point(int(x0), int(y0)), cv::Point(int(x1), int(y1))) & cv::Rect(0, 0, up.cols, up.rows);
      ASSERT_GT(box.area(), 0);
      std::vector<int> lumas;
      for (int y = box.y; y < box.y + box.height; ++y)
        for (int x = box.x; x < box.x + box.width; ++x) lumas.push_back(photoLuma(up.at<cv::Vec3b>(y, x)));
      std::sort(lumas.begin(), lumas.end());
      const int dark = lumas[lumas.size() / 50], light = lumas[lumas.size() * 7 / 10];
      EXPECT_GT(light - dark, 50) << dark << " " << light;
    }
    EXPECT_GE(frame.capHeight, 11.5);
    EXPECT_LE(frame.capHeight, 40.0 * 1.3);
    // The same frame again, from a second renderer: the very same bytes.
    const PhotoSequenceRenderer again(s);
    EXPECT_EQ(again.frame(0).buffer->plane(0).bytes, buffer.plane(0).bytes);
    EXPECT_EQ(again.frame(0).buffer->plane(1).bytes, buffer.plane(1).bytes);
  }
  EXPECT_EQ(checked, 3);
}

}  // namespace
}  // namespace ostrel::testing
