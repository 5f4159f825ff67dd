#include "platform/media/Image.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/foundation/Bundle.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/media/ExifOrientation.hpp"
#include "platform/media/ImageHeader.hpp"

namespace ostrel::platform {
namespace {

cv::Mat toRgba(const cv::Mat& decoded) {
  cv::Mat rgba;
  switch (decoded.channels()) {
    case 1:
      cv::cvtColor(decoded, rgba, cv::COLOR_GRAY2RGBA);
      break;
    case 3:
      cv::cvtColor(decoded, rgba, cv::COLOR_BGR2RGBA);
      break;
    case 4:
      cv::cvtColor(decoded, rgba, cv::COLOR_BGRA2RGBA);
      break;
    default:
      return {};
  }
  if (rgba.depth() != CV_8U) rgba.convertTo(rgba, CV_8UC4, 1.0 / 257.0);
  return rgba;
}

}  // namespace

bool orientationSwapsAxes(ImageOrientation o) {
  return o == ImageOrientation::left || o == ImageOrientation::right ||
         o == ImageOrientation::leftMirrored || o == ImageOrientation::rightMirrored;
}

cv::Mat displayBitmap(const cv::Mat& stored, ImageOrientation orientation) {
  cv::Mat out;
  if (stored.empty()) return out;
  switch (orientation) {
    case ImageOrientation::up:
      return stored.clone();
    case ImageOrientation::down:
      cv::rotate(stored, out, cv::ROTATE_180);
      break;
    case ImageOrientation::left:
      cv::rotate(stored, out, cv::ROTATE_90_COUNTERCLOCKWISE);
      break;
    case ImageOrientation::right:
      cv::rotate(stored, out, cv::ROTATE_90_CLOCKWISE);
      break;
    case ImageOrientation::upMirrored:
      cv::flip(stored, out, 1);
      break;
    case ImageOrientation::downMirrored:
      cv::flip(stored, out, 0);
      break;
    case ImageOrientation::leftMirrored:
      cv::transpose(stored, out);
      break;
    case ImageOrientation::rightMirrored: {
      cv::Mat t;
      cv::transpose(stored, t);
      cv::flip(t, out, -1);
      break;
    }
    default:
      return stored.clone();
  }
  return out;
}

Image::Image(cv::Mat rgba, double scale, ImageOrientation orientation)
    : bitmap_(std::move(rgba)), scale_(scale > 0 ? scale : 1), orientation_(orientation) {
  pointSize_ = {bitmap_.cols / scale_, bitmap_.rows / scale_};
}

Image::Image(Size size, double scale, ImageOrientation orientation)
    : pointSize_(size), scale_(scale > 0 ? scale : 1), orientation_(orientation) {}

Size Image::size() const {
  return orientationSwapsAxes(orientation_) ? Size{pointSize_.height, pointSize_.width}
                                            : pointSize_;
}

std::shared_ptr<Image> Image::decode(const Bytes& data, double scale) {
  // Read the header first: the decoder would allocate whatever size it declares.
  if (!isDecodablePicture(data)) return nullptr;
  cv::Mat decoded;
  try {
    decoded = cv::imdecode(
        cv::Mat(1, static_cast<int>(data.size()), CV_8U, const_cast<std::uint8_t*>(data.data())),
        cv::IMREAD_UNCHANGED);
  } catch (const cv::Exception&) {
    return nullptr;
  }
  if (decoded.empty()) return nullptr;
  cv::Mat rgba = toRgba(decoded);
  if (rgba.empty()) return nullptr;
  // The pixels stay as stored; the EXIF tag says how they are seen, as the platform decodes.
  auto orientation = imageOrientationFromExif(jpegExifOrientation(data).value_or(1));
  return std::make_shared<Image>(std::move(rgba), scale, orientation);
}

std::shared_ptr<Image> Image::fromFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  double scale = 1;
  const auto stem = path.stem().string();
  if (stem.ends_with("@2x")) scale = 2;
  if (stem.ends_with("@3x")) scale = 3;
  return decode(data, scale);
}

std::shared_ptr<Image> Image::named(const std::string& name, const Bundle& bundle) {
  auto path = bundle.imagePath(name);
  auto image = path ? fromFile(*path) : nullptr;
  if (!image) {
    // A screen asks for its pictures again on every appearance; one line per name is enough.
    static std::mutex mutex;
    static std::set<std::string> reported;
    std::lock_guard lock(mutex);
    if (reported.insert(name).second) debugLog("no picture named \"" + name + "\" in the bundle");
  }
  return image;
}

std::shared_ptr<Image> Image::animatedImage(std::vector<std::shared_ptr<Image>> frames,
                                            double duration) {
  std::erase(frames, nullptr);
  if (frames.empty()) return nullptr;
  const auto& first = *frames.front();
  auto image = std::make_shared<Image>(first);
  image->frames_ = std::move(frames);
  image->duration_ = duration;
  return image;
}

std::shared_ptr<Image> Image::withTintColor(Color color) const {
  auto image = std::make_shared<Image>(*this);
  image->tintColor_ = color;
  return image;
}

cv::Mat Image::uprightBitmap() const {
  return orientation_ == ImageOrientation::up ? bitmap_ : displayBitmap(bitmap_, orientation_);
}

std::optional<Bytes> Image::jpegData(double quality) const {
  if (bitmap_.empty()) return std::nullopt;
  // Files carry no orientation of ours, so a turned picture is written upright.
  cv::Mat bgr;
  cv::cvtColor(uprightBitmap(), bgr, cv::COLOR_RGBA2BGR);
  std::vector<uchar> out;
  int q = static_cast<int>(std::clamp(quality, 0.0, 1.0) * 100 + 0.5);
  try {
    if (!cv::imencode(".jpg", bgr, out, {cv::IMWRITE_JPEG_QUALITY, q})) return std::nullopt;
  } catch (const cv::Exception&) {
    return std::nullopt;
  }
  return Bytes(out.begin(), out.end());
}

std::optional<Bytes> Image::pngData() const {
  if (bitmap_.empty()) return std::nullopt;
  cv::Mat bgra;
  cv::cvtColor(uprightBitmap(), bgra, cv::COLOR_RGBA2BGRA);
  std::vector<uchar> out;
  try {
    if (!cv::imencode(".png", bgra, out)) return std::nullopt;
  } catch (const cv::Exception&) {
    return std::nullopt;
  }
  return Bytes(out.begin(), out.end());
}

}  // namespace ostrel::platform
