#pragma once

// Helpers the chip screen's source files share; not part of the library's interface.

#include <optional>
#include <string>

#include "core/TrackEvent.hpp"
#include "nfcscan/OSLScanNFCVC.hpp"
#include "session/Ostrel.hpp"

namespace ostrel::scan_nfc_vc_support {

// Hosts give MRZ texts with the two characters "\" "n" between the lines.
inline std::optional<std::string> cleanedMrz(std::optional<std::string> text) {
  if (!text) return std::nullopt;
  std::string out;
  out.reserve(text->size());
  for (std::size_t i = 0; i < text->size(); ++i) {
    if ((*text)[i] == '\\' && i + 1 < text->size() && (*text)[i + 1] == 'n') {
      out.push_back('\n');
      ++i;
    } else {
      out.push_back((*text)[i]);
    }
  }
  return out;
}

inline void hideLoading() {
  Ostrel::shared()->hideLoading();
}

inline void report(OSLLogLevel level, OSLTrackingEvent event, const JSON& data = JSON::object()) {
  trackEvent(level, event, OSLScanNFCVC::kScreenName, data);
}

}  // namespace ostrel::scan_nfc_vc_support
