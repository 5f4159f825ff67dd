#pragma once

#include <memory>
#include <optional>
#include <string>

#include "model/OSLBackResult.hpp"
#include "model/OSLConfirmResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLNfcModel.hpp"
#include "model/OSLQRCodeModel.hpp"
#include "model/Record.hpp"

namespace ostrel {

// The final result handed to the host. Screens hand it on unchanged.
//
// Dictionary form: {"decision", "decision_detail": [details], "session", "front_result",
// "back_result", "nfc_model", "qr_code_model", "raw_json"}.
class OstrelResult : public Record {
 public:
  static constexpr const char* kArchiveType = "OstrelResult";

  OstrelResult() = default;
  // The ID-card flows: decision, details and session come from the confirmation record.
  OstrelResult(JSON rawJson, std::shared_ptr<OSLFrontResult> frontResult,
               std::shared_ptr<OSLBackResult> backResult,
               std::shared_ptr<OSLConfirmResult> confirmResult);
  // The chip flows: decision, details and session from the confirmation record, with the chip
  // and QR models.
  OstrelResult(JSON rawJson, std::shared_ptr<OSLConfirmResult> confirmResult,
               std::shared_ptr<OSLNfcModel> nfcModel, std::shared_ptr<OSLQRCodeModel> qrCodeModel);

  static std::shared_ptr<OstrelResult> fromDictionary(const JSON& dictionary);
  JSON toDictionary() const override;

  std::optional<std::string> decision;
  std::optional<DecisionDetails> decision_detail;
  std::optional<std::string> session;
  std::shared_ptr<OSLFrontResult> frontResult;
  std::shared_ptr<OSLBackResult> backResult;
  std::shared_ptr<OSLNfcModel> nfcModel;
  std::shared_ptr<OSLQRCodeModel> qrCodeModel;
  JSON rawJson = JSON::object();

 private:
  void take(const std::shared_ptr<OSLConfirmResult>& confirmResult);
};

}  // namespace ostrel
