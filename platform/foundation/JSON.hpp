#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/foundation/Bytes.hpp"

namespace ostrel::platform {

// Dictionaries exchanged with the host and the server.
using JSON = nlohmann::json;

// Deeper than any reply, record or setting the library reads. nlohmann's copy, comparison and
// dump recurse once per level, so a text nested far deeper (a hostile server, a corrupted file)
// would overflow the stack at the first copy; such a text is refused as if it did not parse.
inline constexpr std::size_t kMaxJSONDepth = 64;

// The value of a JSON text, or nothing when it does not parse or nests deeper than
// `maxDepth`. Every JSON text the library reads goes through here. A file that wraps values
// of its own in a level or two (a record's envelope, a settings entry) allows those levels on
// top, so whatever was accepted once reads back.
std::optional<JSON> parseJSON(std::string_view text, std::size_t maxDepth = kMaxJSONDepth);
std::optional<JSON> parseJSON(const Bytes& bytes, std::size_t maxDepth = kMaxJSONDepth);
// The same, keeping only a JSON object.
std::optional<JSON> parseJSONObject(std::string_view text, std::size_t maxDepth = kMaxJSONDepth);
std::optional<JSON> parseJSONObject(const Bytes& bytes, std::size_t maxDepth = kMaxJSONDepth);

// Whether a value built in memory (by a host) nests deeper than `limit`; walks it without
// recursion.
bool jsonNestsDeeperThan(const JSON& value, std::size_t limit = kMaxJSONDepth);

}  // namespace ostrel::platform
