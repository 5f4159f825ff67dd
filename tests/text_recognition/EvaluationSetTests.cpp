// The zone reader against its targets, on the generated evaluation set: fed frame by frame
// through the MRZ scanner screen's own frame step, at least 95 % of the sequences reach a
// stable zone that parses within 30 frames, and no sequence ever completes with a zone other
// than the one printed (document number and both dates; names carry no check digit).

#include <algorithm>
#include <memory>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "platform/vision/MRZLineRecognizer.hpp"
#include "testing/MRZEvaluation.hpp"
#include "testing/RuntimeFixture.hpp"
#include "testing/SamplePerson.hpp"
#include "testing/MRZTestData.hpp"

namespace ostrel::testing {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizerBuild = true;
#else
constexpr bool kSanitizerBuild = false;
#endif

constexpr int kFrameLimit = 30;

class ZoneReaderEvaluationTest : public RuntimeTest {
 protected:
  void SetUp() override {
    platform::TextRecognizerBackend::install(std::make_shared<platform::MRZLineRecognizer>());
  }
};

// The set is read in two halves, each held to the target on its own, so that neither runs near
// the test time limit on a busy machine.
class ZoneReaderEvaluationHalf : public ZoneReaderEvaluationTest, public ::testing::WithParamInterface<int> {};

TEST_P(ZoneReaderEvaluationHalf, ReadsNinetyFivePercentWithinThirtyFramesAndNeverAWrongZone) {
  // The sanitizer build runs a fixed spread of 20 sequences, TD1 and TD3 alike.
  const int count = kSanitizerBuild ? 20 : 200;
  std::vector<int> indices;
  for (int i = GetParam() * count / 2; i < (GetParam() + 1) * count / 2; ++i) {
    indices.push_back(kSanitizerBuild ? i * 10 + i % 2 : i);
  }

  int correct = 0;
  std::vector<int> framesToZone;
  std::ostringstream missed;
  for (int index : indices) {
    const MRZEvaluationZone zone = evaluationZone(index);
    const MRZScanRun run = scanThroughTheScanner(evaluationSequence(index), kFrameLimit);
    if (run.zoneText) {
      EXPECT_TRUE(run.matches(zone)) << "sequence " << index << " completed with a wrong zone:\n"
                                     << *run.zoneText;
    }
    if (run.matches(zone)) {
      ++correct;
      framesToZone.push_back(run.framesRead);
    } else {
      missed << ' ' << index;
    }
  }
  const auto total = static_cast<int>(indices.size());
  EXPECT_GE(correct * 100, 95 * total) << correct << " of " << total << " read; missed:" << missed.str();
  if (!framesToZone.empty()) {
    std::nth_element(framesToZone.begin(), framesToZone.begin() + std::ptrdiff_t(framesToZone.size() / 2),
                     framesToZone.end());
    RecordProperty("correct", correct);
    RecordProperty("sequences", total);
    RecordProperty("median_frames", framesToZone[framesToZone.size() / 2]);
  }
}

INSTANTIATE_TEST_SUITE_P(Halves, ZoneReaderEvaluationHalf, ::testing::Values(0, 1));

// The sample person's card and passport and the standard's specimens, printed clean and badly.
TEST_F(ZoneReaderEvaluationTest, SampleAndSpecimenZonesCompleteWithTheirNumberAndDates) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    MRZPictureStyle style;
    std::string number, birth, expiry;
  };
  MRZPictureStyle clean;
  clean.characterHeight = 26;
  clean.jpegQuality = 90;
  MRZPictureStyle rough;
  rough.characterHeight = 19;
  rough.rotationDegrees = -4.5;
  rough.blurSigma = 1.4;
  rough.noiseSigma = 7;
  rough.unevenLight = 1;
  rough.jpegQuality = 60;
  rough.seed = 77;
  const MRZFields card = samplePerson().cardFields();
  const MRZFields passport = samplePerson().passportFields();
  const std::vector<Case> cases = {
      {"sample card, clean", samplePerson().td1Zone(), clean, mrzField(card.documentNumber, 9), card.birth, card.expiry},
      {"sample card, rough", samplePerson().td1Zone(), rough, mrzField(card.documentNumber, 9), card.birth, card.expiry},
      {"sample passport, clean", samplePerson().td3Zone(), clean, mrzField(passport.documentNumber, 9), passport.birth,
       passport.expiry},
      {"sample passport, rough", samplePerson().td3Zone(), rough, mrzField(passport.documentNumber, 9), passport.birth,
       passport.expiry},
      {"specimen card", kTD1Card, rough, "D23145890", "740812", "120415"},
      {"specimen passport", kTD3Passport, rough, "L898902C3", "740812", "120415"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MRZScanRun run = scanThroughTheScanner(MRZFrameSequence(c.lines, c.style), kFrameLimit);
    ASSERT_TRUE(run.zoneText);
    EXPECT_EQ(run.documentNumber, c.number);
    EXPECT_EQ(run.birth, c.birth);
    EXPECT_EQ(run.expiry, c.expiry);
  }
}

}  // namespace
}  // namespace ostrel::testing
