#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Bytes.hpp"

namespace ostrel::platform {

// Standard alphabet, padded, no line breaks.
std::string base64Encode(const Bytes& bytes);
std::string base64Encode(std::string_view bytes);
// Strict: no white space, correct padding; anything else gives nothing.
std::optional<Bytes> base64Decode(std::string_view text);

}  // namespace ostrel::platform
