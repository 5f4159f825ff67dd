#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/Geometry.hpp"
#include "platform/media/Image.hpp"
#include "platform/media/PixelBuffer.hpp"

namespace ostrel::platform {

// The machine-readable code types this platform reads.
enum class MachineReadableCodeType {
  qr,
  microQR,
  aztec,
  dataMatrix,
  pdf417,
  ean8,
  ean13,
  upce,
  code39,
  code93,
  code128,
  itf,
};

// Every type a camera's metadata output offers, in this order.
const std::vector<MachineReadableCodeType>& offeredMachineReadableCodeTypes();
const char* machineReadableCodeTypeName(MachineReadableCodeType type);

// One code found in a picture: its type, its four corners in pixels of the picture as given
// (top-left, top-right, bottom-right, bottom-left of the symbol) and its text, when the reader
// has one for it (binary payloads may have none).
struct DetectedCode {
  MachineReadableCodeType type = MachineReadableCodeType::qr;
  std::array<Point, 4> corners{};
  std::optional<std::string> text;
};

// Reads codes from camera frames and still pictures. One reader is installed per process
// (zxing-cpp by default); tests install a scripted one. Safe from any thread.
class BarcodeReader {
 public:
  virtual ~BarcodeReader() = default;
  // The codes of `types` in a frame as the camera wrote it (BGRA, or the luma plane of a
  // Y'CbCr buffer), tuned for frame rate.
  virtual std::vector<DetectedCode> readFrame(const PixelBuffer& frame,
                                              const std::vector<MachineReadableCodeType>& types) = 0;
  // The QR codes of a still picture's stored bitmap (not turned by its orientation), reading
  // as hard as it can; nothing for a picture without a bitmap.
  virtual std::vector<DetectedCode> readStillQRCodes(const Image& image) = 0;

  static std::shared_ptr<BarcodeReader> current();
  // Null puts the zxing-cpp reader back.
  static void install(std::shared_ptr<BarcodeReader> reader);
};

class ZXingBarcodeReader : public BarcodeReader {
 public:
  std::vector<DetectedCode> readFrame(const PixelBuffer& frame,
                                      const std::vector<MachineReadableCodeType>& types) override;
  std::vector<DetectedCode> readStillQRCodes(const Image& image) override;
};

// A QR code found in a still picture: its text, when it has one, and its bounds in the
// picture's pixels.
struct QRCodeFeature {
  std::optional<std::string> messageString;
  Rect bounds;
};

// The QR codes of a picture in the reader's order (the still-picture QR detector).
std::vector<QRCodeFeature> qrCodeFeatures(const Image& image);

}  // namespace ostrel::platform
