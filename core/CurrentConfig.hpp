#pragma once

#include <memory>

#include "core/OSLAppearance.hpp"
#include "core/OSLConfig.hpp"

namespace ostrel {

// The configuration of the session being run (a default one until the host sets one). Leaf
// code (UI kit, server client, tracking) reads it here at the moment it needs it and keeps no
// copy; the facade is the only writer. Safe from any queue: the value is swapped under a lock,
// so a reader gets either the old or the new configuration, whole. Never null.
std::shared_ptr<OSLConfig> currentConfig();

// The current configuration's appearance. Never null: a host that cleared the public
// `OSLConfig::appearance` field gets the default appearance (a fresh one, so a caller that
// changes it changes nothing shared).
std::shared_ptr<OSLAppearance> currentAppearance();

// Makes `config` current and returns the one it replaces (a null `config` puts a fresh default
// one in its place). The caller drops the previous configuration outside any lock of its own,
// since it may hold the last reference to host handlers. For the facade.
std::shared_ptr<OSLConfig> setCurrentConfig(std::shared_ptr<OSLConfig> config);

}  // namespace ostrel
