#pragma once

#include <functional>
#include <string>

#include "core/OSLConfig.hpp"
#include "platform/foundation/JSON.hpp"

namespace ostrel {

// Implemented by a host that wants the raw data of the steps instead of letting the library
// call the server. The library only calls it; the host may call a completion on any thread.
class OSLRawDataProcessor {
 public:
  using Completion = std::function<void(OSLConfig::Result)>;

  virtual ~OSLRawDataProcessor() = default;

  // `isFront` is true for the front of the card and for the passport page.
  virtual void processCaptureData(bool isFront, const platform::Bytes& idCardImageData,
                                  const std::string& idCardImageBase64String,
                                  Completion completion) = 0;
  // `variant` is the liveness key of the picture ("p" or "a").
  virtual void processLivenessData(const platform::Bytes& faceImageData,
                                   const std::string& faceImageBase64String,
                                   const std::string& variant, Completion completion) = 0;
  // `jsonNfc` maps each data group read, in lower case, to the base64 text of its file.
  virtual void processNFCData(const platform::JSON& jsonNfc, Completion completion) = 0;
};

}  // namespace ostrel
