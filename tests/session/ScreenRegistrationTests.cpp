#include <gtest/gtest.h>

#include "core/OSLConfig.hpp"
#include "core/ScreenFactories.hpp"
#include "platform/foundation/Make.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/ScriptedScreens.hpp"
#include "ui/ViewExtensions.hpp"

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
    {"idCapture", [](const ScreenFactories& f) { return bool(f.idCapture); }, true},
    {"face", [](const ScreenFactories& f) { return bool(f.face); }, false},
    {"vendorLiveness", [](const ScreenFactories& f) { return bool(f.vendorLiveness); }, false},
    {"qrScanner", [](const ScreenFactories& f) { return bool(f.qrScanner); }, false},
    {"nfc", [](const ScreenFactories& f) { return bool(f.nfc); }, false},
    {"confirm", [](const ScreenFactories& f) { return bool(f.confirm); }, false},
    {"ekycResult", [](const ScreenFactories& f) { return bool(f.ekycResult); }, false},
    {"nfcResult", [](const ScreenFactories& f) { return bool(f.nfcResult); }, false},
    {"simpleResult", [](const ScreenFactories& f) { return bool(f.simpleResult); }, false},
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

// The class of the controller the table's ID entry makes, by name (this folder knows no screen
// class).
std::string idScreenClass(bool isFrontId) {
  const auto& entry = ScreenFactories::shared().idCapture;
  if (!entry) return "no entry";
  StepScreen step = entry(isFrontId);
  if (!step.controller) return "no controller";
  EXPECT_TRUE(step.setOnNext) << "the launcher can hand the screen its continuation";
  EXPECT_TRUE(step.resetForNewRun) << "a configured step can be shown again fresh";
  return typeNameWithoutModule(*step.controller);
}

TEST_F(ScreenRegistrationTest, TheIdEntryMakesTheCaptureScreenWhateverWasUsedFirst) {
  // A host that builds its steps before anything else has touched the table.
  auto config = OSLConfig::Builder("token");
  config->withIDStep(true, {}).withIDStep(false, {});
  ASSERT_EQ(config->steps.size(), 2u);
  for (const auto& step : config->steps) {
    ASSERT_TRUE(step.controller);
    EXPECT_EQ(typeNameWithoutModule(*step.controller), "IDCaptureVC");
  }
  EXPECT_NE(config->steps[0].controller, config->steps[1].controller);

  EXPECT_EQ(idScreenClass(true), "IDCaptureVC");
  {
    testing::ScriptedScreens scripted;
    EXPECT_EQ(idScreenClass(true), "ScriptedStepScreen");
  }
  EXPECT_EQ(idScreenClass(false), "IDCaptureVC");
  ScreenFactories::shared().idCapture = {};
  ScreenFactories::reset();
  EXPECT_EQ(idScreenClass(true), "IDCaptureVC");
}

}  // namespace
}  // namespace ostrel
