#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/Base64.hpp"
#include "platform/foundation/Bundle.hpp"
#include "platform/foundation/DateFormatter.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/runtime/NotificationCenter.hpp"
#include "testing/RuntimeFixture.hpp"

namespace ostrel {
namespace {

using platform::Bytes;
using platform::Date;
using platform::JSON;
using platform::UserDefaults;

// ---------------------------------------------------------------- user defaults

class UserDefaultsFileTest : public testing::RuntimeTest {
 protected:
  void SetUp() override { UserDefaults::useInMemoryStorage(false); }

  // A fresh instance reading the same file, as a later launch would.
  std::shared_ptr<UserDefaults> reopen(const std::string& name = "OSL") {
    UserDefaults::resetSuites();
    return UserDefaults::suite(name);
  }

  std::filesystem::path suiteFile(const std::string& name = "OSL") {
    return dataDirectory() / "Preferences" / (name + ".json");
  }
};

TEST_F(UserDefaultsFileTest, EveryValueTypeRoundTripsThroughTheFile) {
  auto defaults = UserDefaults::suite("OSL");
  defaults->setString("text", "Xin chào");
  defaults->setBool("flag", true);
  defaults->setInteger("count", -9007199254740993LL);
  defaults->setDouble("ratio", 0.1);
  defaults->setDate("when", Date{1767225600.25});
  defaults->setData("bytes", Bytes{0, 1, 2, 0xfe, 0xff});
  defaults->setArray("list", JSON::array({1, "two", 3.5}));
  defaults->setDictionary("dict", JSON{{"vi", {{"k", "v"}}}, {"n", 1}});

  auto fresh = reopen();
  ASSERT_NE(fresh.get(), defaults.get());
  EXPECT_EQ(fresh->string("text"), "Xin chào");
  EXPECT_EQ(fresh->boolean("flag"), true);
  EXPECT_EQ(fresh->integer("count"), -9007199254740993LL);
  EXPECT_EQ(fresh->doubleValue("ratio"), 0.1);
  EXPECT_EQ(fresh->date("when"), Date{1767225600.25});
  EXPECT_EQ(fresh->data("bytes"), (Bytes{0, 1, 2, 0xfe, 0xff}));
  EXPECT_EQ(fresh->array("list"), JSON::array({1, "two", 3.5}));
  EXPECT_EQ(fresh->dictionary("dict"), (JSON{{"vi", {{"k", "v"}}}, {"n", 1}}));
}

TEST_F(UserDefaultsFileTest, ReadsOfTheWrongTypeOrMissingKeysGiveNothing) {
  auto defaults = UserDefaults::suite("OSL");
  defaults->setString("text", "12");
  defaults->setDate("when", Date{5});
  EXPECT_FALSE(defaults->date("text"));
  EXPECT_FALSE(defaults->string("when"));
  EXPECT_FALSE(defaults->dictionary("text"));
  EXPECT_EQ(defaults->integer("text"), 12) << "a numeric text reads as its number";
  defaults->setDouble("huge", 1e300);
  defaults->setString("tiny", "-1e300");
  EXPECT_EQ(defaults->integer("huge"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(defaults->integer("tiny"), std::numeric_limits<std::int64_t>::min());
  EXPECT_FALSE(defaults->boolean("missing"));
  EXPECT_FALSE(defaults->boolValue("missing"));
  EXPECT_EQ(defaults->integer("missing"), 0);
  defaults->removeObject("text");
  EXPECT_FALSE(reopen()->hasKey("text"));
}

TEST_F(UserDefaultsFileTest, CrashBeforeTheRenameLeavesTheOldContentsReadable) {
  UserDefaults::suite("OSL")->setString("OSL_CURRENT_CODE_LANGUAGE", "vi");
  UserDefaults::setBeforeReplaceHook([] { return false; });  // dies after writing the temp file
  UserDefaults::suite("OSL")->setString("OSL_CURRENT_CODE_LANGUAGE", "en");
  UserDefaults::setBeforeReplaceHook({});

  auto fresh = reopen();
  EXPECT_EQ(fresh->string("OSL_CURRENT_CODE_LANGUAGE"), "vi");
  fresh->setString("other", "x");  // a later save replaces the leftover temporary file
  EXPECT_EQ(reopen()->string("other"), "x");
}

TEST_F(UserDefaultsFileTest, CorruptFileGivesAnEmptySuiteAndIsKeptAside) {
  std::filesystem::create_directories(suiteFile().parent_path());
  for (const std::string garbage : {"{not json", "[1,2,3]", R"({"k": 5})"}) {
    SCOPED_TRACE(garbage);
    {
      std::ofstream out(suiteFile());
      out << garbage;
    }
    auto defaults = reopen();
    EXPECT_FALSE(defaults->hasKey("k")) << garbage;
    defaults->setString("k", "fresh");
    EXPECT_EQ(reopen()->string("k"), "fresh");
  }
  int kept = 0;
  for (const auto& entry : std::filesystem::directory_iterator(suiteFile().parent_path())) {
    if (entry.path().filename().string().starts_with("OSL.json.corrupt-")) {
      std::ifstream in(entry.path());
      std::string text((std::istreambuf_iterator<char>(in)), {});
      EXPECT_TRUE(text == "{not json" || text == "[1,2,3]" || text == R"({"k": 5})") << text;
      ++kept;
    }
  }
  EXPECT_EQ(kept, 3);
}

std::string nestedArrays(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

// A settings file nested far deeper than anything the library stores reads as a corrupt one
// (empty suite, file kept aside), without the stack overflow a recursive reader would hit; a
// value too deep to read back is not stored, and the deepest that is reads back.
TEST_F(UserDefaultsFileTest, DeeplyNestedFilesAndValues) {
  std::filesystem::create_directories(suiteFile().parent_path());
  {
    std::ofstream out(suiteFile());
    out << R"({"k": {"type": "array", "value": )" << nestedArrays(100'000) << "}}";
  }
  auto defaults = reopen();
  EXPECT_FALSE(defaults->hasKey("k"));
  EXPECT_TRUE(std::filesystem::exists(suiteFile().string() + ".corrupt-1"));

  const auto deepest = platform::parseJSON(nestedArrays(platform::kMaxJSONDepth));
  ASSERT_TRUE(deepest);
  defaults->setArray("deepest", *deepest);
  defaults->setArray("too deep", JSON::array({*deepest}));
  defaults = reopen();
  EXPECT_EQ(defaults->array("deepest"), *deepest);
  EXPECT_FALSE(defaults->hasKey("too deep"));

  EXPECT_FALSE(platform::parseJSON(nestedArrays(platform::kMaxJSONDepth + 1)));
  EXPECT_FALSE(platform::parseJSON(R"({"a": [)" + nestedArrays(1'000'000) + "]}"));
  // Brackets inside texts are no nesting.
  EXPECT_TRUE(platform::parseJSON(R"({"a": ")" + std::string(1000, '[') + R"("})"));
}

TEST_F(UserDefaultsFileTest, SuitesAreSeparateFiles) {
  UserDefaults::suite("OSL")->setInteger("n", 1);
  UserDefaults::suite("Other")->setInteger("n", 2);
  EXPECT_EQ(reopen("OSL")->integer("n"), 1);
  EXPECT_EQ(reopen("Other")->integer("n"), 2);
  EXPECT_TRUE(std::filesystem::exists(suiteFile("Other")));
}

TEST(UserDefaultsMemoryTest, InMemorySuitesWriteNoFile) {
  testing::RuntimeEnvironment environment;
  UserDefaults::suite("OSL")->setString("k", "v");
  EXPECT_EQ(UserDefaults::suite("OSL")->string("k"), "v");
  EXPECT_FALSE(std::filesystem::exists(environment.dataDirectory() / "Preferences"));
}

// ---------------------------------------------------------------- dates

TEST(DateFormatterTest, StrictPatternsInTheLibraryTimeZone) {
  platform::DateFormatter dmy("dd/MM/yyyy");
  auto parsed = dmy.date("5/7/1990");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(dmy.string(*parsed), "05/07/1990");
  // Midnight in Ho Chi Minh City (UTC+7) is 17:00 the day before in UTC.
  EXPECT_EQ(parsed->timeIntervalSince1970, 647110800);  // 1990-07-04T17:00:00Z

  const struct {
    const char* text;
    const char* pattern;
    bool parses;
  } cases[] = {
      {"31/02/1990", "dd/MM/yyyy", false},  {"25.12.1990", "dd/MM/yyyy", false},
      {"12/25/1990", "dd/MM/yyyy", false},  {"12/25/1990", "MM/dd/yyyy", true},
      {"05/07/1990x", "dd/MM/yyyy", false}, {"", "dd/MM/yyyy", false},
      {"29/02/2000", "dd/MM/yyyy", true},   {"29/02/1900", "dd/MM/yyyy", false},
      {"00/01/1990", "dd/MM/yyyy", false},  {"ngày", "dd/MM/yyyy", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " with " + c.pattern);
    platform::DateFormatter formatter(c.pattern);
    EXPECT_EQ(formatter.date(c.text).has_value(), c.parses) << c.text << " with " << c.pattern;
  }
}

TEST(DateFormatterTest, TwoDigitYears) {
  platform::DateFormatter dmy("dd/MM/yyyy");
  platform::DateFormatter compact("yyMMdd");
  auto moonWalk = dmy.date("06/08/1969");
  ASSERT_TRUE(moonWalk);
  EXPECT_EQ(compact.string(*moonWalk), "690806");
}

// ---------------------------------------------------------------- notifications

class NotificationTest : public testing::RuntimeTest {};

TEST_F(NotificationTest, DestroyedObserversAreNotCalled) {
  auto& center = platform::NotificationCenter::defaultCenter();
  int calls = 0;
  auto observer = std::make_shared<int>(0);
  center.addObserver(observer, "ping", [&](const platform::Notification& n) {
    EXPECT_EQ(n.userInfo.value("n", 0), 3);
    ++calls;
  });
  center.post("ping", JSON{{"n", 3}});
  observer.reset();
  center.post("ping", JSON{{"n", 3}});
  EXPECT_EQ(calls, 1);
}

TEST_F(NotificationTest, RemovingAnObserverRemovesAllItsNamesAndDuplicatesDeliverTwice) {
  auto& center = platform::NotificationCenter::defaultCenter();
  auto observer = std::make_shared<int>(0);
  auto other = std::make_shared<int>(0);
  int a = 0, b = 0, c = 0;
  center.addObserver(observer, "a", [&](const platform::Notification&) { ++a; });
  center.addObserver(observer, "a", [&](const platform::Notification&) { ++a; });
  center.addObserver(observer, "b", [&](const platform::Notification&) { ++b; });
  center.addObserver(other, "a", [&](const platform::Notification&) { ++c; });
  center.post("a");
  EXPECT_EQ(a, 2);
  center.removeObserver(observer.get());
  center.post("a");
  center.post("b");
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(c, 2);
}

TEST_F(NotificationTest, ApplicationStateChangesPostInOrder) {
  auto& center = platform::NotificationCenter::defaultCenter();
  auto observer = std::make_shared<int>(0);
  std::vector<std::string> names;
  for (const char* name : {platform::ApplicationWillResignActiveNotification,
                           platform::ApplicationDidEnterBackgroundNotification,
                           platform::ApplicationWillEnterForegroundNotification,
                           platform::ApplicationDidBecomeActiveNotification}) {
    SCOPED_TRACE(name);
    center.addObserver(observer, name,
                       [&](const platform::Notification& n) { names.push_back(n.name); });
  }
  auto& app = platform::Application::shared();
  app.setApplicationState(platform::ApplicationState::background);
  app.setApplicationState(platform::ApplicationState::active);
  EXPECT_EQ(names, (std::vector<std::string>{platform::ApplicationWillResignActiveNotification,
                                             platform::ApplicationDidEnterBackgroundNotification,
                                             platform::ApplicationWillEnterForegroundNotification,
                                             platform::ApplicationDidBecomeActiveNotification}));
}

// ---------------------------------------------------------------- bundle, base64, make

TEST(BundleTest, FindsResourcesLanguagesAndVersion) {
  auto root = std::filesystem::temp_directory_path() / "ostrel-bundle-test";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root / "vi.lproj");
  std::filesystem::create_directories(root / "en.lproj");
  std::ofstream(root / "icon_close.png") << "png";
  std::ofstream(root / "Info.json") << R"({"shortVersionString": "2.8.3"})";
  auto bundle = platform::Bundle::open(root);
  ASSERT_TRUE(bundle);
  EXPECT_EQ(bundle->imagePath("icon_close"), root / "icon_close.png");
  EXPECT_FALSE(bundle->imagePath("missing"));
  EXPECT_FALSE(bundle->pathForResource("../etc/passwd", ""));
  EXPECT_EQ(bundle->localizations(), (std::vector<std::string>{"en", "vi"}));
  EXPECT_EQ(bundle->shortVersionString(), "2.8.3");
  EXPECT_FALSE(platform::Bundle::open(root / "nowhere"));
  std::filesystem::remove_all(root);
}

TEST(Base64Test, RoundTripsAndRejectsMalformedText) {
  for (std::string s : {"", "f", "fo", "foo", "foob", "fooba", "foobar"}) {
    SCOPED_TRACE(s);
    auto encoded = platform::base64Encode(s);
    auto decoded = platform::base64Decode(encoded);
    ASSERT_TRUE(decoded) << s;
    EXPECT_EQ(std::string(decoded->begin(), decoded->end()), s);
  }
  EXPECT_EQ(platform::base64Encode(std::string("foobar")), "Zm9vYmFy");
  for (const char* bad : {"Zm9", "Zm9v\n", "Zm=v", "Z===", "Zm9v====", "Zm9*"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(platform::base64Decode(bad)) << bad;
  }
}

struct Base {
  virtual ~Base() = default;
  void didMake() { setUp(); }
  virtual void setUp() { name = "base"; }
  std::string name;
};
struct Derived : Base {
  void setUp() override { name = "derived"; }
};

TEST(MakeTest, SetUpHooksDispatchToOverrides) {
  EXPECT_EQ(platform::make<Derived>()->name, "derived");
  EXPECT_EQ(platform::make<Base>()->name, "base");
}

TEST(DebugSinkTest, CapturedWhenReplaced) {
  std::vector<std::string> lines;
  platform::setDebugSink([&](std::string_view line) { lines.emplace_back(line); });
  platform::debugLog("hello");
  platform::setDebugSink({});
  platform::debugLog("not captured");
  EXPECT_EQ(lines, (std::vector<std::string>{"hello"}));
}

}  // namespace
}  // namespace ostrel
