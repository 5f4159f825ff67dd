#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Date.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/media/Image.hpp"
#include "platform/media/PixelBuffer.hpp"

namespace ostrel {

// Shared helpers of the screens that need no user interface: dates, the citizen-ID expiry,
// the cached antenna picture and image cropping. The alert and loading helpers of the same
// namespace sit with the facade (`session/HelpersAlerts.hpp`), since they need the UI kit.
namespace Helpers {

// Dates with an explicit pattern in the time zone "Asia/Ho_Chi_Minh". Parsing is strict:
// nothing when the whole text does not match or a field is out of range.
std::optional<platform::Date> dateFromString(std::string_view text, const std::string& format);
std::string stringFromDate(platform::Date date, const std::string& format);

// The expiry ("dd/MM/yyyy") of a citizen ID card from the holder's birthday and the issue
// date, both "dd/MM/yyyy". The card is renewed at 14, 25, 40 and 60; one issued less than two
// years before such an age lasts until the next one; one issued at 58 or later does not
// expire (the empty text). Input that does not parse, or an issue date before the birthday,
// gives kInvalidDateFormat. Never fails otherwise.
inline constexpr const char* kInvalidDateFormat = "Invalid date format";
std::string idCardExpiryDate(std::string_view birthday, std::string_view issueDate);

// The cached antenna picture of this device model: {"isDefault": Bool, "image": base64}, or
// an empty dictionary when nothing is stored.
platform::JSON loadDeviceImage();
void saveDeviceImage(const platform::JSON& record);

// Crops `image` to `rect`, given in the coordinates of a view of `viewSize`: x and width are
// scaled by image width / view width, y and height by image height / view height. Scale and
// orientation are kept. The image comes back unchanged when it has no bitmap or the crop
// cannot be made.
platform::ImagePtr cropImage(const platform::ImagePtr& image, platform::Rect rect,
                             platform::Size viewSize);

// A camera frame as a picture with upright pixels (orientation up, scale 1): the buffer's
// BGRA or '420f' pixels turned as the EXIF `orientation` (1-8) says; 6 turns them 90 degrees
// clockwise, 5 transposes them. Any other number leaves them as they are. A buffer that
// cannot be read (no size, rows shorter than their stride says) gives a picture without a
// bitmap of the turned size; never fails.
platform::ImagePtr imageFromPixelBuffer(const platform::PixelBufferPtr& buffer, int orientation);

}  // namespace Helpers
}  // namespace ostrel
