#include "results/ResultDecision.hpp"

#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "model/OstrelResult.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/Text.hpp"
#include "session/Ostrel.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel::result_decision {

using namespace platform;

Kind kindOf(const std::shared_ptr<OstrelResult>& result, bool passportFlow) {
  const std::string decision = uppercased(result ? result->decision.value_or("") : std::string());
  if (decision == "APPROVED") return Kind::approved;
  if (passportFlow && decision.empty()) return Kind::approved;
  if (decision == "MANUAL") return Kind::manual;
  return Kind::rejected;
}

void show(Label& label, Kind kind, Color mainTextColor) {
  switch (kind) {
    case Kind::approved:
      label.setText(osl_localize("results_decision_approved"));
      label.setTextColor(colorFromHex("#1ABB6C"));
      break;
    case Kind::manual:
      label.setText(osl_localize("results_decision_manual"));
      label.setTextColor(mainTextColor);
      break;
    case Kind::rejected:
      label.setText(osl_localize("results_decision_rejected"));
      label.setTextColor(colorFromHex("#EC2A2A"));
      break;
  }
}

std::optional<std::vector<Reason>> reasonsOf(const std::shared_ptr<OstrelResult>& result,
                                             const std::string& language) {
  if (!result || !result->decision_detail) return std::nullopt;
  std::vector<Reason> reasons;
  const bool vietnamese = language == "vi";
  for (const auto& detail : *result->decision_detail) {
    if (!detail || !detail->isPass) continue;
    const auto isPass = *detail->isPass;
    if (isPass != 0 && isPass != -1) continue;
    reasons.push_back({vietnamese ? detail->decisionDetailViDescription
                                  : detail->decisionDetailDescription,
                       static_cast<int>(isPass)});
  }
  return reasons;
}

std::shared_ptr<InforCell> dequeueInforCell(TableView& table,
                                            std::shared_ptr<TableViewCell>& cell) {
  cell = table.dequeueReusableCell(InforCell::kReuseIdentifier);
  auto inforCell = std::dynamic_pointer_cast<InforCell>(cell);
  if (!inforCell) {
    debugLog("DequeueReusableCell failed while casting");
    cell = make<TableViewCell>();
  }
  return inforCell;
}

void closeWithResult(std::shared_ptr<OstrelResult> result) {
  Ostrel::shared()->close(true, [result = std::move(result)] {
    if (auto handler = currentConfig()->resultHandler) handler(result);
  });
}

}  // namespace ostrel::result_decision
