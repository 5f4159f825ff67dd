#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/vision/BarcodeReader.hpp"

namespace ostrel::testing {

// A code reader that answers each frame with the next scripted list of codes (none once the
// script is used up), and still pictures with their own list.
class ScriptedBarcodeReader : public platform::BarcodeReader {
 public:
  // A fresh reader, installed process-wide (the test environment puts zxing back afterwards).
  static std::shared_ptr<ScriptedBarcodeReader> install();

  void pushFrame(std::vector<platform::DetectedCode> codes);
  void setStillCodes(std::vector<platform::DetectedCode> codes);
  int framesRead() const;
  // The types asked for by the last frame read.
  std::vector<platform::MachineReadableCodeType> lastTypes() const;

  std::vector<platform::DetectedCode> readFrame(
      const platform::PixelBuffer& frame,
      const std::vector<platform::MachineReadableCodeType>& types) override;
  std::vector<platform::DetectedCode> readStillQRCodes(const platform::Image& image) override;

  // A QR code of `text` with its corners on the pixel rectangle (x, y, side, side).
  static platform::DetectedCode qr(std::optional<std::string> text, double x, double y, double side);

 private:
  mutable std::mutex mutex_;
  std::deque<std::vector<platform::DetectedCode>> frames_;
  std::vector<platform::DetectedCode> still_;
  std::vector<platform::MachineReadableCodeType> lastTypes_;
  int framesRead_ = 0;
};

}  // namespace ostrel::testing
