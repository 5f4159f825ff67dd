#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Label.hpp"
#include "platform/ui/ScrollView.hpp"
#include "results/InforCell.hpp"

namespace ostrel {

class OstrelResult;

// What the two result screens share: how a decision reads, which reasons it lists, and how a
// row's cell is obtained.
namespace result_decision {

enum class Kind { approved, manual, rejected };

// The result's decision, compared upper-cased in the root locale. In the passport flow a
// result without a decision (the flow's own result has none) shows as approved; an explicit
// decision reads as in the other flows.
Kind kindOf(const std::shared_ptr<OstrelResult>& result, bool passportFlow);

// The decision's text and colour on `label`: green approved, the main text colour for manual,
// red rejected.
void show(platform::Label& label, Kind kind, platform::Color mainTextColor);

struct Reason {
  std::optional<std::string> reasonString;
  int isPass = 0;
};

// The details that failed (0) or could not be decided (-1), in order, in Vietnamese when the
// language is exactly "vi"; nothing when the result has no details at all.
std::optional<std::vector<Reason>> reasonsOf(const std::shared_ptr<OstrelResult>& result,
                                             const std::string& language);

// An `InforCell` for the row, or, when the table cannot make one (its nib missing), an empty
// plain cell after a diagnostic: a broken row must not stop the screen.
std::shared_ptr<InforCell> dequeueInforCell(platform::TableView& table,
                                            std::shared_ptr<platform::TableViewCell>& cell);

// The result screens' confirm: the session closes (reported to the host as a cancel), then the
// result handler current at that moment, when there is one, gets `result` (absent included).
void closeWithResult(std::shared_ptr<OstrelResult> result);

}  // namespace result_decision
}  // namespace ostrel
