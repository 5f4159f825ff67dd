#pragma once

namespace ostrel {

// The code the chip screen hands to the host's chip-error handler. The server's codes 400, 51
// and 21 and the scan time-out 401 pass as they are; everything else becomes `unknown`.
enum class OstrelScanNFCError : int {
  unknown = -1,
  code21 = 21,
  code51 = 51,
  code400 = 400,
  timeout = 401,
};

inline OstrelScanNFCError scanNFCErrorFromCode(int code) {
  switch (code) {
    case 21:
    case 51:
    case 400:
    case 401:
      return static_cast<OstrelScanNFCError>(code);
    default:
      return OstrelScanNFCError::unknown;
  }
}

}  // namespace ostrel
