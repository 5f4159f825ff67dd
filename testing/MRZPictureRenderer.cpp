#include "testing/MRZPictureRenderer.hpp"

#include <cmath>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>

#include <opencv2/freetype.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace ostrel::testing {

namespace {

constexpr int kMargin = 48;                 // card beyond the region on every side
constexpr double kAdvancePerSize = 0.7059;  // OCR-B's advance over the font size

// cv::freetype keeps state while drawing, so each font is used under a lock.
struct Font {
  std::mutex lock;
  cv::Ptr<cv::freetype::FreeType2> face;
};

Font& loadedFont(const char* path) {
  static std::mutex registryLock;
  static std::vector<std::pair<std::string, std::unique_ptr<Font>>> fonts;
  std::lock_guard guard(registryLock);
  for (auto& [name, font] : fonts) {
    if (name == path) return *font;
  }
  auto font = std::make_unique<Font>();
  font->face = cv::freetype::createFreeType2();
  font->face->loadFontData(path, 0);
  fonts.emplace_back(path, std::move(font));
  return *fonts.back().second;
}

void drawText(const char* fontPath, cv::Mat& canvas, const std::string& text, cv::Point origin,
              int size, cv::Scalar colour) {
  Font& font = loadedFont(fontPath);
  std::lock_guard guard(font.lock);
  font.face->putText(canvas, text, origin, size, colour, -1, cv::LINE_AA, true);
}

// The card as printed, sharp and level: a pale tinted ground with faint guilloche curves, a
// line of other print and the zone near the bottom.
cv::Mat renderCard(const std::vector<std::string>& lines, const MRZPictureStyle& style) {
  const cv::Rect region = mrzRegionInPicture();
  std::mt19937 random(style.seed);
  std::uniform_real_distribution<double> unit(0, 1);
  const double paper = 200 + 40 * unit(random);
  cv::Mat card(region.height + 2 * kMargin, region.width + 2 * kMargin, CV_8UC3,
               cv::Scalar(paper - 15 * unit(random), paper, paper - 10 * unit(random)));
  for (int curve = 0; curve < 6; ++curve) {
    const double amplitude = 10 + 30 * unit(random), period = 80 + 200 * unit(random);
    const double phase = 6.3 * unit(random), base = card.rows * unit(random);
    std::vector<cv::Point> points;
    for (int x = 0; x < card.cols; x += 4) {
      points.emplace_back(x, static_cast<int>(base + amplitude * std::sin(x / period * 6.283 + phase)));
    }
    cv::polylines(card, points, false, cv::Scalar::all(paper - 8), 1, cv::LINE_AA);
  }

  std::size_t longest = 0;
  for (const auto& line : lines) longest = std::max(longest, line.size());
  const int size = style.characterHeight;
  const double zoneWidth = static_cast<double>(longest) * kAdvancePerSize * size;
  const double lineSpacing = 1.3 * size;
  const double zoneHeight = lineSpacing * static_cast<double>(lines.size());
  const double left = kMargin + (region.width - zoneWidth) / 2 + style.offsetX;
  const double bottom = kMargin + region.height - 0.1 * region.height + style.offsetY;
  const double top = bottom - zoneHeight;
  const cv::Scalar ink = cv::Scalar::all(25 + 30 * unit(random));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const cv::Point origin(static_cast<int>(std::lround(left)),
                           static_cast<int>(std::lround(top + lineSpacing * double(i + 1) - 0.25 * size)));
    drawText(OSTREL_OCRB_FONT, card, lines[i], origin, size, ink);
  }
  if (style.otherCardText) {
    const int otherSize = std::max(14, size * 4 / 5);
    const cv::Point origin(static_cast<int>(left), static_cast<int>(top - 1.2 * otherSize));
    drawText(OSTREL_TEXT_FONT, card, "Date of expiry 15 APR 2031  Ngay het han", origin, otherSize, ink);
  }
  cv::Mat grey;
  cv::cvtColor(card, grey, cv::COLOR_BGR2GRAY);
  return grey;
}

// From the card to what the camera delivers for one frame.
cv::Mat photograph(const cv::Mat& card, const MRZPictureStyle& style, double dx, double dy,
                   double extraDegrees, std::uint32_t frameSeed) {
  const cv::Rect region = mrzRegionInPicture();
  // Turn about the card's centre and move, then take the region out of the middle.
  cv::Mat turn = cv::getRotationMatrix2D(cv::Point2f(card.cols / 2.f, card.rows / 2.f),
                                         style.rotationDegrees + extraDegrees, 1.0);
  turn.at<double>(0, 2) += dx - kMargin;
  turn.at<double>(1, 2) += dy - kMargin;
  cv::Mat picture;
  cv::warpAffine(card, picture, turn, region.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);

  if (style.unevenLight > 0) {
    // Brightness falls off from one corner towards the other.
    cv::Mat light(picture.size(), CV_32F);
    const double fall = std::min(style.unevenLight, 1.0) * 0.65;
    for (int y = 0; y < light.rows; ++y) {
      float* row = light.ptr<float>(y);
      for (int x = 0; x < light.cols; ++x) {
        const double t = (double(x) / light.cols + double(y) / light.rows) / 2;
        row[x] = static_cast<float>(1.0 - fall * t * t);
      }
    }
    cv::Mat lit;
    picture.convertTo(lit, CV_32F);
    cv::multiply(lit, light, lit);
    lit.convertTo(picture, CV_8U);
  }
  if (style.blurSigma > 0) cv::GaussianBlur(picture, picture, cv::Size(), style.blurSigma);
  if (style.noiseSigma > 0) {
    cv::RNG rng(frameSeed);
    cv::Mat noise(picture.size(), CV_16S);
    rng.fill(noise, cv::RNG::NORMAL, 0, style.noiseSigma);
    cv::Mat noisy;
    picture.convertTo(noisy, CV_16S);
    noisy += noise;
    noisy.convertTo(picture, CV_8U);
  }
  if (style.jpegQuality > 0) {
    std::vector<std::uint8_t> jpeg;
    cv::imencode(".jpg", picture, jpeg, {cv::IMWRITE_JPEG_QUALITY, style.jpegQuality});
    picture = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
  }
  return picture;
}

}  // namespace

cv::Rect mrzRegionInPicture() {
  // Portrait with a 16/9 buffer: x 0.05, width 0.9; from the top 0.223909 to 0.552181.
  return {54, 430, 972, 630};
}

cv::Mat renderMRZRegion(const std::vector<std::string>& lines, const MRZPictureStyle& style) {
  return photograph(renderCard(lines, style), style, 0, 0, 0, style.seed);
}

cv::Mat uprightPictureWithRegion(const cv::Mat& region) {
  cv::Mat picture(kMRZPictureHeight, kMRZPictureWidth, CV_8UC1, cv::Scalar(90));
  const cv::Rect place = mrzRegionInPicture();
  if (region.size() != place.size() || region.type() != CV_8UC1) {
    throw std::invalid_argument("region rendering of the wrong size or type");
  }
  region.copyTo(picture(place));
  return picture;
}

cv::Mat renderMRZPicture(const std::vector<std::string>& lines, const MRZPictureStyle& style) {
  return uprightPictureWithRegion(renderMRZRegion(lines, style));
}

platform::PixelBufferPtr cameraBufferFromUpright(const cv::Mat& uprightGrey) {
  cv::Mat turned;
  cv::rotate(uprightGrey, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
  const int width = turned.cols, height = turned.rows;
  platform::PixelPlane luma{width, height, static_cast<std::size_t>(width),
                            std::vector<std::uint8_t>(std::size_t(width) * std::size_t(height))};
  for (int y = 0; y < height; ++y) {
    std::copy_n(turned.ptr<std::uint8_t>(y), width, luma.bytes.begin() + std::ptrdiff_t(y) * width);
  }
  platform::PixelPlane chroma{width / 2, height / 2, static_cast<std::size_t>(width / 2 * 2),
                              std::vector<std::uint8_t>(std::size_t(width / 2 * 2) * std::size_t(height / 2), 128)};
  return std::make_shared<platform::PixelBuffer>(
      platform::PixelFormat::yCbCr420BiPlanarFullRange, width, height,
      std::vector<platform::PixelPlane>{std::move(luma), std::move(chroma)});
}

MRZFrameSequence::MRZFrameSequence(std::vector<std::string> lines, MRZPictureStyle style)
    : lines_(std::move(lines)), style_(style), card_(renderCard(lines_, style_)) {}

cv::Mat MRZFrameSequence::regionFrame(int index) const {
  const std::uint32_t frameSeed = style_.seed * 7919u + static_cast<std::uint32_t>(index) * 104729u + 1u;
  std::mt19937 random(frameSeed);
  std::uniform_real_distribution<double> jitter(-1, 1);
  const double dx = 4 * jitter(random), dy = 4 * jitter(random), turn = 0.3 * jitter(random);
  return photograph(card_, style_, dx, dy, turn, frameSeed);
}

}  // namespace ostrel::testing
