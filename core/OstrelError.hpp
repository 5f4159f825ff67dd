#pragma once

#include <exception>
#include <string>

namespace ostrel {

// A failure the host or the user sees: the server's or the transport's code and a message that
// is already localised. Codes the library itself gives: -1 network, 401 session expired,
// 500 service down.
struct OstrelError : std::exception {
  static constexpr int kNetworkError = -1;
  static constexpr int kSessionExpired = 401;
  static constexpr int kServiceDown = 500;

  int code = kServiceDown;
  std::string message;

  OstrelError(int code, std::string message) : code(code), message(std::move(message)) {}
  // The localised text the code stands for: 401, 500 and -1 have their own, every other code
  // the text of an unknown error.
  static OstrelError fromCode(int code);
  static std::string localizationKey(int code);

  const std::string& localizedDescription() const { return message; }
  const char* what() const noexcept override { return message.c_str(); }
  bool operator==(const OstrelError& other) const {
    return code == other.code && message == other.message;
  }
};

}  // namespace ostrel
