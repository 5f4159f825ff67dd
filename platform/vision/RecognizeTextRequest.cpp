#include "platform/vision/RecognizeTextRequest.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include <opencv2/imgproc.hpp>

#include "platform/vision/TextRecognizerBackend.hpp"
#include "platform/vision/VisionError.hpp"

namespace ostrel::platform {

namespace {

bool finite(const Rect& r) {
  return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
         std::isfinite(r.size.height);
}

// The region in pixels of an upright picture of `size`, clamped to it; empty when nothing is
// left of it.
cv::Rect regionInPixels(const Rect& region, cv::Size size) {
  if (!finite(region) || region.isEmpty()) return {};
  const double left = std::clamp(region.minX(), 0.0, 1.0), right = std::clamp(region.maxX(), 0.0, 1.0);
  const double bottom = std::clamp(region.minY(), 0.0, 1.0), top = std::clamp(region.maxY(), 0.0, 1.0);
  const int x0 = static_cast<int>(std::lround(left * size.width));
  const int x1 = static_cast<int>(std::lround(right * size.width));
  const int y0 = static_cast<int>(std::lround((1 - top) * size.height));
  const int y1 = static_cast<int>(std::lround((1 - bottom) * size.height));
  if (x1 <= x0 || y1 <= y0) return {};
  return {x0, y0, x1 - x0, y1 - y0};
}

bool swapsSides(int orientation) { return orientation >= 5; }

// Where a point of the upright picture lies in the buffer, for EXIF orientations 1-8.
cv::Point bufferPoint(int orientation, cv::Point p, cv::Size buffer) {
  const int w = buffer.width, h = buffer.height;
  switch (orientation) {
    case 2: return {w - p.x, p.y};
    case 3: return {w - p.x, h - p.y};
    case 4: return {p.x, h - p.y};
    case 5: return {p.y, p.x};
    case 6: return {p.y, h - p.x};
    case 7: return {w - p.y, h - p.x};
    case 8: return {w - p.y, p.x};
    default: return p;
  }
}

// Turns a piece of the buffer the way the whole buffer is turned to be shown upright.
cv::Mat turnUpright(const cv::Mat& piece, int orientation) {
  cv::Mat out;
  switch (orientation) {
    case 2: cv::flip(piece, out, 1); break;
    case 3: cv::flip(piece, out, -1); break;
    case 4: cv::flip(piece, out, 0); break;
    case 5: cv::transpose(piece, out); break;
    case 6: cv::rotate(piece, out, cv::ROTATE_90_CLOCKWISE); break;
    case 7: cv::transpose(piece, out); cv::flip(out, out, -1); break;
    case 8: cv::rotate(piece, out, cv::ROTATE_90_COUNTERCLOCKWISE); break;
    default: out = piece; break;
  }
  return out;
}

// The buffer's first plane without copying: luma for '420f', the colour pixels for BGRA.
cv::Mat firstPlane(const PixelBuffer& buffer) {
  if (buffer.width() <= 0 || buffer.height() <= 0 || buffer.planeCount() == 0) {
    throw VisionError(VisionErrorCode::invalidImage, "The pixel buffer is empty.");
  }
  const PixelPlane& plane = buffer.plane(0);
  const bool bgra = buffer.pixelFormat() == PixelFormat::bgra32;
  const std::size_t bytesPerPixel = bgra ? 4 : 1;
  const auto width = static_cast<std::size_t>(buffer.width());
  const auto height = static_cast<std::size_t>(buffer.height());
  if (plane.width < buffer.width() || plane.height < buffer.height() ||
      plane.bytesPerRow < width * bytesPerPixel || plane.bytes.size() / plane.bytesPerRow < height) {
    throw VisionError(VisionErrorCode::invalidImage, "The pixel buffer's plane is smaller than the buffer.");
  }
  return cv::Mat(buffer.height(), buffer.width(), bgra ? CV_8UC4 : CV_8UC1,
                 const_cast<std::uint8_t*>(plane.bytes.data()), plane.bytesPerRow);
}

}  // namespace

RecognizedTextObservation::RecognizedTextObservation(Rect box, std::vector<RecognizedText> candidates)
    : candidates_(std::move(candidates)) {
  boundingBox = box;
  confidence = candidates_.empty() ? 0 : candidates_.front().confidence;
}

std::vector<RecognizedText> RecognizedTextObservation::topCandidates(std::size_t maxCandidateCount) const {
  const std::size_t count = std::min(maxCandidateCount, candidates_.size());
  return {candidates_.begin(), candidates_.begin() + static_cast<std::ptrdiff_t>(count)};
}

std::vector<ObservationPtr> RecognizeTextRequest::observe(const VisionImage& image) {
  // A camera buffer is cut before it is turned, and its luma plane is read as it is; only a
  // bitmap handed to the handler is read from the upright picture.
  const bool fromBuffer = image.pixelBuffer != nullptr;
  const int orientation = fromBuffer ? image.exifOrientation : 1;
  if (orientation < 1 || orientation > 8) {
    throw VisionError(VisionErrorCode::invalidArgument,
                      "Unknown image orientation " + std::to_string(orientation) + ".");
  }
  const cv::Mat stored = fromBuffer ? firstPlane(*image.pixelBuffer) : image.uprightRGBA;
  if (stored.empty() || stored.depth() != CV_8U) {
    throw VisionError(VisionErrorCode::invalidImage, "The image is empty.");
  }
  const cv::Size upright = swapsSides(orientation) ? cv::Size(stored.rows, stored.cols) : stored.size();
  const cv::Rect region = regionInPixels(regionOfInterest, upright);
  if (region.empty()) return {};
  const cv::Point a = bufferPoint(orientation, region.tl(), stored.size());
  const cv::Point b = bufferPoint(orientation, region.br(), stored.size());
  cv::Mat piece = stored(cv::Rect(cv::Point(std::min(a.x, b.x), std::min(a.y, b.y)),
                                  cv::Point(std::max(a.x, b.x), std::max(a.y, b.y))));
  if (piece.channels() == 4) {
    cv::Mat grey;
    const bool bgra = fromBuffer && image.pixelBuffer->pixelFormat() == PixelFormat::bgra32;
    cv::cvtColor(piece, grey, bgra ? cv::COLOR_BGRA2GRAY : cv::COLOR_RGBA2GRAY);
    piece = grey;
  } else if (piece.channels() != 1) {
    throw VisionError(VisionErrorCode::invalidImage, "The image is neither grey nor RGBA.");
  }
  const cv::Mat grey = turnUpright(piece, orientation);
  const Rect readRegion(double(region.x) / upright.width,
                        1.0 - double(region.y + region.height) / upright.height,
                        double(region.width) / upright.width, double(region.height) / upright.height);

  const TextRecognitionOptions options{recognitionLevel == RecognitionLevel::fast,
                                       usesLanguageCorrection};
  std::vector<RecognizedTextLine> lines = TextRecognizerBackend::current()->recognize(grey, options);

  // Boxes come normalised to the part that was read; callers want them in their region.
  const Rect& roi = regionOfInterest;
  std::vector<ObservationPtr> observations;
  observations.reserve(lines.size());
  for (auto& line : lines) {
    const Rect& box = line.boundingBox;
    const Rect inPicture(readRegion.minX() + box.minX() * readRegion.width(),
                         readRegion.minY() + box.minY() * readRegion.height(),
                         box.width() * readRegion.width(), box.height() * readRegion.height());
    const Rect inRegion((inPicture.minX() - roi.minX()) / roi.width(),
                        (inPicture.minY() - roi.minY()) / roi.height(),
                        inPicture.width() / roi.width(), inPicture.height() / roi.height());
    const float confidence = std::isfinite(line.confidence) ? std::clamp(line.confidence, 0.f, 1.f) : 0.f;
    // Marks that are not one per character say nothing about which character they mean.
    if (line.unsure.size() != line.string.size()) line.unsure.clear();
    if (line.letters.size() != line.string.size() || line.unsureLetters.size() != line.string.size()) {
      line.letters.clear();
      line.unsureLetters.clear();
    }
    observations.push_back(std::make_shared<RecognizedTextObservation>(
        inRegion, std::vector<RecognizedText>{{std::move(line.string), confidence, std::move(line.unsure),
                                               std::move(line.letters), std::move(line.unsureLetters)}}));
  }
  return observations;
}

}  // namespace ostrel::platform
