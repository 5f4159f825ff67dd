#include "testing/HostileReplies.hpp"

namespace ostrel::testing {

std::string deeplyNestedReply(std::size_t depth) {
  std::string text = "{\"data\":";
  text.append(depth, '[');
  text.append(depth, ']');
  text += "}";
  return text;
}

std::vector<HostileReply> hostileReplies() {
  using JSON = platform::JSON;
  ScriptedReply truncated = ScriptedReply::data({{"fields", {{"name", "NGUYEN VAN A"}}}});
  truncated.fault = ScriptedReply::Fault::truncated;
  ScriptedReply slow = ScriptedReply::data({{"access_token", "late"}, {"version", "9"}});
  slow.delaySeconds = kHostileDelaySeconds;
  ScriptedReply huge = ScriptedReply::raw("", "application/json");
  huge.fault = ScriptedReply::Fault::huge;
  std::string controlChars = "{\"data\":{\"name\":\"A\x01\r\nX-Injected: yes\x7f\"}}";
  return {
      {HostileKind::malformedJSON, "malformed JSON",
       ScriptedReply::raw("{\"data\": {\"card_type\": ", "application/json")},
      {HostileKind::notAnObject, "an array", ScriptedReply::raw("[1,2,3]", "application/json")},
      {HostileKind::dataMissing, "no data", ScriptedReply::json(JSON::object())},
      {HostileKind::dataNull, "data null", ScriptedReply::json({{"data", nullptr}})},
      {HostileKind::dataNumber, "data a number", ScriptedReply::json({{"data", 5}})},
      {HostileKind::truncated, "truncated", truncated},
      {HostileKind::badRequest, "400", ScriptedReply::json(JSON::object(), 400)},
      {HostileKind::notFound, "404", ScriptedReply::error(404, "Không có", 404)},
      {HostileKind::serverError, "500", ScriptedReply::error(7, "boom", 500)},
      {HostileKind::unavailable, "503", ScriptedReply::raw("<html>busy</html>", "text/html", 503)},
      {HostileKind::slow, "slow", slow},
      {HostileKind::huge, "huge", huge},
      {HostileKind::gzipBomb, "gzip bomb", ScriptedReply::gzipBomb()},
      {HostileKind::deepNesting, "deep nesting",
       ScriptedReply::raw(deeplyNestedReply(100'000), "application/json")},
      {HostileKind::cipherText, "cipher text",
       ScriptedReply::raw("q83vEjRWeJq83vEjRWeJq83vEjRWeJq83vEjRWeJ==", "text/plain")},
      {HostileKind::controlChars, "control characters",
       ScriptedReply::raw(controlChars, "application/json")},
      {HostileKind::errorCodeAsText, "error code as text",
       ScriptedReply::json({{"error", {{"code", "401"}}}})},
  };
}

}  // namespace ostrel::testing
