#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Date.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/media/Image.hpp"
#include "platform/media/PixelBuffer.hpp"

namespace ostrel::platform {
class ViewController;
}

namespace ostrel {

// Shared helpers of the screens that need no user interface: dates, the citizen-ID expiry,
// the cached antenna picture and image cropping.
class Helpers {
 public:
  // Dates with an explicit pattern in the time zone "Asia/Ho_Chi_Minh". Parsing is strict:
  // nothing when the whole text does not match or a field is out of range.
  static std::optional<platform::Date> dateFromString(std::string_view text,
                                                      const std::string& format);
  static std::string stringFromDate(platform::Date date, const std::string& format);

  // The expiry ("dd/MM/yyyy") of a citizen ID card from the holder's birthday and the issue
  // date, both "dd/MM/yyyy". The card is renewed at 14, 25, 40 and 60; one issued less than two
  // years before such an age lasts until the next one; one issued at 58 or later does not
  // expire (the empty text). Input that does not parse, or an issue date before the birthday,
  // gives kInvalidDateFormat. Never fails otherwise.
  static constexpr const char* kInvalidDateFormat = "Invalid date format";
  static std::string idCardExpiryDate(std::string_view birthday, std::string_view issueDate);

  // The cached antenna picture of this device model: {"isDefault": Bool, "image": base64}, or
  // an empty dictionary when nothing is stored.
  static platform::JSON loadDeviceImage();
  static void saveDeviceImage(const platform::JSON& record);

  // Crops `image` to `rect`, given in the coordinates of a view of `viewSize`: x and width are
  // scaled by image width / view width, y and height by image height / view height. Scale and
  // orientation are kept. The image comes back unchanged when it has no bitmap or the crop
  // cannot be made.
  static platform::ImagePtr cropImage(const platform::ImagePtr& image, platform::Rect rect,
                                      platform::Size viewSize);

  // A camera frame as a picture with upright pixels (orientation up, scale 1): the buffer's
  // BGRA or '420f' pixels turned as the EXIF `orientation` (1-8) says; 6 turns them 90 degrees
  // clockwise, 5 transposes them. Any other number leaves them as they are. A buffer that
  // cannot be read (no size, rows shorter than their stride says) gives a picture without a
  // bitmap of the turned size; never fails.
  static platform::ImagePtr imageFromPixelBuffer(const platform::PixelBufferPtr& buffer,
                                                 int orientation);

  // ---------------------------------------------------------------- alerts and loading
  // Main queue only, except `showLoading`. An alert is an `OSLAlertVC` in a popup holder
  // (margins 20, no fixed top) presented animated over full screen from `fromVC`, else from the
  // top-most presented controller of the key window; either way through its tab bar controller
  // when it has one. An alert that cannot be presented (no window, a presentation already
  // running) is reported to the debug sink and dropped.

  // An alert of kind `alertType` (the raw value of `OSLAlertVC::TypeOfAlert`; any other value
  // shows nothing) with the optional icon and texts (absent ones leave the kind's own), except
  // that an `errorCode` of 1 or more replaces the title with the localised "error_invalid_data".
  static void showAlert(int alertType, int errorCode, platform::ImagePtr titleIcon,
                        std::optional<std::string> title, std::optional<std::string> message,
                        std::optional<std::string> titleCancel,
                        std::optional<std::string> titleConfirm, std::function<void()> cancelAction,
                        std::function<void()> confirmAction,
                        std::shared_ptr<platform::ViewController> fromVC);
  // The general error alert.
  static void showErrorAlert(std::optional<std::string> title, std::optional<std::string> message,
                             std::function<void()> confirmAction,
                             std::shared_ptr<platform::ViewController> fromVC);
  // The time-out alert; confirming it ends the session and reports the expiry.
  static void showTimeoutAlert(std::shared_ptr<platform::ViewController> fromVC);
  // The host's show-loading handler with `fromVC` when the configuration has one; otherwise the
  // loading indicator, its dots in `colorAnimation` (the appearance main colour when absent).
  // Callable from any thread: the host's handler runs on the main queue (at once when already
  // there), and the colours are set on the main queue, just before the show.
  static void showLoading(std::shared_ptr<platform::ViewController> fromVC,
                          std::optional<std::string> text = std::nullopt,
                          std::optional<platform::Color> colorAnimation = std::nullopt,
                          bool interaction = false);
};

}  // namespace ostrel
