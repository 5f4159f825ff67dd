#include "core/OstrelError.hpp"

#include "core/Localization.hpp"

namespace ostrel {

std::string OstrelError::localizationKey(int code) {
  switch (code) {
    case kSessionExpired:
      return "error_timeout";
    case kServiceDown:
      return "error_service_temporary_down";
    case kNetworkError:
      return "error_network";
    default:
      return "error_unknown";
  }
}

OstrelError OstrelError::fromCode(int code) {
  return OstrelError(code, osl_localize(localizationKey(code)));
}

}  // namespace ostrel
