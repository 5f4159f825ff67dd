#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/Localization.hpp"
#include "core/SharedDefaults.hpp"
#include "network/ModelDownloader.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/foundation/Paths.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "session/LocalizationSync.hpp"
#include "session/Ostrel.hpp"
#include "platform/vision/MLModel.hpp"
#include "testing/LanguageDictionary.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/TestHelpers.hpp"
#include "testing/VerificationServer.hpp"
#include "tests/network/ServerTest.hpp"

namespace ostrel {
namespace {

using platform::JSON;
using testing::ScriptedReply;
namespace keys = defaults_keys;

const JSON kServerDictionary = {{"error_network", "Lỗi kết nối mạng"},
                                {"error_timeout", "Phiên làm việc đã hết hạn"},
                                {"error_unknown", "Có lỗi xảy ra"},
                                {"button_confirm", "Xác nhận"}};

class SyncTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    setLanguageDictionary(JSON::object());
    // The server's dictionary is the one these tests know, whatever the default one holds.
    server.setReply("/lang/get", ScriptedReply::data(kServerDictionary));
  }
  void TearDown() override {
    ServerTest::TearDown();
    EXPECT_TRUE(server.problems().empty());
  }

  // Stores what an earlier sync would have left.
  void storeCache(std::optional<JSON> dictionary, std::string language, std::string version,
                  std::string customer) {
    auto d = sharedDefaults();
    if (dictionary) d->setDictionary(keys::kLanguageDictionary, *dictionary);
    d->setString(keys::kCurrentCodeLanguage, std::move(language));
    d->setString(keys::kCurrentLanguageVersion, std::move(version));
    d->setString(keys::kCurrentCustomerLanguage, std::move(customer));
  }

  // Runs the completion form and checks it called back once, on the main queue.
  void sync(const std::string& language = "vi", const std::string& customer = "") {
    int calls = 0;
    bool onMain = false;
    syncLocalize(server.baseUrl(), language, customer, [&] {
      ++calls;
      onMain = platform::isMainQueue();
    });
    ASSERT_TRUE(waitUntil([&] { return calls > 0; }));
    runUntilIdle();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(onMain);
  }

  std::size_t fetches() const { return server.requests("/lang/get").size(); }
};

TEST_F(SyncTest, UpToDateCacheIsLoadedAndNothingFetched) {
  storeCache(JSON{{"hello", "Xin chào"}}, "vi", "1", "");
  sync();
  EXPECT_EQ(fetches(), 0u);
  EXPECT_EQ(osl_localize("hello"), "Xin chào");
  auto versions = server.lastRequest("/lang/versions");
  ASSERT_TRUE(versions);
  EXPECT_EQ(versions->queryValue("lang"), "vi");
  EXPECT_EQ(versions->header("authorization"), kSession);
}

TEST_F(SyncTest, FetchesWhenVersionLanguageCustomerChangedOrNothingCached) {
  struct Case {
    std::string name;
    std::optional<JSON> cached;
    std::string storedLanguage, storedVersion, storedCustomer;
    std::string language, customer;
  };
  const JSON cached = {{"hello", "old"}};
  const std::vector<Case> cases = {
      {"older version", cached, "vi", "0", "", "vi", ""},
      {"other language", cached, "en", "1", "", "vi", ""},
      {"other customer", cached, "vi", "1", "bank-a", "vi", "bank-b"},
      {"no dictionary cached", std::nullopt, "vi", "1", "bank-b", "vi", "bank-b"},
      {"empty dictionary cached", JSON::object(), "vi", "1", "", "vi", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.clearLog();
    setLanguageDictionary(JSON::object());
    sharedDefaults()->removeObject(keys::kLanguageDictionary);
    storeCache(c.cached, c.storedLanguage, c.storedVersion, c.storedCustomer);
    sync(c.language, c.customer);
    ASSERT_EQ(fetches(), 1u);
    auto fetch = server.lastRequest("/lang/get");
    EXPECT_EQ(fetch->queryValue("lang"), c.language);
    EXPECT_EQ(fetch->queryValue("customer"), c.customer);
    EXPECT_EQ(languageDictionary(), kServerDictionary);
    auto d = sharedDefaults();
    EXPECT_EQ(d->dictionary(keys::kLanguageDictionary), kServerDictionary);
    EXPECT_EQ(d->string(keys::kCurrentCodeLanguage), c.language);
    EXPECT_EQ(d->string(keys::kCurrentLanguageVersion), "1");
    EXPECT_EQ(d->string(keys::kCurrentCustomerLanguage), c.customer);
  }
}

TEST_F(SyncTest, FailedFetchKeepsTheCacheAndStoresNothing) {
  const JSON cached = {{"hello", "old"}};
  storeCache(cached, "vi", "0", "");
  server.setReply("/lang/versions", ScriptedReply::data({{"version", "7"}}));
  for (auto reply : {ScriptedReply::error(500, "down", 500), ScriptedReply::data(JSON::object()),
                     ScriptedReply::raw("not json", "text/plain")}) {
    SCOPED_TRACE(reply.status);
    server.setReply("/lang/get", reply);
    sync();
    EXPECT_EQ(languageDictionary(), cached);
    EXPECT_EQ(sharedDefaults()->string(keys::kCurrentLanguageVersion), "0");
    EXPECT_EQ(sharedDefaults()->dictionary(keys::kLanguageDictionary), cached);
  }
}

TEST_F(SyncTest, StoreCutShortAfterTheDictionaryIsFetchedAgainNextLaunch) {
  // Files this time, so that a save can be cut short and the suite read back as a new launch.
  platform::UserDefaults::useInMemoryStorage(false);
  const JSON vietnamese = {{"hello", "Xin chào"}};
  const JSON english = {{"hello", "Hello"}};
  storeCache(vietnamese, "vi", "1", "");

  // The process dies just after the save that first holds the English dictionary: every
  // later save is lost.
  const auto temporary =
      platform::Paths::applicationDataDirectory() / "Preferences" / "OSL.json.tmp";
  auto died = std::make_shared<std::atomic<bool>>(false);
  platform::UserDefaults::setBeforeReplaceHook([temporary, died] {
    if (*died) return false;
    std::ifstream in(temporary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.find("\"Hello\"") != std::string::npos) *died = true;
    return true;
  });
  server.setReply("/lang/get", ScriptedReply::data(english));
  sync("en");
  ASSERT_TRUE(*died);
  EXPECT_EQ(languageDictionary(), english);

  // Next launch, back in Vietnamese with the same language version on the server.
  platform::UserDefaults::setBeforeReplaceHook({});
  platform::UserDefaults::resetSuites();
  setLanguageDictionary(JSON::object());
  server.clearLog();
  server.setReply("/lang/get", ScriptedReply::data(vietnamese));
  sync("vi");
  EXPECT_EQ(fetches(), 1u) << "a half-stored language was taken for an up-to-date one";
  EXPECT_EQ(languageDictionary(), vietnamese);
  EXPECT_EQ(sharedDefaults()->dictionary(keys::kLanguageDictionary), vietnamese);
  EXPECT_EQ(sharedDefaults()->string(keys::kCurrentLanguageVersion), "1");
}

TEST_F(SyncTest, UnreachableServerStillCompletes) {
  storeCache(JSON{{"hello", "old"}}, "vi", "1", "");
  server.stop();
  sync();
  EXPECT_EQ(osl_localize("hello"), "old");
}

TEST_F(SyncTest, NewerIdCardModelIsDownloadedAndRecordedOnlyOnceStored) {
  storeCache(JSON{{"hello", "x"}}, "vi", "1", "");
  server.setReply("/api/configuration/versions",
                  ScriptedReply::data({{"idcard_model", "2"}, {"flashcard_model", "5"}}));
  server.setReply("/api/sdk-model/download", ScriptedReply::error(500, "down", 500));
  sync();
  EXPECT_EQ(server.requests("/api/sdk-model/download").size(), 1u);
  EXPECT_FALSE(ModelDownloader::recordedVersion(kIdCardModelName));

  server.resetReplies();
  server.setReply("/api/configuration/versions", ScriptedReply::data({{"idcard_model", "2"}}));
  server.setModelBytes("MODEL-2");
  sync();
  EXPECT_EQ(ModelDownloader::recordedVersion(kIdCardModelName), "2");
  EXPECT_TRUE(std::filesystem::exists(ModelDownloader().modelURL(kIdCardModelName)));
  EXPECT_FALSE(ModelDownloader::recordedVersion("flashcard_model")) << "never downloaded";
  auto download = server.lastRequest("/api/sdk-model/download");
  EXPECT_EQ(download->queryValue("name"), kIdCardModelName);
  EXPECT_FALSE(download->header("authorization"));

  // Up to date: no second download.
  sync();
  EXPECT_EQ(server.requests("/api/sdk-model/download").size(), 2u);
}

// The local server's own dictionary and model, as the demo and the flows meet them.
TEST_F(SyncTest, DefaultServerDictionaryHasEveryKeyInBothLanguagesAndItsModelLoads) {
  server.resetReplies();
  const JSON& vietnamese = testing::defaultLanguageDictionary("vi");
  const JSON& english = testing::defaultLanguageDictionary("en");
  ASSERT_EQ(vietnamese.size(), english.size());
  for (const auto& [key, text] : vietnamese.items()) {
    SCOPED_TRACE(key);
    EXPECT_TRUE(english.contains(key)) << "no English text";
    EXPECT_FALSE(text.get<std::string>().empty());
    EXPECT_FALSE(english.value(key, "").empty());
  }

  struct Case {
    std::string language;
    const JSON& expected;
  };
  for (const Case& c : {Case{"vi", vietnamese}, Case{"en", english}, Case{"fr", vietnamese}}) {
    SCOPED_TRACE(c.language);
    setLanguageDictionary(JSON::object());
    sharedDefaults()->removeObject(keys::kLanguageDictionary);
    storeCache(std::nullopt, "", "", "");
    sync(c.language);
    EXPECT_EQ(languageDictionary(), c.expected);

    testing::MissingKeyRecorder missing;
    for (const auto& key : testing::uiKitLocalizationKeys()) EXPECT_FALSE(osl_localize(key).empty());
    EXPECT_TRUE(missing.keys().empty()) << *missing.keys().begin();
    osl_localize("no_such_key");
    EXPECT_EQ(missing.keys(), std::set<std::string>{"no_such_key"});
  }

  // The card model the syncs downloaded is one the detection view can load.
  ASSERT_EQ(ModelDownloader::recordedVersion(kIdCardModelName), "1");
  EXPECT_NO_THROW(platform::MLModel::contentsOf(ModelDownloader().modelURL(kIdCardModelName)));
}

TEST_F(SyncTest, BuildChecksThenCompletesAfterTheSync) {
  struct Case {
    std::string name;
    std::function<void(OSLConfig&)> change;
    std::optional<OSLConfig::ErrorKind> error;
  };
  const std::vector<Case> cases = {
      {"valid", [](OSLConfig&) {}, std::nullopt},
      {"no session", [](OSLConfig& c) { c.withSession(""); }, OSLConfig::ErrorKind::invalidSession},
      {"ftp", [](OSLConfig& c) { c.baseUrl = "ftp://host"; }, OSLConfig::ErrorKind::invalidBaseUrl},
      {"scheme only", [](OSLConfig& c) { c.baseUrl = "https://"; },
       OSLConfig::ErrorKind::invalidBaseUrl},
      {"no url", [](OSLConfig& c) { c.baseUrl = ""; }, OSLConfig::ErrorKind::invalidBaseUrl},
      {"url with a query", [](OSLConfig& c) { c.baseUrl += "/?x=1"; },
       OSLConfig::ErrorKind::invalidBaseUrl},
      {"url with a fragment", [](OSLConfig& c) { c.baseUrl += "#f"; },
       OSLConfig::ErrorKind::invalidBaseUrl},
      {"url with a line break", [](OSLConfig& c) { c.baseUrl += "/\r\nX: y"; },
       OSLConfig::ErrorKind::invalidBaseUrl},
      {"url with a path", [](OSLConfig& c) { c.baseUrl += "/tenant/"; }, std::nullopt},
      {"token injecting a header",
       [](OSLConfig& c) { c.withSession("built-token\r\nX-Injected: yes"); },
       OSLConfig::ErrorKind::invalidSession},
      {"token with a bare line feed", [](OSLConfig& c) { c.withSession("built\ntoken"); },
       OSLConfig::ErrorKind::invalidSession},
      {"token with a tab", [](OSLConfig& c) { c.withSession("built\ttoken"); },
       OSLConfig::ErrorKind::invalidSession},
      {"token with DEL", [](OSLConfig& c) { c.withSession("built\x7ftoken"); },
       OSLConfig::ErrorKind::invalidSession},
      {"no language", [](OSLConfig& c) { c.appearance->language = ""; },
       OSLConfig::ErrorKind::invalidLanguage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto built = OSLConfig::Builder("built-token");
    built->withBaseUrl(server.baseUrl());
    c.change(*built);
    EXPECT_EQ(built->validationError(), c.error);
    if (c.error) {
      try {
        built->build([] {});
        ADD_FAILURE() << "no error thrown";
      } catch (const OSLConfigError& e) {
        EXPECT_EQ(e.kind, *c.error);
      }
      auto refused = built->build();
      EXPECT_THROW(refused.get(), OSLConfigError);
    }
  }
  EXPECT_TRUE(server.requests().empty()) << "a refused build asks the server nothing";

  // A valid build syncs with its own token before its completion, on the main queue.
  server.setExpectedAuthorization("built-token");
  auto built = OSLConfig::Builder("built-token");
  built->withBaseUrl(server.baseUrl());
  std::optional<JSON> seen;
  bool onMain = false;
  built->build([&] {
    seen = languageDictionary();
    onMain = platform::isMainQueue();
  });
  ASSERT_TRUE(waitUntil([&] { return seen.has_value(); }));
  EXPECT_TRUE(onMain);
  EXPECT_EQ(*seen, kServerDictionary);
  EXPECT_EQ(server.lastRequest("/lang/get")->header("authorization"), "built-token");

  // The task form is ready after the sync too.
  setLanguageDictionary(JSON::object());
  sharedDefaults()->removeObject(keys::kLanguageDictionary);
  auto task = built->build();
  ASSERT_TRUE(waitUntil(
      [&] { return task.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  task.get();
  EXPECT_EQ(languageDictionary(), kServerDictionary);
}

TEST_F(SyncTest, ConfiguredStepsBuildWithoutSessionToken) {
  // A configuration of its own steps may do without a token; here a stand-in step.
  auto built = OSLConfig::Builder("");
  built->withBaseUrl(server.baseUrl());
  built->steps.push_back(StepScreen::of(platform::make<platform::ViewController>()));
  EXPECT_EQ(built->validationError(), std::nullopt);
}

}  // namespace
}  // namespace ostrel
