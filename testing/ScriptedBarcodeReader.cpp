#include "testing/ScriptedBarcodeReader.hpp"

namespace ostrel::testing {

std::shared_ptr<ScriptedBarcodeReader> ScriptedBarcodeReader::install() {
  auto reader = std::make_shared<ScriptedBarcodeReader>();
  platform::BarcodeReader::install(reader);
  return reader;
}

void ScriptedBarcodeReader::pushFrame(std::vector<platform::DetectedCode> codes) {
  std::lock_guard guard(mutex_);
  frames_.push_back(std::move(codes));
}

void ScriptedBarcodeReader::setStillCodes(std::vector<platform::DetectedCode> codes) {
  std::lock_guard guard(mutex_);
  still_ = std::move(codes);
}

int ScriptedBarcodeReader::framesRead() const {
  std::lock_guard guard(mutex_);
  return framesRead_;
}

std::vector<platform::MachineReadableCodeType> ScriptedBarcodeReader::lastTypes() const {
  std::lock_guard guard(mutex_);
  return lastTypes_;
}

std::vector<platform::DetectedCode> ScriptedBarcodeReader::readFrame(
    const platform::PixelBuffer&, const std::vector<platform::MachineReadableCodeType>& types) {
  std::lock_guard guard(mutex_);
  ++framesRead_;
  lastTypes_ = types;
  if (frames_.empty()) return {};
  auto codes = std::move(frames_.front());
  frames_.pop_front();
  return codes;
}

std::vector<platform::DetectedCode> ScriptedBarcodeReader::readStillQRCodes(const platform::Image& image) {
  if (!image.hasBitmap()) return {};
  std::lock_guard guard(mutex_);
  return still_;
}

platform::DetectedCode ScriptedBarcodeReader::qr(std::optional<std::string> text, double x, double y,
                                                 double side) {
  platform::DetectedCode code;
  code.text = std::move(text);
  code.corners = {platform::Point{x, y}, platform::Point{x + side, y},
                  platform::Point{x + side, y + side}, platform::Point{x, y + side}};
  return code;
}

}  // namespace ostrel::testing
