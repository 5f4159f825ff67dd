#include "core/TrackEvent.hpp"

#include "core/CurrentConfig.hpp"
#include "core/DeviceMetadata.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel {

void trackEvent(OSLLogLevel level, OSLTrackingEvent event, const std::string& screen,
                const platform::JSON& data) {
  const auto eventName = name(event);
  if (eventName.empty()) return;
  // One snapshot of the configuration: a `close` replacing it on the main queue meanwhile
  // cannot tear the handler out from under us.
  auto handler = currentConfig()->logHandler;
  if (!handler) return;
  auto metadata = deviceMetadata();
  auto payload = data.is_null() ? platform::JSON::object() : data;
  if (platform::isMainQueue()) {
    handler(level, std::string(eventName), screen, payload, metadata);
    return;
  }
  platform::DispatchQueue::main()->async(
      [handler = std::move(handler), level, eventName = std::string(eventName), screen,
       payload = std::move(payload),
       metadata = std::move(metadata)] { handler(level, eventName, screen, payload, metadata); });
}

void trackEvent(int level, OSLTrackingEvent event, const std::string& screen,
                const platform::JSON& data) {
  auto logLevel = logLevelFromRaw(level);
  if (!logLevel) {
    platform::debugLog("trackEvent: level " + std::to_string(level) + " is not a log level");
    return;
  }
  trackEvent(*logLevel, event, screen, data);
}

void trackEvent(int level, int eventPosition, const std::string& screen,
                const platform::JSON& data) {
  auto event = trackingEventFromRaw(eventPosition);
  if (!event) {
    platform::debugLog("trackEvent: no event at position " + std::to_string(eventPosition));
    return;
  }
  trackEvent(level, *event, screen, data);
}

}  // namespace ostrel
