#pragma once

#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

namespace ostrel::platform {

// Dictionaries exchanged with the host and the server.
using JSON = nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

}  // namespace ostrel::platform
