#include <typeinfo>

#include <gtest/gtest.h>

#include "nfcscan/OSLResultNFCVC.hpp"
#include "platform/ui/PangoText.hpp"
#include "platform/ui/Renderer.hpp"
#include "results/InforCell.hpp"
#include "results/OSLResulteKYCVC.hpp"
#include "results/OSLSimpleResultVC.hpp"
#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"
#include "testing/PixelProbe.hpp"
#include "testing/SamplePerson.hpp"

namespace ostrel {
namespace {

using platform::ViewController;
using testing::FlowHarness;
using testing::UserJourney;
using Strings = std::vector<std::string>;

class ResultScreenTest : public FlowHarness {};

enum class Shown { none, full, chip, reasons };

Shown shownResult(const std::shared_ptr<ViewController>& top) {
  if (std::dynamic_pointer_cast<OSLSimpleResultVC>(top)) return Shown::reasons;
  if (std::dynamic_pointer_cast<OSLResultNFCVC>(top)) return Shown::chip;
  if (std::dynamic_pointer_cast<OSLResulteKYCVC>(top)) return Shown::full;
  return Shown::none;
}

// Without a result screen the session closes with the result alone; with one the user reads it
// and its confirm reports the cancel before the result. The passport flow always shows one;
// the reasons-only screen stands in for the flow's own when the host asks for it.
TEST_F(ResultScreenTest, OffOnAndReasonsOnlyForAnIDFlowTheChipFlowAndThePassport) {
  struct Row {
    const char* flow;
    bool showResultScreen;
    bool reasonsOnly;
    Shown expected;
  };
  const Row rows[] = {
      {"ekyc", false, false, Shown::none},    {"ekyc", true, false, Shown::full},
      {"ekyc", true, true, Shown::reasons},   {"nfc_only", false, false, Shown::none},
      {"nfc_only", true, false, Shown::chip}, {"nfc_only", true, true, Shown::reasons},
      {"passport", false, false, Shown::full}, {"passport", false, true, Shown::reasons},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.flow) + (row.showResultScreen ? " with" : " without") +
                 " the result screen" + (row.reasonsOnly ? ", reasons only" : ""));
    host.clear();
    said.clear();
    config->withShowResultScreen(row.showResultScreen);
    config->isOnlyShowReasonInResultVC = row.reasonsOnly;
    buildConfig();
    Ostrel::shared()->run(row.flow, config);
    Shown seen = Shown::none;
    bool started = false;
    ASSERT_TRUE(drive([&] {
      if (seen == Shown::none) seen = shownResult(UserJourney::topScreen(window()));
      const bool onScreen = Ostrel::shared()->naviViewController() != nullptr;
      started = started || onScreen;
      return started && !onScreen;
    }));
    advance(1);
    settleNetwork();

    EXPECT_EQ(seen, row.expected);
    if (row.expected == Shown::none) {
      EXPECT_EQ(orderWithoutLoading(), Strings{"result"});
    } else {
      EXPECT_EQ(orderWithoutLoading(), (Strings{"event:0", "result"}));
      EXPECT_EQ(said.back(), "confirms the result screen");
    }
    expectNothingLeft();
  }
  expectNoMissingKeys();
}

// The holder's name in capitals keeps the tilde over its circumflex ("NGUYỄN", not "NGUYÊN") in
// every result table that lists it: the card's reading, the chip's section of the eKYC result and
// the chip result, drawn with the fonts the demo and a window use.
TEST_F(ResultScreenTest, TheHoldersNameKeepsItsStackedMarksInEveryResultTable) {
  platform::PangoTextMeasurer::install();
  const std::string name = testing::samplePerson().printedName;
  struct Row {
    const char* flow;
    bool chipResult;
  };
  const Row rows[] = {{"ekyc", false}, {"nfc_ekyc", false}, {"nfc_only", true}};
  int tablesProbed = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flow);
    config->withShowResultScreen(true);
    buildConfig();
    Ostrel::shared()->run(row.flow, config);
    std::vector<std::shared_ptr<platform::TableView>> tables;
    if (row.chipResult) {
      auto screen = driveTo<OSLResultNFCVC>();
      ASSERT_TRUE(screen);
      tables = {screen->tblInfor};
    } else {
      auto screen = driveTo<OSLResulteKYCVC>();
      ASSERT_TRUE(screen);
      tables = {screen->ocrTableView};
      if (std::string(row.flow) == "nfc_ekyc") tables.push_back(screen->nfcTableView);
    }
    advance(1);
    for (const auto& table : tables) {
      ASSERT_TRUE(table);
      table->layoutIfNeeded();
      auto image = platform::snapshot(*table, 2);
      ASSERT_TRUE(image);
      int found = 0;
      for (const auto& visible : table->visibleCells()) {
        auto cell = std::dynamic_pointer_cast<InforCell>(visible);
        if (!cell || !cell->lblInfor || cell->lblInfor->text() != name) continue;
        ++found;
        const platform::Font font = cell->lblInfor->font();
        const double rise = testing::stackedMarkRise(name, font);
        platform::Rect label = cell->lblInfor->convertRectTo(cell->lblInfor->bounds(), table.get());
        const platform::Color background = testing::pixelAt(*image, {2, label.midY()});
        // Up to the row's top: whatever ink the label has above its frame, none of a neighbour's.
        platform::Rect cellRect = cell->convertRectTo(cell->bounds(), table.get());
        platform::Rect region{label.minX(), cellRect.minY() + 1, label.width(),
                              label.maxY() - cellRect.minY() - 1};
        auto drawn = testing::inkRiseAboveCapitals(*image, region, background);
        ASSERT_TRUE(drawn) << "the name is drawn";
        EXPECT_GE(*drawn, rise - 0.75) << "the tilde above the circumflex is drawn";
      }
      EXPECT_EQ(found, 1) << "one row shows the name";
      ++tablesProbed;
    }
    ASSERT_TRUE(driveToEnd());
  }
  EXPECT_EQ(tablesProbed, 4);
  platform::TextMeasurer::install(nullptr);
}

}  // namespace
}  // namespace ostrel
