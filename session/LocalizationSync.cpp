#include "session/LocalizationSync.hpp"

#include <memory>
#include <mutex>

#include "core/Localization.hpp"
#include "core/SharedDefaults.hpp"
#include "network/ModelDownloader.hpp"
#include "network/OstrelClient.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel {
namespace {

using platform::JSON;

std::mutex& syncMutex() {
  static std::mutex m;
  return m;
}

void loadCachedDictionaryIfEmpty() {
  if (!languageDictionaryIsEmpty()) return;
  auto cached = sharedDefaults()->dictionary(defaults_keys::kLanguageDictionary);
  if (cached && cached->is_object() && !cached->empty()) setLanguageDictionary(std::move(*cached));
}

struct SyncRequest {
  std::string baseUrl;
  std::string language;
  std::string customer;
  std::optional<std::string> session;
};

void updateModels(const std::string& baseUrl, std::future<Outcome<JSON>> versionsCall) {
  auto versions = versionsCall.get();
  if (!versions) {
    platform::debugLog("sync: configuration versions failed: " + versions.error().message);
    return;
  }
  const auto listed = stringValue(kIdCardModelName, versions.value());
  if (listed.empty()) return;
  auto update = ModelDownloader().updateIfNeeded(baseUrl, kIdCardModelName, listed).get();
  if (update.error)
    platform::debugLog(std::string("sync: model update failed: ") + update.error->what());
}

void updateLanguage(const SyncRequest& r, std::future<Outcome<std::string>> versionCall) {
  const auto& language = r.language;
  const auto& customer = r.customer;
  auto latest = versionCall.get();
  auto defaults = sharedDefaults();
  const auto storedVersion = defaults->string(defaults_keys::kCurrentLanguageVersion);
  const auto storedLanguage = defaults->string(defaults_keys::kCurrentCodeLanguage);
  const auto storedCustomer = defaults->string(defaults_keys::kCurrentCustomerLanguage);
  bool stale = languageDictionaryIsEmpty();
  if (latest) {
    stale = stale || storedVersion != latest.value() || storedLanguage != language ||
            storedCustomer.value_or("") != customer;
  } else {
    platform::debugLog("sync: language version failed: " + latest.error().message);
  }
  if (!stale) return;

  auto fetched = OstrelClient::getLanguage(r.baseUrl, language, customer, r.session).get();
  if (!fetched || !fetched.value().is_object() || fetched.value().empty()) {
    platform::debugLog("sync: no language dictionary fetched");
    return;
  }
  setLanguageDictionary(fetched.value());
  // Each key is saved on its own, so a process that dies part way leaves a mix of old and new.
  // The stored version is dropped first and written back last: any mix then lacks it, and the
  // next sync fetches again instead of taking a dictionary for a language it is not.
  defaults->removeObject(defaults_keys::kCurrentLanguageVersion);
  defaults->setDictionary(defaults_keys::kLanguageDictionary, fetched.value());
  defaults->setString(defaults_keys::kCurrentCodeLanguage, language);
  defaults->setString(defaults_keys::kCurrentCustomerLanguage, customer);
  if (latest) {
    defaults->setString(defaults_keys::kCurrentLanguageVersion, latest.value());
  } else {
    defaults->removeObject(defaults_keys::kCurrentLanguageVersion);
  }
}

void runSync(const SyncRequest& r) {
  std::lock_guard lock(syncMutex());
  try {
    loadCachedDictionaryIfEmpty();
    auto versionsCall = OstrelClient::getConfigVersions(r.baseUrl, r.session);
    auto languageCall =
        OstrelClient::getLastestLanguageVersion(r.baseUrl, r.language, r.customer, r.session);
    updateLanguage(r, std::move(languageCall));
    updateModels(r.baseUrl, std::move(versionsCall));
  } catch (const std::exception& e) {
    platform::debugLog(std::string("sync: ") + e.what());
  }
}

}  // namespace

std::future<void> syncLocalize(const std::string& baseUrl, const std::string& language,
                               const std::string& customer, std::optional<std::string> session) {
  auto promise = std::make_shared<std::promise<void>>();
  auto future = promise->get_future();
  SyncRequest request{baseUrl, language, customer, std::move(session)};
  platform::DispatchQueue::global()->async([promise, request = std::move(request)] {
    runSync(request);
    promise->set_value();
  });
  return future;
}

void syncLocalize(const std::string& baseUrl, const std::string& language,
                  const std::string& customer, std::function<void()> completion,
                  std::optional<std::string> session) {
  SyncRequest request{baseUrl, language, customer, std::move(session)};
  platform::DispatchQueue::global()->async(
      [request = std::move(request), completion = std::move(completion)]() mutable {
        runSync(request);
        if (completion) platform::DispatchQueue::main()->async(std::move(completion));
      });
}

}  // namespace ostrel
