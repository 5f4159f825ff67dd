#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

namespace ostrel::testing {

// The payloads QR tests share: a citizen-ID-like text with Vietnamese diacritics, a web link
// with a "referral" item, and a 2 KB text.
inline const std::string kCitizenIdPayload =
    "001099012345|123456789|Nguyễn Văn A|01011990|Nam|Hà Nội|01012021";
inline const std::string kReferralLink = "https://example.org/join?utm=qr&referral=ab12cd34";
std::string longQRPayload();

// A QR code of `text` (UTF-8, margin 4) made with zxing's writer, each module `moduleSize`
// pixels: black on white, 8-bit grey.
cv::Mat qrCodeModules(const std::string& text, int moduleSize);

// Where and how a code sits in a picture.
struct QRPlacement {
  cv::Point2d center;
  double degrees = 0;  // turned clockwise as seen
  double scale = 1;
};

// An upright RGBA picture of `size` with a smooth light background and mild noise from `seed`
// (a card under a camera), with each code drawn at its placement, then blurred by `blurSigma`
// pixels when above 0.
struct QRScene {
  cv::Size size{1280, 720};
  std::uint32_t seed = 7;
  double blurSigma = 0;
  cv::Mat render(const std::vector<std::pair<cv::Mat, QRPlacement>>& codes) const;
};

// The centre of a scene of `size`.
inline cv::Point2d centerOf(cv::Size size) { return {size.width / 2.0, size.height / 2.0}; }

}  // namespace ostrel::testing
