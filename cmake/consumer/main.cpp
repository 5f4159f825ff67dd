#include <iostream>

#include "core/OSLConfig.hpp"
#include "core/OstrelVersion.hpp"
#include "platform/foundation/Bundle.hpp"

int main() {
  auto config = ostrel::OSLConfig::Builder("token");
  config->withBaseUrl("https://example.org").withShowResultScreen(true);
  std::cout << "version " << ostrel::sdkVersion() << " resources "
            << ostrel::platform::Bundle::libraryResourcePath().string() << '\n';
  return config->validationError() ? 1 : 0;
}
