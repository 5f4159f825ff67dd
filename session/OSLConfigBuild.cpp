// `OSLConfig::build` runs the language and configuration sync, which talks to the server, so it
// is defined here with the sync rather than with the rest of the configuration.
#include "core/OSLConfig.hpp"
#include "session/LocalizationSync.hpp"

namespace ostrel {

void OSLConfig::build(std::function<void()> completion) {
  if (auto error = validationError()) throw OSLConfigError(*error);
  syncLocalize(baseUrl, appearance->language, customer, std::move(completion), session);
}

std::future<void> OSLConfig::build() {
  if (auto error = validationError()) {
    std::promise<void> refused;
    refused.set_exception(std::make_exception_ptr(OSLConfigError(*error)));
    return refused.get_future();
  }
  return syncLocalize(baseUrl, appearance->language, customer, session);
}

}  // namespace ostrel
