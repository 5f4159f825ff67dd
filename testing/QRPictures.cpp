#include "testing/QRPictures.hpp"

#include <ZXing/BitMatrix.h>
#include <ZXing/CharacterSet.h>
#include <ZXing/MultiFormatWriter.h>
#include <opencv2/imgproc.hpp>

namespace ostrel::testing {

std::string longQRPayload() {
  std::string text;
  for (int i = 0; text.size() < 2048; ++i) text += "line " + std::to_string(i) + " of a long QR text; ";
  return text.substr(0, 2048);
}

cv::Mat qrCodeModules(const std::string& text, int moduleSize) {
  auto matrix = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                    .setMargin(4)
                    .setEncoding(ZXing::CharacterSet::UTF8)
                    .encode(text, 0, 0);
  cv::Mat modules(matrix.height(), matrix.width(), CV_8UC1);
  for (int y = 0; y < matrix.height(); ++y)
    for (int x = 0; x < matrix.width(); ++x) modules.at<std::uint8_t>(y, x) = matrix.get(x, y) ? 0 : 255;
  cv::Mat scaled;
  cv::resize(modules, scaled, {}, moduleSize, moduleSize, cv::INTER_NEAREST);
  return scaled;
}

cv::Mat QRScene::render(const std::vector<std::pair<cv::Mat, QRPlacement>>& codes) const {
  cv::Mat grey(size, CV_8UC1);
  // A gentle left-to-right shade with a little noise.
  cv::RNG rng(seed);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x)
      grey.at<std::uint8_t>(y, x) = cv::saturate_cast<std::uint8_t>(
          200 + 30.0 * x / size.width + rng.gaussian(3));
  for (const auto& [code, placement] : codes) {
    cv::Mat rotation = cv::getRotationMatrix2D(
        cv::Point2f(code.cols / 2.0f, code.rows / 2.0f), -placement.degrees, placement.scale);
    rotation.at<double>(0, 2) += placement.center.x - code.cols / 2.0;
    rotation.at<double>(1, 2) += placement.center.y - code.rows / 2.0;
    cv::Mat mask(code.size(), CV_8UC1, cv::Scalar(255)), warpedMask, warped;
    cv::warpAffine(code, warped, rotation, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT, 255);
    cv::warpAffine(mask, warpedMask, rotation, size, cv::INTER_NEAREST, cv::BORDER_CONSTANT, 0);
    warped.copyTo(grey, warpedMask);
  }
  if (blurSigma > 0) cv::GaussianBlur(grey, grey, {0, 0}, blurSigma);
  cv::Mat rgba;
  cv::cvtColor(grey, rgba, cv::COLOR_GRAY2RGBA);
  return rgba;
}

}  // namespace ostrel::testing
