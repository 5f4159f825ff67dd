#include "model/OSLConfirmResult.hpp"

namespace ostrel {

using namespace record_coding;

namespace record_coding {

std::optional<DecisionDetails> decisionDetails(const JSON& dictionary, const std::string& key) {
  if (!dictionary.is_object()) return std::nullopt;
  auto it = dictionary.find(key);
  if (it == dictionary.end() || !it->is_array()) return std::nullopt;
  DecisionDetails details;
  for (const auto& entry : *it) {
    if (entry.is_object()) details.push_back(std::make_shared<OSLDecisionDetail>(entry));
  }
  return details;
}

JSON detailsArray(const DecisionDetails& details) {
  JSON array = JSON::array();
  for (const auto& detail : details) {
    if (detail) array.push_back(detail->toDictionary());
  }
  return array;
}

}  // namespace record_coding

OSLDecisionDetail::OSLDecisionDetail(const JSON& dictionary)
    : Record(dictionary),
      isPass(optInt(raw_, "is_pass")),
      decisionDetailDescription(optString(raw_, "description")),
      decisionDetailViDescription(optString(raw_, "description_vi")) {}

JSON OSLDecisionDetail::toDictionary() const {
  JSON d = raw_;
  put(d, "is_pass", isPass);
  put(d, "description", decisionDetailDescription);
  put(d, "description_vi", decisionDetailViDescription);
  return d;
}

Decision::Decision(const JSON& dictionary)
    : Record(dictionary),
      decision(optString(raw_, "decision")),
      details(decisionDetails(raw_, "details")) {}

JSON Decision::toDictionary() const {
  JSON d = raw_;
  put(d, "decision", decision);
  if (details) {
    d["details"] = detailsArray(*details);
  } else {
    d.erase("details");
  }
  return d;
}

BaseError::BaseError(const JSON& dictionary)
    : Record(dictionary), code(optInt(raw_, "code")), message(optString(raw_, "message")) {}

JSON BaseError::toDictionary() const {
  JSON d = raw_;
  put(d, "code", code);
  put(d, "message", message);
  return d;
}

OSLConfirmResult::OSLConfirmResult(const JSON& dictionary)
    : Record(dictionary), session(optString(raw_, "session")) {
  if (const JSON* detail = optObject(raw_, "decision_detail")) {
    Decision inner(*detail);
    decision = inner.decision;
    decision_detail = inner.details;
  }
}

JSON OSLConfirmResult::toDictionary() const {
  JSON d = raw_;
  put(d, "session", session);
  const JSON* existing = optObject(raw_, "decision_detail");
  if (existing || decision || decision_detail) {
    Decision inner(existing ? *existing : JSON::object());
    inner.decision = decision;
    inner.details = decision_detail;
    d["decision_detail"] = inner.toDictionary();
  }
  return d;
}

}  // namespace ostrel
