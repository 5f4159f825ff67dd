#include <gtest/gtest.h>

#include "core/ScreenFactories.hpp"
#include "platform/foundation/Make.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/ScriptedScreens.hpp"

namespace ostrel {
namespace {

// Every entry of the screen table, and whether the library has that screen. A screen that
// lands adds its entry to `installLibraryScreens` and turns its row on here, so an entry that
// went missing (or that the linker dropped) fails below.
struct Entry {
  const char* name;
  bool (*filled)(const ScreenFactories&);
  bool library;
};
const Entry kEntries[] = {
    {"idCapture", [](const ScreenFactories& f) { return bool(f.idCapture); }, false},
    {"face", [](const ScreenFactories& f) { return bool(f.face); }, false},
    {"vendorLiveness", [](const ScreenFactories& f) { return bool(f.vendorLiveness); }, true},
    {"qrScanner", [](const ScreenFactories& f) { return bool(f.qrScanner); }, true},
    {"nfc", [](const ScreenFactories& f) { return bool(f.nfc); }, false},
    {"confirm", [](const ScreenFactories& f) { return bool(f.confirm); }, true},
    {"ekycResult", [](const ScreenFactories& f) { return bool(f.ekycResult); }, true},
    {"nfcResult", [](const ScreenFactories& f) { return bool(f.nfcResult); }, false},
    {"simpleResult", [](const ScreenFactories& f) { return bool(f.simpleResult); }, true},
};

void expectLibraryScreens(const ScreenFactories& table) {
  for (const Entry& entry : kEntries) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(entry.filled(table), entry.library);
  }
}

class ScreenRegistrationTest : public testing::RuntimeTest {};

TEST_F(ScreenRegistrationTest, AFreshProcessFindsTheLibraryScreens) {
  // The table is filled on first use, by whoever uses it first (here, this test).
  expectLibraryScreens(ScreenFactories::shared());
  ScreenFactories installed;
  installLibraryScreens(installed);
  expectLibraryScreens(installed);
}

TEST_F(ScreenRegistrationTest, ScriptedScreensPutBackWhatTheyReplacedAndResetRestoresTheLibrary) {
  auto own = platform::make<platform::ViewController>();
  auto& table = ScreenFactories::shared();
  table.confirm = [own] { return StepScreen::of(own); };
  table.simpleResult = [own](std::shared_ptr<OstrelResult>) { return own; };
  {
    testing::ScriptedScreens scripted;
    for (const Entry& entry : kEntries) {
      SCOPED_TRACE(entry.name);
      EXPECT_TRUE(entry.filled(table)) << "every entry is scripted";
    }
    EXPECT_NE(table.confirm().controller, own);
    EXPECT_EQ(scripted.kinds(), std::vector<std::string>{"confirm"});
  }
  ASSERT_TRUE(table.confirm);
  EXPECT_EQ(table.confirm().controller, own);
  ASSERT_TRUE(table.simpleResult);
  EXPECT_EQ(table.simpleResult(nullptr), own);
  EXPECT_FALSE(table.face) << "an entry that was empty is empty again";

  ScreenFactories::reset();
  expectLibraryScreens(ScreenFactories::shared());
}

}  // namespace
}  // namespace ostrel
