#include "platform/foundation/URLComponents.hpp"

#include <cctype>

namespace ostrel::platform {

namespace {

bool isUnreserved(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelim(char c) {
  switch (c) {
    case '!': case '$': case '&': case '\'': case '(': case ')':
    case '*': case '+': case ',': case ';': case '=':
      return true;
    default:
      return false;
  }
}
bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return (std::tolower(static_cast<unsigned char>(c)) - 'a') + 10;
}

// Every character of `part` is unreserved, a sub-delimiter, one of `extra`, or starts a
// well-formed percent escape.
bool validPart(std::string_view part, std::string_view extra) {
  for (std::size_t i = 0; i < part.size(); ++i) {
    char c = part[i];
    if (c == '%') {
      if (i + 2 >= part.size() || !isHex(part[i + 1]) || !isHex(part[i + 2])) return false;
      i += 2;
      continue;
    }
    if (isUnreserved(c) || isSubDelim(c) || extra.find(c) != std::string_view::npos) continue;
    return false;
  }
  return true;
}

std::string percentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
      out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

bool validScheme(std::string_view scheme) {
  if (scheme.empty() || !std::isalpha(static_cast<unsigned char>(scheme[0]))) return false;
  for (char c : scheme) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
      return false;
  }
  return true;
}

bool validAuthority(std::string_view authority) {
  std::string_view host = authority;
  if (auto at = host.rfind('@'); at != std::string_view::npos) {
    if (!validPart(host.substr(0, at), ":")) return false;
    host = host.substr(at + 1);
  }
  if (!host.empty() && host.front() == '[') {
    auto close = host.find(']');
    if (close == std::string_view::npos) return false;
    for (char c : host.substr(1, close - 1))
      if (!isHex(c) && c != ':' && c != '.') return false;
    host = host.substr(close + 1);
    if (host.empty()) return true;
    if (host.front() != ':') return false;
    for (char c : host.substr(1))
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
  }
  if (auto colon = host.rfind(':'); colon != std::string_view::npos) {
    for (char c : host.substr(colon + 1))
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    host = host.substr(0, colon);
  }
  return validPart(host, "");
}

}  // namespace

std::optional<URLComponents> URLComponents::parse(std::string_view text) {
  URLComponents c;
  std::string_view rest = text;
  if (auto hash = rest.find('#'); hash != std::string_view::npos) {
    auto fragment = rest.substr(hash + 1);
    if (!validPart(fragment, ":@/?")) return std::nullopt;
    c.fragment_ = std::string(fragment);
    rest = rest.substr(0, hash);
  }
  if (auto question = rest.find('?'); question != std::string_view::npos) {
    auto query = rest.substr(question + 1);
    if (!validPart(query, ":@/?")) return std::nullopt;
    c.query_ = std::string(query);
    rest = rest.substr(0, question);
  }
  // A scheme is what comes before the first ":" when no "/" precedes it.
  if (auto colon = rest.find(':'); colon != std::string_view::npos) {
    auto slash = rest.find('/');
    if (slash == std::string_view::npos || colon < slash) {
      auto scheme = rest.substr(0, colon);
      if (!validScheme(scheme)) return std::nullopt;
      c.scheme_ = std::string(scheme);
      rest = rest.substr(colon + 1);
    }
  }
  if (rest.substr(0, 2) == "//") {
    rest = rest.substr(2);
    auto end = rest.find('/');
    auto authority = rest.substr(0, end);
    if (!validAuthority(authority)) return std::nullopt;
    c.authority_ = std::string(authority);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  if (!validPart(rest, ":@/")) return std::nullopt;
  c.path_ = std::string(rest);
  return c;
}

std::optional<std::vector<URLQueryItem>> URLComponents::queryItems() const {
  if (!query_) return std::nullopt;
  std::vector<URLQueryItem> items;
  if (query_->empty()) return items;
  std::string_view query = *query_;
  std::size_t start = 0;
  while (start <= query.size()) {
    auto end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    auto item = query.substr(start, end - start);
    URLQueryItem parsed;
    if (auto equals = item.find('='); equals != std::string_view::npos) {
      parsed.name = percentDecoded(item.substr(0, equals));
      parsed.value = percentDecoded(item.substr(equals + 1));
    } else {
      parsed.name = percentDecoded(item);
    }
    items.push_back(std::move(parsed));
    start = end + 1;
  }
  return items;
}

}  // namespace ostrel::platform
