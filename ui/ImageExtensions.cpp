#include "ui/ImageExtensions.hpp"

#include <cmath>
#include <numbers>

#include "platform/media/GraphicsContext.hpp"

namespace ostrel {

using platform::AffineTransform;
using platform::ImageOrientation;

platform::ImagePtr fixedOrientation(const platform::ImagePtr& image) {
  if (!image || image->orientation() == ImageOrientation::up) return image;
  // Pixel sizes, so pictures with a scale above 1 keep their resolution.
  const double w = std::round(image->size().width * image->scale());
  const double h = std::round(image->size().height * image->scale());
  auto transform = AffineTransform::identity();
  switch (image->orientation()) {
    case ImageOrientation::down:
    case ImageOrientation::downMirrored:
      transform = transform.translatedBy(w, h).rotatedBy(std::numbers::pi);
      break;
    case ImageOrientation::left:
    case ImageOrientation::leftMirrored:
      transform = transform.translatedBy(w, 0).rotatedBy(std::numbers::pi / 2);
      break;
    case ImageOrientation::right:
    case ImageOrientation::rightMirrored:
      transform = transform.translatedBy(0, h).rotatedBy(-std::numbers::pi / 2);
      break;
    default:
      break;
  }
  switch (image->orientation()) {
    case ImageOrientation::upMirrored:
    case ImageOrientation::downMirrored:
      transform = transform.translatedBy(w, 0).scaledBy(-1, 1);
      break;
    case ImageOrientation::leftMirrored:
    case ImageOrientation::rightMirrored:
      transform = transform.translatedBy(h, 0).scaledBy(-1, 1);
      break;
    default:
      break;
  }
  if (!image->hasBitmap()) return image;
  auto context = platform::GraphicsContext::makeBitmap(
      static_cast<int>(w), static_cast<int>(h), image->bitsPerComponent(), image->colorSpace());
  if (!context) return image;
  context->concatenate(transform);
  if (platform::orientationSwapsAxes(image->orientation())) {
    context->draw(image->bitmap(), {0, 0, h, w});
  } else {
    context->draw(image->bitmap(), {0, 0, w, h});
  }
  auto pixels = context->makeImage();
  if (pixels.empty()) return image;
  return std::make_shared<platform::Image>(std::move(pixels), image->scale());
}

platform::ImagePtr tinted(const platform::ImagePtr& image, platform::Color color) {
  if (!image || !image->hasBitmap()) return image;
  const auto size = image->size();
  platform::beginImageContext(size, false, image->scale());
  auto context = platform::currentImageContext();
  if (!context) {
    platform::endImageContext();
    return image;
  }
  context->translateBy(0, size.height);
  context->scaleBy(1, -1);
  const platform::Rect rect{0, 0, size.width, size.height};
  context->setBlendMode(platform::BlendMode::normal);
  context->draw(image->bitmap(), rect);
  context->setBlendMode(platform::BlendMode::sourceIn);
  context->setFillColor(color);
  context->fill(rect);
  auto result = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  return result ? result : image;
}

platform::ImagePtr rotated(const platform::ImagePtr& image, double radians) {
  if (!image || !image->hasBitmap()) return image;
  const double w = image->pixelWidth();
  const double h = image->pixelHeight();
  platform::beginImageContext({h, w}, false, 1);
  auto context = platform::currentImageContext();
  if (!context) {
    platform::endImageContext();
    return image;
  }
  context->rotate(radians);
  context->translateBy(0, -h);
  context->draw(image->bitmap(), {0, 0, w, h});
  auto result = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  return result ? result : image;
}

platform::ImagePtr flippedVertically(const platform::ImagePtr& image) {
  if (!image || !image->hasBitmap()) return image;
  const auto size = image->size();
  platform::beginImageContext(size, false, image->scale());
  auto context = platform::currentImageContext();
  if (!context) {
    platform::endImageContext();
    return image;
  }
  context->translateBy(size.width / 2, size.height / 2);
  context->scaleBy(1, -1);
  context->translateBy(-size.width / 2, -size.height / 2);
  context->drawImage(*image, {0, 0, size.width, size.height});
  auto result = platform::imageFromCurrentImageContext();
  platform::endImageContext();
  return result ? result : image;
}

}  // namespace ostrel
