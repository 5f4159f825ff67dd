#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ostrel {

// The fixed table of tracking events handed to the host's log handler. Positions are part of
// the table; hosts only ever see the names. Slots whose names nothing documents are reserved
// and never emitted.
enum class OSLTrackingEvent : int {
  MRZ_FAIL = 0,
  NFC_START_LISTEN = 1,
  NFC_ERROR = 2,
  NFC_TAP_CANCEL = 3,
  NFC_TAP_FAIL = 4,
  NFC_TAP_SUCCESS = 5,
  NFC_SUCCESS = 6,
  NFC_FAIL = 7,
  NFC_TAP_LOCATION = 8,
  NFC_SHOW_POSITION_FOUND = 9,
  NFC_SHOW_POSITION_NOT_FOUND = 10,
  NFC_LOCATION_TAP_CLOSE = 11,
  RESERVED_12 = 12,
  RESERVED_13 = 13,
  RESERVED_14 = 14,
  RESERVED_15 = 15,
  RESERVED_16 = 16,
  RESERVED_17 = 17,
  RESERVED_18 = 18,
  CAPTURE_START = 19,
  CAPTURE_AUTO_OFF = 20,
  CAPTURE_AUTO_ON = 21,
  CAPTURE_AUTO_SUCCESS = 22,
  CAPTURE_FAIL = 23,
  CAPTURE_SUCCESS = 24,
  CAPTURE_ERROR = 25,
  LIVENESS_START = 26,
  LIVENESS_FAIL = 27,
  LIVENESS_ERROR = 28,
  LIVENESS_SUCCESS = 29,
  LIVENESS_TIMEOUT = 30,
  LIVENESS_CAPTURE_SUCCESS = 31,
  LIVENESS_INTERRUPTED = 32,
  RESERVED_33 = 33,
  RESERVED_34 = 34,
  RESERVED_35 = 35,
  EXIT_TAP_YES = 36,
  EXIT_TAP_NO = 37,
  TAP_GUIDE = 38,
  GUIDE_TAP_CLOSE = 39,
  ENTER_SCREEN = 40,
  EXIT_SCREEN = 41,
  TAP_CAPTURE = 42,
  TAP_RETRY = 43,
  TAP_CONTINUE = 44,
  TAP_EXIT = 45,
  SDK_IN_BACKGROUND = 46,
  SDK_IN_FOREGROUND = 47,
  TOO_MANY_ATTEMPTS = 48,
};

inline constexpr int kTrackingEventCount = 49;

// The names, by position.
inline constexpr std::array<std::string_view, kTrackingEventCount> kTrackingEventNames = {
    "MRZ_FAIL",
    "NFC_START_LISTEN",
    "NFC_ERROR",
    "NFC_TAP_CANCEL",
    "NFC_TAP_FAIL",
    "NFC_TAP_SUCCESS",
    "NFC_SUCCESS",
    "NFC_FAIL",
    "NFC_TAP_LOCATION",
    "NFC_SHOW_POSITION_FOUND",
    "NFC_SHOW_POSITION_NOT_FOUND",
    "NFC_LOCATION_TAP_CLOSE",
    "RESERVED_12",
    "RESERVED_13",
    "RESERVED_14",
    "RESERVED_15",
    "RESERVED_16",
    "RESERVED_17",
    "RESERVED_18",
    "CAPTURE_START",
    "CAPTURE_AUTO_OFF",
    "CAPTURE_AUTO_ON",
    "CAPTURE_AUTO_SUCCESS",
    "CAPTURE_FAIL",
    "CAPTURE_SUCCESS",
    "CAPTURE_ERROR",
    "LIVENESS_START",
    "LIVENESS_FAIL",
    "LIVENESS_ERROR",
    "LIVENESS_SUCCESS",
    "LIVENESS_TIMEOUT",
    "LIVENESS_CAPTURE_SUCCESS",
    "LIVENESS_INTERRUPTED",
    "RESERVED_33",
    "RESERVED_34",
    "RESERVED_35",
    "EXIT_TAP_YES",
    "EXIT_TAP_NO",
    "TAP_GUIDE",
    "GUIDE_TAP_CLOSE",
    "ENTER_SCREEN",
    "EXIT_SCREEN",
    "TAP_CAPTURE",
    "TAP_RETRY",
    "TAP_CONTINUE",
    "TAP_EXIT",
    "SDK_IN_BACKGROUND",
    "SDK_IN_FOREGROUND",
    "TOO_MANY_ATTEMPTS",
};

constexpr std::string_view name(OSLTrackingEvent event) {
  const auto index = static_cast<int>(event);
  return index >= 0 && index < kTrackingEventCount ? kTrackingEventNames[index]
                                                   : std::string_view{};
}

// The event at a table position; nothing outside the table.
constexpr std::optional<OSLTrackingEvent> trackingEventFromRaw(int raw) {
  if (raw < 0 || raw >= kTrackingEventCount) return std::nullopt;
  return static_cast<OSLTrackingEvent>(raw);
}

// Screen names that events are reported under. Some screens report their class name instead
// ("OSLQRCodeScannerController", "OSLNFCAntennaVC", "OSLGuideLivenessAdvanceVC").
namespace screen_names {
inline constexpr const char* kCaptureFront = "OSL_SCREEN_CAPTURE_FRONT";
inline constexpr const char* kCaptureBack = "OSL_SCREEN_CAPTURE_BACK";
inline constexpr const char* kPassport = "OSL_SCREEN_PASSPORT";
inline constexpr const char* kLiveness = "OSL_SCREEN_LIVENESS";
inline constexpr const char* kLivenessAdvance = "OSL_SCREEN_LIVENESS_ADVANCE";
inline constexpr const char* kNfc = "OSL_SCREEN_NFC";
inline constexpr const char* kMrz = "OSL_SCREEN_MRZ";
inline constexpr const char* kConfirmInformation = "OSL_SCREEN_CONFIRM_INFORMATION";
}  // namespace screen_names

}  // namespace ostrel
