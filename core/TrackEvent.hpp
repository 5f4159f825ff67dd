#pragma once

#include <string>

#include "core/OSLLogLevel.hpp"
#include "core/OSLTrackingEvent.hpp"
#include "platform/foundation/JSON.hpp"

namespace ostrel {

// Reports one tracking event to the host's log handler with the device metadata, when the
// current configuration has a log handler; otherwise nothing happens. Safe from any queue: the
// handler is taken from the configuration current at the call and always runs on the main
// queue (at once when called there). A level outside 1...4 or a position outside the table
// reports nothing.
void trackEvent(int level, OSLTrackingEvent event, const std::string& screen,
                const platform::JSON& data = platform::JSON::object());
void trackEvent(OSLLogLevel level, OSLTrackingEvent event, const std::string& screen,
                const platform::JSON& data = platform::JSON::object());
void trackEvent(int level, int eventPosition, const std::string& screen,
                const platform::JSON& data = platform::JSON::object());

}  // namespace ostrel
