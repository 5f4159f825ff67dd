#pragma once

#include <string>

namespace ostrel::platform {

// The contactless platform's reader errors. The chip session decides on some of these texts
// ("Tag connection lost", "Session invalidated"), so every backend must report exactly them.
struct NFCReaderError {
  enum Code : int {
    readerErrorUnsupportedFeature = 1,
    readerErrorSecurityViolation = 2,
    readerErrorInvalidParameter = 3,
    readerErrorInvalidParameterLength = 4,
    readerErrorParameterOutOfBound = 5,
    readerErrorRadioDisabled = 6,
    readerErrorIneligible = 7,
    readerErrorAccessNotAccepted = 8,
    readerTransceiveErrorTagConnectionLost = 100,
    readerTransceiveErrorRetryExceeded = 101,
    readerTransceiveErrorTagResponseError = 102,
    readerTransceiveErrorSessionInvalidated = 103,
    readerTransceiveErrorTagNotConnected = 104,
    readerTransceiveErrorPacketTooLong = 105,
    readerSessionInvalidationErrorUserCanceled = 200,
    readerSessionInvalidationErrorSessionTimeout = 201,
    readerSessionInvalidationErrorSessionTerminatedUnexpectedly = 202,
    readerSessionInvalidationErrorSystemIsBusy = 203,
    readerSessionInvalidationErrorFirstNDEFTagRead = 204,
  };

  Code code = readerTransceiveErrorTagResponseError;
  std::string localizedDescription;

  // The error with the platform's own text for its code.
  static NFCReaderError make(Code code);
  static std::string defaultDescription(Code code);

  friend bool operator==(const NFCReaderError&, const NFCReaderError&) = default;
};

}  // namespace ostrel::platform
