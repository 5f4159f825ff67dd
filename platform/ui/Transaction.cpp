#include "platform/ui/Transaction.hpp"

namespace ostrel::platform {
namespace {

// Transactions belong to the main queue, like the rest of the interface.
struct TransactionState {
  std::vector<CATransaction::Record> log;
  std::vector<bool> open;  // each open transaction's disable-actions flag
};

TransactionState& state() {
  static TransactionState s;
  return s;
}

// A camera view opens a transaction for every frame it judges, so the log keeps only the
// latest records rather than growing for as long as the camera runs.
constexpr std::size_t kKeptRecords = 1024;

void record(CATransaction::Record r) {
  auto& log = state().log;
  if (log.size() >= 2 * kKeptRecords) log.erase(log.begin(), log.end() - kKeptRecords);
  log.push_back(r);
}

}  // namespace

void CATransaction::begin() {
  record({Record::Kind::begin, false});
  state().open.push_back(false);
}

void CATransaction::commit() {
  record({Record::Kind::commit, false});
  if (!state().open.empty()) state().open.pop_back();
}

void CATransaction::setDisableActions(bool disable) {
  record({Record::Kind::setDisableActions, disable});
  if (!state().open.empty()) state().open.back() = disable;
}

bool CATransaction::disableActions() {
  return !state().open.empty() && state().open.back();
}

int CATransaction::depth() {
  return static_cast<int>(state().open.size());
}

const std::vector<CATransaction::Record>& CATransaction::log() {
  return state().log;
}

void CATransaction::reset() {
  state() = {};
}

}  // namespace ostrel::platform
