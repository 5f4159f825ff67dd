#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/Record.hpp"

namespace ostrel {

// One rule of the decision and whether it passed.
class OSLDecisionDetail : public Record {
 public:
  static constexpr const char* kArchiveType = "OSLDecisionDetail";
  OSLDecisionDetail() = default;
  explicit OSLDecisionDetail(const JSON& dictionary);
  static std::shared_ptr<OSLDecisionDetail> fromDictionary(const JSON& dictionary) {
    return std::make_shared<OSLDecisionDetail>(dictionary);
  }
  JSON toDictionary() const override;

  std::optional<std::int64_t> isPass;                      // "is_pass"
  std::optional<std::string> decisionDetailDescription;    // "description"
  std::optional<std::string> decisionDetailViDescription;  // "description_vi"
};

using DecisionDetails = std::vector<std::shared_ptr<OSLDecisionDetail>>;

namespace record_coding {
// The details of a "details" array; entries that are not objects are skipped. Nothing when
// the member is absent or not an array.
std::optional<DecisionDetails> decisionDetails(const JSON& dictionary, const std::string& key);
JSON detailsArray(const DecisionDetails& details);
}  // namespace record_coding

// The server's decision: {"decision": text, "details": [rule outcomes]}.
class Decision : public Record {
 public:
  static constexpr const char* kArchiveType = "Decision";
  Decision() = default;
  explicit Decision(const JSON& dictionary);
  static std::shared_ptr<Decision> fromDictionary(const JSON& dictionary) {
    return std::make_shared<Decision>(dictionary);
  }
  JSON toDictionary() const override;

  std::optional<std::string> decision;
  std::optional<DecisionDetails> details;
};

// An error object of a reply: {"code", "message"}.
class BaseError : public Record {
 public:
  static constexpr const char* kArchiveType = "BaseError";
  BaseError() = default;
  explicit BaseError(const JSON& dictionary);
  static std::shared_ptr<BaseError> fromDictionary(const JSON& dictionary) {
    return std::make_shared<BaseError>(dictionary);
  }
  JSON toDictionary() const override;

  std::optional<std::int64_t> code;
  std::optional<std::string> message;
};

// The reply of the confirmation call: the session and the decision with its details.
class OSLConfirmResult : public Record {
 public:
  static constexpr const char* kArchiveType = "OSLConfirmResult";
  OSLConfirmResult() = default;
  explicit OSLConfirmResult(const JSON& dictionary);
  static std::shared_ptr<OSLConfirmResult> fromDictionary(const JSON& dictionary) {
    return std::make_shared<OSLConfirmResult>(dictionary);
  }
  JSON toDictionary() const override;

  std::optional<std::string> session;
  std::optional<std::string> decision;
  std::optional<DecisionDetails> decision_detail;
};

}  // namespace ostrel
