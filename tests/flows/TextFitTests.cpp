#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/IDCaptureVC.hpp"
#include "nfcscan/OSLResultNFCVC.hpp"
#include "nfcscan/OSLScanNFCVC.hpp"
#include "platform/ui/PangoText.hpp"
#include "results/ConfirmViewController.hpp"
#include "results/OSLResulteKYCVC.hpp"
#include "session/Ostrel.hpp"
#include "testing/FlowHarness.hpp"
#include "testing/TextFit.hpp"

namespace ostrel {
namespace {

using platform::ViewController;
using testing::FlowHarness;
using testing::UserJourney;

class TextFitTest : public FlowHarness {
 protected:
  TextFitTest() { platform::PangoTextMeasurer::install(); }
  ~TextFitTest() override { platform::TextMeasurer::install(nullptr); }
};

// The screen's kind, for the screens whose texts are looked at; empty for the others.
std::string kindOf(const std::shared_ptr<ViewController>& top) {
  if (std::dynamic_pointer_cast<IDCaptureVC>(top)) return "IDCaptureVC";
  if (std::dynamic_pointer_cast<ConfirmViewController>(top)) return "ConfirmViewController";
  if (std::dynamic_pointer_cast<OSLScanNFCVC>(top)) return "OSLScanNFCVC";
  if (std::dynamic_pointer_cast<OSLResultNFCVC>(top)) return "OSLResultNFCVC";
  if (std::dynamic_pointer_cast<OSLResulteKYCVC>(top)) return "OSLResulteKYCVC";
  return "";
}

// English runs longer than Vietnamese: in both, the capture titles keep clear of the close
// button, the confirmation note and the chip screen's guide lines show every line, and the
// result rows show their whole titles, as the flows show them to a user.
TEST_F(TextFitTest, StepScreensShowTheirTextsWholeInBothLanguages) {
  struct Row {
    const char* flow;
    const char* language;
  };
  const Row rows[] = {{"ekyc", "en"},     {"ekyc", "vi"},     {"nfc_ekyc", "en"},
                      {"nfc_only", "en"}, {"passport", "en"}, {"nfc_only", "vi"}};
  std::set<std::string> seen;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.flow) + " in " + row.language);
    config->appearance->language = row.language;
    config->withShowResultScreen(true);
    buildConfig();
    Ostrel::shared()->run(row.flow, config);
    std::map<std::string, std::vector<std::string>> cut;
    bool started = false;
    ASSERT_TRUE(drive([&] {
      auto top = UserJourney::topScreen(window());
      const std::string kind = kindOf(top);
      if (!kind.empty() && top->isViewLoaded()) {
        const std::string name = kind + (kind == "IDCaptureVC" && IDCaptureVC::isPassportMode()
                                              ? " passport"
                                              : "");
        top->view()->layoutIfNeeded();
        auto found = testing::labelsCutShort(*top->view());
        if (auto capture = std::dynamic_pointer_cast<IDCaptureVC>(top);
            capture && testing::framesOverlap(*capture->titleLabel, *capture->btnClose)) {
          found.push_back("the title runs under the close button");
        }
        seen.insert(name);
        auto& kept = cut[name];
        for (const auto& f : found) {
          if (std::find(kept.begin(), kept.end(), f) == kept.end()) kept.push_back(f);
        }
      }
      const bool onScreen = Ostrel::shared()->naviViewController() != nullptr;
      started = started || onScreen;
      return started && !onScreen;
    }));
    for (const auto& [screen, texts] : cut) {
      EXPECT_TRUE(texts.empty()) << screen << ": " << ::testing::PrintToString(texts);
    }
    advance(1);
    settleNetwork();
  }
  EXPECT_EQ(seen, (std::set<std::string>{"IDCaptureVC", "IDCaptureVC passport",
                                         "ConfirmViewController", "OSLScanNFCVC",
                                         "OSLResultNFCVC", "OSLResulteKYCVC"}));
}

}  // namespace
}  // namespace ostrel
