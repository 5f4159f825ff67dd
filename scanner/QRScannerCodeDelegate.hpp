#pragma once

#include <string>
#include <variant>

namespace ostrel {

class OSLQRCodeScannerController;

// Why the QR scanner could not read.
class QRCodeError {
 public:
  enum Code { inputFailed, outputFailed, emptyResult };
  QRCodeError(Code code) : code_(code) {}  // NOLINT: a case converts to its error
  Code code() const { return code_; }
  // The localised text of the case.
  std::string errorDescription() const;
  std::string description() const { return errorDescription(); }
  bool operator==(const QRCodeError& other) const { return code_ == other.code_; }

 private:
  Code code_;
};

// What the scanner hands its result channel.
struct QRScannerCodeResponseType {
  struct didScanQRCodeWithResult {
    std::string text;
    bool operator==(const didScanQRCodeWithResult&) const = default;
  };
  struct didFailWithError {
    QRCodeError error;
    bool operator==(const didFailWithError&) const = default;
  };
  struct didCancel {
    bool operator==(const didCancel&) const = default;
  };
  std::variant<didScanQRCodeWithResult, didFailWithError, didCancel> value;
  bool operator==(const QRScannerCodeResponseType&) const = default;
};

// The scanner's results for an owner that prefers a delegate to `onScannedHandle`.
class QRScannerCodeDelegate {
 public:
  virtual ~QRScannerCodeDelegate() = default;
  virtual void qrScanner(OSLQRCodeScannerController& controller,
                         const std::string& didScanQRCodeWithResult) = 0;
  virtual void qrScanner(OSLQRCodeScannerController& controller,
                         const QRCodeError& didFailWithError) = 0;
  virtual void qrScannerDidCancel(OSLQRCodeScannerController& controller) = 0;
};

}  // namespace ostrel
