#include "model/OstrelResult.hpp"

namespace ostrel {

using namespace record_coding;

OstrelResult::OstrelResult(JSON rawJson, std::shared_ptr<OSLFrontResult> frontResult,
                           std::shared_ptr<OSLBackResult> backResult,
                           std::shared_ptr<OSLConfirmResult> confirmResult)
    : frontResult(std::move(frontResult)),
      backResult(std::move(backResult)),
      rawJson(std::move(rawJson)) {
  take(confirmResult);
}

OstrelResult::OstrelResult(JSON rawJson, std::shared_ptr<OSLConfirmResult> confirmResult,
                           std::shared_ptr<OSLNfcModel> nfcModel,
                           std::shared_ptr<OSLQRCodeModel> qrCodeModel)
    : nfcModel(std::move(nfcModel)),
      qrCodeModel(std::move(qrCodeModel)),
      rawJson(std::move(rawJson)) {
  take(confirmResult);
}

void OstrelResult::take(const std::shared_ptr<OSLConfirmResult>& confirmResult) {
  if (!confirmResult) return;
  decision = confirmResult->decision;
  decision_detail = confirmResult->decision_detail;
  session = confirmResult->session;
}

std::shared_ptr<OstrelResult> OstrelResult::fromDictionary(const JSON& dictionary) {
  auto result = std::make_shared<OstrelResult>();
  result->raw_ = dictionary.is_object() ? dictionary : JSON::object();
  const JSON& d = result->raw_;
  result->decision = optString(d, "decision");
  result->decision_detail = decisionDetails(d, "decision_detail");
  result->session = optString(d, "session");
  if (const JSON* f = optObject(d, "front_result"))
    result->frontResult = OSLFrontResult::fromDictionary(*f);
  if (const JSON* b = optObject(d, "back_result"))
    result->backResult = OSLBackResult::fromDictionary(*b);
  if (const JSON* n = optObject(d, "nfc_model")) result->nfcModel = OSLNfcModel::decode(*n);
  if (const JSON* q = optObject(d, "qr_code_model"))
    result->qrCodeModel = OSLQRCodeModel::decode(*q);
  if (d.contains("raw_json")) result->rawJson = d["raw_json"];
  return result;
}

JSON OstrelResult::toDictionary() const {
  JSON d = raw_;
  put(d, "decision", decision);
  if (decision_detail) {
    d["decision_detail"] = detailsArray(*decision_detail);
  } else {
    d.erase("decision_detail");
  }
  put(d, "session", session);
  put(d, "front_result", frontResult);
  put(d, "back_result", backResult);
  put(d, "nfc_model", nfcModel);
  put(d, "qr_code_model", qrCodeModel);
  d["raw_json"] = rawJson;
  return d;
}

}  // namespace ostrel
