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

}  // namespace

void CATransaction::begin() {
  state().log.push_back({Record::Kind::begin, false});
  state().open.push_back(false);
}

void CATransaction::commit() {
  state().log.push_back({Record::Kind::commit, false});
  if (!state().open.empty()) state().open.pop_back();
}

void CATransaction::setDisableActions(bool disable) {
  state().log.push_back({Record::Kind::setDisableActions, disable});
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
