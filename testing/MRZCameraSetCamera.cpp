#include "testing/MRZCameraSetParts.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

// The camera: the page seen tilted and turned, under uneven light and glare, blurred, noisy and
// JPEG-coded, handed over as the buffers a phone gives.

namespace ostrel::testing::mrzset {

// The buffer's region of interest in upright pixels.
cv::Rect2d regionInUpright(cv::Size upright, const platform::Rect& roi) {
  return {roi.minX() * upright.width, (1 - roi.maxY()) * upright.height,
          roi.width() * upright.width, roi.height() * upright.height};
}

cv::Size uprightSize(const MRZSetCamera& camera) {
  const int longSide = camera.hd720 ? 1280 : 1920, shortSide = camera.hd720 ? 720 : 1080;
  return camera.landscape ? cv::Size(longSide, shortSide) : cv::Size(shortSide, longSide);
}

platform::Rect regionOfInterestFor(const MRZSetCamera& camera) {
  // As the scanner computes it for a 16/9 buffer.
  if (camera.landscape) return {0.1, (1 - 0.51875) / 1.5, 0.8, 0.51875};
  const double width = 0.9, height = 0.6484375 * width / (16.0 / 9.0);
  return {(1 - width) / 2, (1 - height) / 1.5, width, height};
}

}  // namespace ostrel::testing::mrzset

namespace ostrel::testing {

namespace {

using mrzset::between;
using mrzset::regionInUpright;
using mrzset::regionOfInterestFor;
using mrzset::uprightSize;

// Page corners seen through a camera tilted by `tilt` about an axis in direction `axis`,
// turned by `turn`, the zone's centre landing on `target`.
cv::Mat pageToUpright(cv::Size page, cv::Point2d zoneCentre, double scale, double tiltDegrees,
                      double axis, double turnDegrees, cv::Point2d target, double focal) {
  const double tilt = tiltDegrees * std::numbers::pi / 180, turn = turnDegrees * std::numbers::pi / 180;
  const cv::Vec3d u(std::cos(axis), std::sin(axis), 0);
  std::vector<cv::Point2f> from, to;
  for (const cv::Point2d corner : {cv::Point2d(0, 0), cv::Point2d(page.width, 0),
                                   cv::Point2d(page.width, page.height), cv::Point2d(0, page.height)}) {
    const cv::Vec3d p((corner.x - zoneCentre.x) * scale, (corner.y - zoneCentre.y) * scale, 0);
    // Rodrigues' rotation of p about u.
    const cv::Vec3d r = p * std::cos(tilt) + u.cross(p) * std::sin(tilt) + u * (u.dot(p)) * (1 - std::cos(tilt));
    const double depth = focal + r[2];
    const double x = focal * r[0] / depth, y = focal * r[1] / depth;
    const double xt = x * std::cos(turn) - y * std::sin(turn), yt = x * std::sin(turn) + y * std::cos(turn);
    from.emplace_back(static_cast<float>(corner.x), static_cast<float>(corner.y));
    to.emplace_back(static_cast<float>(target.x + xt), static_cast<float>(target.y + yt));
  }
  return cv::getPerspectiveTransform(from, to);
}

platform::PixelBufferPtr bufferOf(const cv::Mat& uprightGrey, bool landscape) {
  cv::Mat turned;
  if (landscape)
    turned = uprightGrey;
  else
    cv::rotate(uprightGrey, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
  const int width = turned.cols, height = turned.rows;
  platform::PixelPlane luma{width, height, static_cast<std::size_t>(width),
                            std::vector<std::uint8_t>(std::size_t(width) * std::size_t(height))};
  for (int y = 0; y < height; ++y)
    std::copy_n(turned.ptr<std::uint8_t>(y), width, luma.bytes.begin() + std::ptrdiff_t(y) * width);
  platform::PixelPlane chroma{width / 2, height / 2, static_cast<std::size_t>(width / 2 * 2),
                              std::vector<std::uint8_t>(std::size_t(width / 2 * 2) * std::size_t(height / 2), 128)};
  return std::make_shared<platform::PixelBuffer>(platform::PixelFormat::yCbCr420BiPlanarFullRange, width, height,
                                                 std::vector<platform::PixelPlane>{std::move(luma), std::move(chroma)});
}

}  // namespace

int MRZCameraSequence::exifOrientation() const { return sequence_.camera.landscape ? 1 : 6; }

platform::Rect MRZCameraSequence::regionOfInterest() const { return regionOfInterestFor(sequence_.camera); }

cv::Mat MRZCameraSequence::uprightFrame(int index) const {
  const MRZSetCamera& c = sequence_.camera;
  const cv::Size upright = uprightSize(c);
  const cv::Rect2d region = regionInUpright(upright, regionOfInterest());
  std::mt19937 random(c.seed * 31u + static_cast<std::uint32_t>(index) * 2654435761u + 7u);
  auto jitter = [&random](double amount) { return between(random, -amount, amount); };

  // The zone sits in the lower part of the region, where the guide puts it.
  std::mt19937 placement(c.seed + 11u);
  const cv::Point2d target(region.x + region.width * (0.5 + between(placement, -0.03, 0.03)) + jitter(4),
                           region.y + region.height * between(placement, 0.62, 0.72) + jitter(4));
  const double focal = 1.2 * std::max(upright.width, upright.height);
  const cv::Mat homography =
      pageToUpright(page_.size(), zoneCentre_, pageScale_, c.tiltDegrees + jitter(0.5), c.tiltDirection,
                    c.turnDegrees + jitter(0.4), target, focal);

  // Only the region (and a margin) is photographed; around it lies a plain table.
  const cv::Rect window = cv::Rect(cv::Point(static_cast<int>(region.x) - 12, static_cast<int>(region.y) - 12),
                                   cv::Size(static_cast<int>(region.width) + 24, static_cast<int>(region.height) + 24)) &
                          cv::Rect(cv::Point(0, 0), upright);
  const cv::Mat shift = (cv::Mat_<double>(3, 3) << 1, 0, -window.x, 0, 1, -window.y, 0, 0, 1);
  cv::Mat picture;
  const int table = 60 + static_cast<int>(c.seed % 60);
  cv::warpPerspective(page_, picture, shift * homography, window.size(), cv::INTER_LINEAR,
                      cv::BORDER_CONSTANT, cv::Scalar(table));

  cv::Mat light(picture.size(), CV_32F);
  {
    std::mt19937 lighting(c.seed + 23u);
    const double direction = between(lighting, 0, 2 * std::numbers::pi);
    const double gx = std::cos(direction), gy = std::sin(direction);
    const double glareX = between(lighting, 0.2, 0.8) * picture.cols + index * 6.0 * gx;
    const double glareY = between(lighting, 0.3, 0.9) * picture.rows + index * 3.0 * gy;
    const double glareRadius = between(lighting, 0.08, 0.16) * picture.cols;
    for (int y = 0; y < light.rows; ++y) {
      float* row = light.ptr<float>(y);
      for (int x = 0; x < light.cols; ++x) {
        const double t = 0.5 + 0.5 * ((x / double(light.cols) - 0.5) * gx + (y / double(light.rows) - 0.5) * gy);
        double value = 1.0 - 0.65 * c.unevenLight * t * t;
        if (c.glare > 0) {
          const double dx = x - glareX, dy = y - glareY;
          value += 1.6 * c.glare * std::exp(-(dx * dx + dy * dy) / (2 * glareRadius * glareRadius));
        }
        row[x] = static_cast<float>(value);
      }
    }
  }
  cv::Mat lit;
  picture.convertTo(lit, CV_32F);
  cv::multiply(lit, light, lit);
  lit.convertTo(picture, CV_8U);

  if (c.defocusSigma > 0) cv::GaussianBlur(picture, picture, cv::Size(), c.defocusSigma * between(random, 0.8, 1.2));
  if (c.motionBlur > 0) {
    const double length = c.motionBlur * between(random, 0.3, 1.2);
    if (length >= 1) {
      const int size = static_cast<int>(std::ceil(length)) | 1;
      cv::Mat kernel = cv::Mat::zeros(size, size, CV_32F);
      const double angle = between(random, 0, std::numbers::pi);
      for (int step = 0; step <= 4 * size; ++step) {
        const double s = (step / double(4 * size) - 0.5) * length;
        const int x = static_cast<int>(std::lround(size / 2 + s * std::cos(angle)));
        const int y = static_cast<int>(std::lround(size / 2 + s * std::sin(angle)));
        if (x >= 0 && y >= 0 && x < size && y < size) kernel.at<float>(y, x) += 1;
      }
      kernel /= cv::sum(kernel)[0];
      cv::filter2D(picture, picture, -1, kernel);
    }
  }
  if (c.noiseSigma > 0) {
    cv::RNG rng(c.seed * 101u + static_cast<std::uint32_t>(index));
    cv::Mat noise(picture.size(), CV_16S), noisy;
    rng.fill(noise, cv::RNG::NORMAL, 0, c.noiseSigma);
    picture.convertTo(noisy, CV_16S);
    noisy += noise;
    noisy.convertTo(picture, CV_8U);
  }
  if (c.jpegQuality > 0 && c.jpegQuality < 100) {
    std::vector<std::uint8_t> jpeg;
    cv::imencode(".jpg", picture, jpeg, {cv::IMWRITE_JPEG_QUALITY, c.jpegQuality});
    picture = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
  }
  cv::Mat frame(upright, CV_8UC1, cv::Scalar(table));
  picture.copyTo(frame(window));
  return frame;
}

platform::PixelBufferPtr MRZCameraSequence::frame(int index) const {
  return bufferOf(uprightFrame(index), sequence_.camera.landscape);
}

}  // namespace ostrel::testing
