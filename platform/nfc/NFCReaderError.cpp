#include "platform/nfc/NFCReaderError.hpp"

namespace ostrel::platform {

NFCReaderError NFCReaderError::make(Code code) {
  return NFCReaderError{code, defaultDescription(code)};
}

std::string NFCReaderError::defaultDescription(Code code) {
  switch (code) {
    case readerErrorUnsupportedFeature:
      return "Feature not supported";
    case readerErrorSecurityViolation:
      return "Missing required entitlement";
    case readerErrorInvalidParameter:
      return "Invalid parameter";
    case readerErrorInvalidParameterLength:
      return "Invalid parameter length";
    case readerErrorParameterOutOfBound:
      return "Parameter out of bound";
    case readerErrorRadioDisabled:
      return "Radio is disabled";
    case readerErrorIneligible:
      return "Ineligible";
    case readerErrorAccessNotAccepted:
      return "Access not accepted";
    case readerTransceiveErrorTagConnectionLost:
      return "Tag connection lost";
    case readerTransceiveErrorRetryExceeded:
      return "Retry exceeded";
    case readerTransceiveErrorTagResponseError:
      return "Tag response error";
    case readerTransceiveErrorSessionInvalidated:
      return "Session invalidated";
    case readerTransceiveErrorTagNotConnected:
      return "Tag is not connected";
    case readerTransceiveErrorPacketTooLong:
      return "Packet too long";
    case readerSessionInvalidationErrorUserCanceled:
      return "Session invalidated by user";
    case readerSessionInvalidationErrorSessionTimeout:
      return "Session timeout";
    case readerSessionInvalidationErrorSessionTerminatedUnexpectedly:
      return "Session terminated unexpectedly";
    case readerSessionInvalidationErrorSystemIsBusy:
      return "System resource unavailable";
    case readerSessionInvalidationErrorFirstNDEFTagRead:
      return "First NDEF tag read";
  }
  return "Unknown error";
}

}  // namespace ostrel::platform
