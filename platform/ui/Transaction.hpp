#pragma once

#include <vector>

namespace ostrel::platform {

// Groups of layer changes. Nothing animates in the headless layer, so a transaction is only
// recorded: tests read which transactions ran and whether implicit actions were off in them.
class CATransaction {
 public:
  struct Record {
    enum class Kind { begin, commit, setDisableActions };
    Kind kind = Kind::begin;
    // For `setDisableActions`, the value set.
    bool value = false;
    bool operator==(const Record&) const = default;
  };

  static void begin();
  // Ends the innermost open transaction; a commit without a begin is recorded and ignored.
  static void commit();
  static void setDisableActions(bool disable);
  // Whether the innermost open transaction disabled implicit actions (false when none is open).
  static bool disableActions();
  // How many transactions are open now.
  static int depth();

  static const std::vector<Record>& log();
  // Forgets the log and any open transaction (between tests).
  static void reset();
};

}  // namespace ostrel::platform
