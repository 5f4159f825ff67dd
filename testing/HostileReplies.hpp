#pragma once

#include <string>
#include <vector>

#include "testing/VerificationServer.hpp"

namespace ostrel::testing {

// The ways a verification server (or anything on the path to it) can answer badly. Each kind
// is one reply the local server can give on any path (`VerificationServer::setReplyEverywhere`).
enum class HostileKind {
  malformedJSON,   // not JSON at all
  notAnObject,     // JSON, but an array
  dataMissing,     // {} (a 2xx reply without its data)
  dataNull,        // {"data": null}
  dataNumber,      // {"data": 5}
  truncated,       // the body cut short, the connection closed
  badRequest,      // 400 with an empty object
  notFound,        // 404 with the server's code and message
  serverError,     // 500
  unavailable,     // 503 with an HTML page
  slow,            // answers after the client's time-out
  huge,            // a body past the size limit
  gzipBomb,        // a small gzip body that inflates past every limit
  deepNesting,     // {"data": [[[[...]]]]}, 100,000 levels
  cipherText,      // a body of base64 cipher text, as if encrypted for someone else
  controlChars,    // JSON with raw control characters inside a text
  errorCodeAsText, // {"error": {"code": "401"}}
};

struct HostileReply {
  HostileKind kind;
  const char* name;
  ScriptedReply reply;
};

// Seconds the slow kind waits before it answers; a test sets the client's time-out below it.
inline constexpr double kHostileDelaySeconds = 0.6;

// Every kind, once.
std::vector<HostileReply> hostileReplies();

// "[[[[ ... ]]]]" nested `depth` levels under {"data": ...}.
std::string deeplyNestedReply(std::size_t depth);

}  // namespace ostrel::testing
