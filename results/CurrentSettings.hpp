#pragma once

#include <memory>

#include "core/OSLAppearance.hpp"
#include "core/OSLConfig.hpp"
#include "core/Ostrel.hpp"

namespace ostrel::results_detail {

// The one place the confirmation and result screens read the session's configuration and
// appearance from.
inline std::shared_ptr<OSLConfig> currentConfig() {
  return Ostrel::shared()->config();
}

// Never null: a host that cleared the appearance gets the default look.
inline std::shared_ptr<OSLAppearance> currentAppearance() {
  auto appearance = currentConfig()->appearance;
  return appearance ? appearance : OSLAppearance::create();
}

}  // namespace ostrel::results_detail
