#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::platform {

// One `name=value` item of a query, both percent-decoded ("+" is kept as it is). An item
// written without "=" has no value; "name=" has the empty value.
struct URLQueryItem {
  std::string name;
  std::optional<std::string> value;
  bool operator==(const URLQueryItem&) const = default;
};

// A URL reference split into its parts by the generic syntax of RFC 3986. Parsing is strict:
// a text holding a character outside the grammar (a space, "|", "^", anything not ASCII) or a
// malformed percent escape is not a URL. A relative reference (no scheme) is accepted, as on
// the phone platform.
class URLComponents {
 public:
  // Nothing when `text` is not a URL reference.
  static std::optional<URLComponents> parse(std::string_view text);

  const std::optional<std::string>& scheme() const { return scheme_; }
  // The authority as written (user info, host and port), when there is one.
  const std::optional<std::string>& authority() const { return authority_; }
  const std::string& percentEncodedPath() const { return path_; }
  const std::optional<std::string>& percentEncodedQuery() const { return query_; }
  const std::optional<std::string>& percentEncodedFragment() const { return fragment_; }
  // The query's items in order; nothing when there is no query (an empty query has none).
  std::optional<std::vector<URLQueryItem>> queryItems() const;

 private:
  std::optional<std::string> scheme_;
  std::optional<std::string> authority_;
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

}  // namespace ostrel::platform
