#pragma once

#include <nlohmann/json.hpp>

#include "platform/foundation/Bytes.hpp"

namespace ostrel::platform {

// Dictionaries exchanged with the host and the server.
using JSON = nlohmann::json;

}  // namespace ostrel::platform
