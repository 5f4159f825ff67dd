#pragma once

#include <functional>
#include <future>
#include <optional>
#include <string>

namespace ostrel {

// Brings the language dictionary and the on-device models up to date with the server:
// - an empty in-memory dictionary is first filled from the cached one;
// - the configuration versions are asked for, and a newer (or missing) ID-card model is
//   downloaded; its version is recorded only once the file is stored;
// - the latest language version is asked for, and the dictionary is fetched when the stored
//   version, language or customer differ, or when there is still no dictionary at all. The
//   dictionary, its language, customer and version are stored only after a successful fetch.
// Both server questions run side by side. A failure anywhere keeps what was cached and is not
// reported: the sync always completes. Syncs run one at a time.
//
// The task form is ready when the sync is over (on a background queue; do not wait for it on
// the main queue). The completion form calls back on the main queue. The server is asked with
// `session` when given, else with the current configuration's token.
std::future<void> syncLocalize(const std::string& baseUrl, const std::string& language,
                               const std::string& customer,
                               std::optional<std::string> session = std::nullopt);
void syncLocalize(const std::string& baseUrl, const std::string& language,
                  const std::string& customer, std::function<void()> completion,
                  std::optional<std::string> session = std::nullopt);

// The name of the ID-card model the sync keeps up to date.
inline constexpr const char* kIdCardModelName = "idcard_model";

}  // namespace ostrel
