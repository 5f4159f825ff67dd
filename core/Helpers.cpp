#include "core/Helpers.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include <opencv2/core.hpp>

#include "core/SharedDefaults.hpp"
#include "platform/foundation/DateFormatter.hpp"
#include "platform/media/PixelBufferConversion.hpp"

namespace ostrel {
namespace {

// Formatters are costly to make and safe to share, so one is kept per pattern.
std::shared_ptr<platform::DateFormatter> formatter(const std::string& format) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<platform::DateFormatter>> cache;
  std::lock_guard lock(mutex);
  auto& entry = cache[format];
  if (!entry) entry = std::make_shared<platform::DateFormatter>(format);
  return entry;
}

struct CivilDate {
  int year = 0;
  int month = 0;
  int day = 0;
  auto operator<=>(const CivilDate&) const = default;
};

bool isLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeap(year) ? 29 : days[static_cast<std::size_t>(month - 1)];
}

// The same day `years` later; 29 February falls back to the 28th in a common year.
CivilDate addingYears(CivilDate date, int years) {
  date.year += years;
  date.day = std::min(date.day, daysInMonth(date.year, date.month));
  return date;
}

std::optional<CivilDate> civilDate(std::string_view text) {
  auto date = Helpers::dateFromString(text, "dd/MM/yyyy");
  if (!date) return std::nullopt;
  // Read the fields back through the same time zone rather than trusting the input's digits.
  auto iso = Helpers::stringFromDate(*date, "yyyy-MM-dd");
  CivilDate civil;
  if (std::sscanf(iso.c_str(), "%d-%d-%d", &civil.year, &civil.month, &civil.day) != 3) {
    return std::nullopt;
  }
  return civil;
}

std::string format(CivilDate date) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", date.day, date.month, date.year);
  return buffer;
}

}  // namespace

std::optional<platform::Date> Helpers::dateFromString(std::string_view text,
                                                      const std::string& format) {
  auto f = formatter(format);
  if (!f->isValid()) return std::nullopt;
  return f->date(text);
}

std::string Helpers::stringFromDate(platform::Date date, const std::string& format) {
  auto f = formatter(format);
  if (!f->isValid()) return "";
  return f->string(date);
}

std::string Helpers::idCardExpiryDate(std::string_view birthday, std::string_view issueDate) {
  auto birth = civilDate(birthday);
  auto issue = civilDate(issueDate);
  if (!birth || !issue || *issue < *birth) return kInvalidDateFormat;

  static constexpr std::array<int, 4> milestones{14, 25, 40, 60};
  if (*issue >= addingYears(*birth, 58)) return "";
  for (std::size_t i = 0; i < milestones.size(); ++i) {
    CivilDate milestone = addingYears(*birth, milestones[i]);
    if (milestone <= *issue) continue;
    // Issued less than two years before this age: the card lasts until the next one.
    if (*issue > addingYears(milestone, -2)) {
      if (i + 1 == milestones.size()) return "";
      return format(addingYears(*birth, milestones[i + 1]));
    }
    return format(milestone);
  }
  return "";
}

platform::JSON Helpers::loadDeviceImage() {
  auto stored = sharedDefaults()->dictionary(defaults_keys::kDeviceImage);
  if (!stored || !stored->is_object()) return platform::JSON::object();
  return *stored;
}

void Helpers::saveDeviceImage(const platform::JSON& record) {
  sharedDefaults()->setDictionary(defaults_keys::kDeviceImage,
                                  record.is_object() ? record : platform::JSON::object());
}

platform::ImagePtr Helpers::cropImage(const platform::ImagePtr& image, platform::Rect rect,
                                      platform::Size viewSize) {
  if (!image || !image->hasBitmap()) return image;
  if (!(viewSize.width > 0) || !(viewSize.height > 0)) return image;
  // The bitmap is cut in pixels, so the view's rectangle is scaled to the picture's pixel size
  // (its point size times its scale); for pictures of scale 1 the two are the same.
  const auto size = image->size();
  const double sx = size.width * image->scale() / viewSize.width;
  const double sy = size.height * image->scale() / viewSize.height;
  const double x0 = rect.minX() * sx;
  const double y0 = rect.minY() * sy;
  const double x1 = rect.maxX() * sx;
  const double y1 = rect.maxY() * sy;
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) {
    return image;
  }
  const cv::Mat& bitmap = image->bitmap();
  // Whole pixels covering the rectangle, clipped to the bitmap.
  const double left = std::max(0.0, std::floor(std::min(x0, x1)));
  const double top = std::max(0.0, std::floor(std::min(y0, y1)));
  const double right = std::min(static_cast<double>(bitmap.cols), std::ceil(std::max(x0, x1)));
  const double bottom = std::min(static_cast<double>(bitmap.rows), std::ceil(std::max(y0, y1)));
  if (right <= left || bottom <= top) return image;
  cv::Rect region(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                  static_cast<int>(bottom - top));
  return std::make_shared<platform::Image>(bitmap(region).clone(), image->scale(),
                                           image->orientation());
}

}  // namespace ostrel

namespace ostrel {

platform::ImagePtr Helpers::imageFromPixelBuffer(const platform::PixelBufferPtr& buffer,
                                                 int orientation) {
  if (!buffer) return std::make_shared<platform::Image>(platform::Size{0, 0});
  bool quarter = orientation >= 5 && orientation <= 8;
  int w = std::max(buffer->width(), 0), h = std::max(buffer->height(), 0);
  platform::Size turned = quarter ? platform::Size{double(h), double(w)} : platform::Size{double(w), double(h)};
  cv::Mat rgba = platform::rgbaFromPixelBuffer(*buffer);
  if (rgba.empty()) return std::make_shared<platform::Image>(turned);
  cv::Mat upright;
  switch (orientation) {
    case 2: cv::flip(rgba, upright, 1); break;
    case 3: cv::rotate(rgba, upright, cv::ROTATE_180); break;
    case 4: cv::flip(rgba, upright, 0); break;
    case 5: cv::transpose(rgba, upright); break;
    case 6: cv::rotate(rgba, upright, cv::ROTATE_90_CLOCKWISE); break;
    case 7:
      cv::transpose(rgba, upright);
      cv::rotate(upright, upright, cv::ROTATE_180);
      break;
    case 8: cv::rotate(rgba, upright, cv::ROTATE_90_COUNTERCLOCKWISE); break;
    default: upright = rgba; break;
  }
  return std::make_shared<platform::Image>(std::move(upright));
}

}  // namespace ostrel
