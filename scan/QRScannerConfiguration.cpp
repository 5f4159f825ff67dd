#include "scan/QRScannerConfiguration.hpp"

#include "platform/foundation/Debug.hpp"
#include "platform/foundation/RegexMatch.hpp"
#include "platform/foundation/URLComponents.hpp"

namespace ostrel {

namespace {

constexpr const char* kDefaultPattern = "^[a-z0-9]{8}$";

// The value of the first item named exactly "referral" or "referal", when the text is a link
// with query items and that item has a value.
std::optional<std::string> referralValue(const std::string& text) {
  auto components = platform::URLComponents::parse(text);
  if (!components) return std::nullopt;
  auto items = components->queryItems();
  if (!items) return std::nullopt;
  for (const auto& item : *items) {
    if (item.name == "referral" || item.name == "referal") return item.value;
  }
  return std::nullopt;
}

}  // namespace

std::string QRScannerConfiguration::referralValueOrText(const std::string& text) {
  return referralValue(text).value_or(text);
}

bool QRScannerConfiguration::validate(const std::string& text) const {
  const std::string pattern = regexValidResult.value_or(kDefaultPattern);
  std::string why;
  switch (platform::regexMatchesWholeText(pattern, referralValueOrText(text), &why)) {
    case platform::RegexMatchResult::matched:
      return true;
    case platform::RegexMatchResult::notMatched:
      return false;
    case platform::RegexMatchResult::error:
      platform::debugLog("QR text refused, its validation pattern failed (" + why + ")");
      return false;
  }
  return false;
}

}  // namespace ostrel
