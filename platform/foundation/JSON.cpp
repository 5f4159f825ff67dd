#include "platform/foundation/JSON.hpp"

#include <utility>
#include <vector>

namespace ostrel::platform {
namespace {

// The deepest nesting of brackets outside strings. Exact for a text that parses; for one that
// does not, the parser refuses it anyway. Scanning first keeps a hostile text from being built
// a million levels deep before it is refused.
bool jsonTextNestsDeeperThan(std::string_view text, std::size_t limit) {
  std::size_t depth = 0;
  bool inString = false;
  bool escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    switch (c) {
      case '"':
        inString = true;
        break;
      case '{':
      case '[':
        if (++depth > limit) return true;
        break;
      case '}':
      case ']':
        if (depth > 0) --depth;
        break;
      default:
        break;
    }
  }
  return false;
}

}  // namespace

std::optional<JSON> parseJSON(std::string_view text, std::size_t maxDepth) {
  if (jsonTextNestsDeeperThan(text, maxDepth)) return std::nullopt;
  JSON parsed = JSON::parse(text.begin(), text.end(), nullptr, false);
  if (parsed.is_discarded()) return std::nullopt;
  return std::optional<JSON>(std::move(parsed));
}

std::optional<JSON> parseJSON(const Bytes& bytes, std::size_t maxDepth) {
  return parseJSON(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                   maxDepth);
}

std::optional<JSON> parseJSONObject(std::string_view text, std::size_t maxDepth) {
  auto parsed = parseJSON(text, maxDepth);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  return parsed;
}

std::optional<JSON> parseJSONObject(const Bytes& bytes, std::size_t maxDepth) {
  return parseJSONObject(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), maxDepth);
}

bool jsonNestsDeeperThan(const JSON& value, std::size_t limit) {
  std::vector<std::pair<const JSON*, std::size_t>> pending{{&value, 1}};
  while (!pending.empty()) {
    auto [node, depth] = pending.back();
    pending.pop_back();
    if (!node->is_structured()) continue;
    if (depth > limit) return true;
    for (const auto& child : *node) pending.emplace_back(&child, depth + 1);
  }
  return false;
}

}  // namespace ostrel::platform
