#pragma once

#include <optional>
#include <string>

#include "platform/media/Color.hpp"
#include "platform/media/Image.hpp"

namespace ostrel {

// The QR scanner's configuration, copied into the screen when it is made. The defaults are
// those of a scanner made without one.
struct QRScannerConfiguration {
  std::string title = "Scan QR Code";
  std::optional<std::string> hint = "Align QR code within frame to scan";
  std::string invalidQRCodeAlertTitle = "Invalid QR Code";
  std::string invalidQRCodeAlertActionTitle = "OK";
  std::string uploadFromPhotosTitle = "Upload from photos";
  platform::ImagePtr cameraImage;
  platform::ImagePtr flashOnImage;
  platform::ImagePtr galleryImage;
  double length = 20;
  platform::Color color{52 / 255.0, 199 / 255.0, 89 / 255.0, 1};  // the system green
  double radius = 16;
  double thickness = 8;
  bool readQRFromPhotos = false;
  std::string cancelButtonTitle = "Cancel";
  std::optional<platform::Color> cancelButtonTintColor;
  bool hideNavigationBar = true;
  std::optional<std::string> regexValidResult;

  // Whether a scanned text is acceptable: the value of its "referral" (or "referal") query
  // item when the text is a link with such an item, else the whole text, must match
  // `regexValidResult` whole (eight lower-case letters or digits when no pattern is set). A
  // pattern that does not compile, or a match that runs out of time, refuses the text.
  bool validate(const std::string& text) const;

  // The text a scan reports: the value of the first query item named "referral" or "referal"
  // when the text is a link with such an item that has a value, else the whole text.
  static std::string referralValueOrText(const std::string& text);
};

}  // namespace ostrel
