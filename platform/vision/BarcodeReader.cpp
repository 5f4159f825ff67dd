// Text comes back as UTF-8 only with this set before the reader's headers.
#define ZX_USE_UTF8 1

#include "platform/vision/BarcodeReader.hpp"

#include <algorithm>
#include <mutex>

#include <ZXing/ReadBarcode.h>

namespace ostrel::platform {

namespace {

struct TypeEntry {
  MachineReadableCodeType type;
  ZXing::BarcodeFormat format;
  const char* name;
};

const std::vector<TypeEntry>& typeTable() {
  using F = ZXing::BarcodeFormat;
  using T = MachineReadableCodeType;
  static const std::vector<TypeEntry> table{
      {T::qr, F::QRCode, "qr"},           {T::microQR, F::MicroQRCode, "microQR"},
      {T::aztec, F::Aztec, "aztec"},      {T::dataMatrix, F::DataMatrix, "dataMatrix"},
      {T::pdf417, F::PDF417, "pdf417"},   {T::ean8, F::EAN8, "ean8"},
      {T::ean13, F::EAN13, "ean13"},      {T::upce, F::UPCE, "upce"},
      {T::code39, F::Code39, "code39"},   {T::code93, F::Code93, "code93"},
      {T::code128, F::Code128, "code128"}, {T::itf, F::ITF, "itf"},
  };
  return table;
}

std::optional<MachineReadableCodeType> typeOf(ZXing::BarcodeFormat format) {
  for (const auto& entry : typeTable())
    if (entry.format == format) return entry.type;
  return std::nullopt;
}

std::vector<DetectedCode> convert(const ZXing::Results& results) {
  std::vector<DetectedCode> codes;
  for (const auto& result : results) {
    if (!result.isValid()) continue;
    auto type = typeOf(result.format());
    if (!type) continue;
    DetectedCode code;
    code.type = *type;
    const auto& position = result.position();
    for (int i = 0; i < 4; ++i) code.corners[i] = Point{double(position[i].x), double(position[i].y)};
    // A payload the reader cannot give as text (binary content) comes without a text.
    if (result.contentType() != ZXing::ContentType::Binary) code.text = result.text();
    codes.push_back(std::move(code));
  }
  return codes;
}

std::mutex& installMutex() {
  static std::mutex mutex;
  return mutex;
}

std::shared_ptr<BarcodeReader>& installed() {
  static std::shared_ptr<BarcodeReader> reader = std::make_shared<ZXingBarcodeReader>();
  return reader;
}

}  // namespace

const std::vector<MachineReadableCodeType>& offeredMachineReadableCodeTypes() {
  static const std::vector<MachineReadableCodeType> types = [] {
    std::vector<MachineReadableCodeType> all;
    for (const auto& entry : typeTable()) all.push_back(entry.type);
    return all;
  }();
  return types;
}

const char* machineReadableCodeTypeName(MachineReadableCodeType type) {
  for (const auto& entry : typeTable())
    if (entry.type == type) return entry.name;
  return "unknown";
}

std::shared_ptr<BarcodeReader> BarcodeReader::current() {
  std::lock_guard guard(installMutex());
  return installed();
}

void BarcodeReader::install(std::shared_ptr<BarcodeReader> reader) {
  std::lock_guard guard(installMutex());
  installed() = reader ? std::move(reader) : std::make_shared<ZXingBarcodeReader>();
}

std::vector<DetectedCode> ZXingBarcodeReader::readFrame(
    const PixelBuffer& frame, const std::vector<MachineReadableCodeType>& types) {
  if (types.empty() || frame.width() <= 0 || frame.height() <= 0 || frame.planeCount() == 0)
    return {};
  ZXing::BarcodeFormats formats;
  for (const auto& entry : typeTable())
    if (std::find(types.begin(), types.end(), entry.type) != types.end()) formats |= entry.format;
  const auto& plane = frame.plane(0);
  const bool bgra = frame.pixelFormat() == PixelFormat::bgra32;
  const std::size_t needed =
      plane.bytesPerRow * std::size_t(plane.height > 0 ? plane.height - 1 : 0) +
      std::size_t(plane.width) * (bgra ? 4 : 1);
  if (plane.width <= 0 || plane.height <= 0 || plane.bytes.size() < needed) return {};
  ZXing::ImageView view(plane.bytes.data(), plane.width, plane.height,
                        bgra ? ZXing::ImageFormat::BGRX : ZXing::ImageFormat::Lum,
                        static_cast<int>(plane.bytesPerRow));
  auto hints = ZXing::DecodeHints().setFormats(formats).setTryHarder(false).setTryRotate(true);
  hints.setMaxNumberOfSymbols(255);
  return convert(ZXing::ReadBarcodes(view, hints));
}

std::vector<DetectedCode> ZXingBarcodeReader::readStillQRCodes(const Image& image) {
  if (!image.hasBitmap()) return {};
  const cv::Mat& rgba = image.bitmap();
  if (rgba.type() != CV_8UC4 || rgba.empty()) return {};
  ZXing::ImageView view(rgba.data, rgba.cols, rgba.rows, ZXing::ImageFormat::RGBX,
                        static_cast<int>(rgba.step[0]));
  auto hints = ZXing::DecodeHints()
                   .setFormats(ZXing::BarcodeFormat::QRCode)
                   .setTryHarder(true)
                   .setTryRotate(true);
  hints.setMaxNumberOfSymbols(255);
  return convert(ZXing::ReadBarcodes(view, hints));
}

std::vector<QRCodeFeature> qrCodeFeatures(const Image& image) {
  std::vector<QRCodeFeature> features;
  for (const auto& code : BarcodeReader::current()->readStillQRCodes(image)) {
    double x1 = code.corners[0].x, y1 = code.corners[0].y, x2 = x1, y2 = y1;
    for (const auto& p : code.corners) {
      x1 = std::min(x1, p.x), y1 = std::min(y1, p.y);
      x2 = std::max(x2, p.x), y2 = std::max(y2, p.y);
    }
    features.push_back({code.text, Rect{x1, y1, x2 - x1, y2 - y1}});
  }
  return features;
}

}  // namespace ostrel::platform
