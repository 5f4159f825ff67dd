#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scan/MRZLineFinder.hpp"
#include "scan/MRZResult.hpp"
#include "scan/StringTracker.hpp"
#include "testing/MRZTestData.hpp"

namespace ostrel {
namespace {

using namespace testing;

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

// What the scanner screen does with one frame's recognised lines: every line goes through the
// finder, and the zones it returns are that frame's vote.
void scanFrame(MRZLineFinder& finder, StringTracker& tracker,
               const std::vector<std::string>& recognised) {
  std::vector<std::string> found;
  for (const auto& line : recognised) {
    if (auto zone = finder.findMRZLines(line)) found.push_back(*zone);
  }
  tracker.logFrame(found);
}

// Frames needed until the tracker holds a text seen often enough to trust (count 10), or 0.
int framesUntilStable(MRZLineFinder& finder, StringTracker& tracker,
                      const std::vector<std::string>& recognised, int maxFrames = 40) {
  for (int frame = 1; frame <= maxFrames; ++frame) {
    scanFrame(finder, tracker, recognised);
    if (tracker.bestCount() >= 10) return frame;
  }
  return 0;
}

class MRZLineFinderTest : public ::testing::Test {
 protected:
  std::shared_ptr<MRZLineFinder> finder_ = std::make_shared<MRZLineFinder>();
  StringTracker tracker_{finder_};
};

TEST_F(MRZLineFinderTest, CardZoneIsStableOnTheFifthFrame) {
  EXPECT_EQ(framesUntilStable(*finder_, tracker_, kTD1Card), 5);
  EXPECT_EQ(tracker_.bestCount(), 12);
  EXPECT_EQ(tracker_.bestString(), joined(kTD1Card));
  const auto formatter = makeMRZDateFormatter();
  const auto result =
      parseMRZ({kTD1Card.begin(), kTD1Card.end()}, true, *formatter, clockInYear(2026));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->documentNumber, "D23145890");
}

TEST_F(MRZLineFinderTest, PassportZoneIsStableOnTheSixthFrame) {
  EXPECT_EQ(framesUntilStable(*finder_, tracker_, kTD3Passport), 6);
  EXPECT_EQ(tracker_.bestCount(), 10);
  EXPECT_EQ(tracker_.bestString(), joined(kTD3Passport));
}

TEST_F(MRZLineFinderTest, AssemblesOnTheLastLineOfTheFirstFrame) {
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[0]), std::nullopt);
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[1]), std::nullopt);
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[2]), joined(kTD1Card));
  // Every later line, whatever it is, returns the zone.
  EXPECT_EQ(finder_->findMRZLines("REPUBLIC OF UTOPIA"), joined(kTD1Card));
  EXPECT_EQ(finder_->findMRZLines(""), joined(kTD1Card));
}

TEST_F(MRZLineFinderTest, TwoLineCardsAndVisasAreNeverAssembled) {
  for (const auto& zone : {kTD2Card, kTD3Visa, kTD2Visa}) {
    SCOPED_TRACE(zone.front());
    auto finder = std::make_shared<MRZLineFinder>();
    StringTracker tracker(finder);
    EXPECT_EQ(framesUntilStable(*finder, tracker, zone), 0) << zone[0];
    EXPECT_EQ(finder->assembledMRZText(), "");
    EXPECT_EQ(tracker.bestString(), "");
    EXPECT_EQ(finder->mrzCandidateLine1(), "");
  }
}

TEST_F(MRZLineFinderTest, SpecimenLinesFillTheirSlots) {
  for (const auto& zone : {kTD3Passport, kTD3PassportEarlier, kTD1Card, kTD1LongNumber}) {
    SCOPED_TRACE(zone.front());
    auto finder = std::make_shared<MRZLineFinder>();
    for (const auto& line : zone) finder->findMRZLines(line);
    EXPECT_EQ(finder->mrzCandidateLine1(), zone[0]);
    EXPECT_EQ(finder->mrzCandidateLine2(), zone[1]);
    EXPECT_EQ(finder->mrzCandidateLine3(), zone.size() == 3 ? zone[2] : "");
    EXPECT_EQ(finder->assembledMRZText(), joined(zone));
  }
  // The long-number card is found, but the parser has the last word.
  const auto formatter = makeMRZDateFormatter();
  EXPECT_FALSE(parseMRZ(kTD1LongNumber, true, *formatter, clockInYear(2026)));
}

TEST_F(MRZLineFinderTest, LinesOfTheWrongLengthNeverFillASlot) {
  finder_->findMRZLines(kTD1Card[0] + "<");
  finder_->findMRZLines("<" + kTD3Passport[1]);
  finder_->findMRZLines(kTD1Card[2].substr(1));
  EXPECT_EQ(finder_->mrzCandidateLine1(), "");
  EXPECT_EQ(finder_->mrzCandidateLine2(), "");
  EXPECT_EQ(finder_->mrzCandidateLine3(), "");
}

TEST_F(MRZLineFinderTest, PassportLineOneTakesTheSharedSlot) {
  finder_->findMRZLines(kTD1Card[0]);
  finder_->findMRZLines(kTD3Passport[0]);
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[1]), std::nullopt);
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[2]), std::nullopt);
  EXPECT_EQ(finder_->mrzCandidateLine1(), kTD3Passport[0]);
}

TEST_F(MRZLineFinderTest, CharactersOutsideTheZoneSetAreDroppedWhenJoining) {
  std::vector<std::string> lines = kTD1Card;
  lines[0].back() = 'a';
  for (const auto& line : lines) finder_->findMRZLines(line);
  EXPECT_EQ(finder_->mrzCandidateLine1(), lines[0]);
  EXPECT_EQ(finder_->mrzJoinedCandidate(),
            joined({kTD1Card[0].substr(0, 29), kTD1Card[1], kTD1Card[2]}));
}

TEST_F(MRZLineFinderTest, AcceptedZoneIsForgottenByTheTrackerReset) {
  ASSERT_EQ(framesUntilStable(*finder_, tracker_, kTD3Passport), 6);
  const std::string accepted = tracker_.bestString();
  tracker_.reset(accepted);
  EXPECT_EQ(finder_->assembledMRZText(), "");
  EXPECT_EQ(finder_->mrzCandidateLine1(), "");
  EXPECT_EQ(finder_->mrzJoinedCandidate(), "");
  EXPECT_EQ(tracker_.bestCount(), 0);
  EXPECT_EQ(tracker_.bestString(), "");

  // The next document: nothing until its own set is complete, then only its zone.
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[0]), std::nullopt);
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[1]), std::nullopt);
  EXPECT_EQ(finder_->findMRZLines(kTD3Passport[1]), std::nullopt);
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[2]), std::nullopt);  // slot 2 now holds a 44
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[1]), joined(kTD1Card));
}

// A scanner left without a stable reading keeps the shared finder's zone; the next scanner
// starts by resetting it, so the earlier document's zone can never be voted for.
TEST_F(MRZLineFinderTest, ScannerStartResetsTheSharedFinder) {
  resetMRZLineFinder();
  for (const auto& line : kTD3Passport) findMRZLines(line);
  ASSERT_EQ(assembledMRZText(), joined(kTD3Passport));

  resetMRZLineFinder();  // the next scanner starts
  StringTracker next;
  std::vector<std::string> seen;
  for (int frame = 0; frame < 3; ++frame) {
    for (const auto& line : {kTD1Card[0], kTD1Card[1], std::string("UTOPIA")}) {
      SCOPED_TRACE(line);
      if (auto zone = findMRZLines(line)) seen.push_back(*zone);
    }
  }
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(assembledMRZText(), "");
  EXPECT_EQ(findMRZLines(kTD1Card[2]), joined(kTD1Card));
  next.reset(joined(kTD1Card));  // a tracker's reset empties the shared finder too
  EXPECT_EQ(assembledMRZText(), "");
}

// ---------------------------------------------------------------- tracker

TEST(StringTrackerTest, CountsSightingsAcrossFrames) {
  StringTracker tracker(nullptr);
  for (int frame = 0; frame <= 10; ++frame) tracker.logFrame({"A"});
  EXPECT_EQ(tracker.frameIndex(), 11);
  EXPECT_EQ(tracker.bestCount(), 10);
  EXPECT_EQ(tracker.bestString(), "A");

  tracker.logFrame({"B", "B", "B"});  // a text listed twice in a frame counts twice
  EXPECT_EQ(tracker.seenStrings().back(),
            (std::pair<std::string, StringTracker::Sighting>{"B", {11, 2}}));
}

TEST(StringTrackerTest, ForgetsTextsUnseenForMoreThanThirtyFramesWithoutLoweringTheBest) {
  StringTracker tracker(nullptr);
  tracker.logFrame({"A", "A"});  // frame 0
  for (int frame = 1; frame <= 30; ++frame) tracker.logFrame({});
  ASSERT_EQ(tracker.seenStrings().size(), 1u);  // still there after frame 30
  tracker.logFrame({});                         // frame 31: 0 < 31 - 30
  EXPECT_TRUE(tracker.seenStrings().empty());
  EXPECT_EQ(tracker.frameIndex(), 32);
  EXPECT_EQ(tracker.bestCount(), 1);
  EXPECT_EQ(tracker.bestString(), "A");

  tracker.logFrame({"A"});  // back as new
  EXPECT_EQ(tracker.seenStrings().front().second.count, 0);
}

TEST(StringTrackerTest, TiesResolveInTheOrderTextsWereFirstSeen) {
  StringTracker tracker(nullptr);
  tracker.logFrame({"B", "A", "A", "B"});
  EXPECT_EQ(tracker.bestString(), "B");
  tracker.logFrame({"A"});  // A moves ahead
  EXPECT_EQ(tracker.bestString(), "A");
  tracker.logFrame({"B"});  // equal count never replaces the best
  EXPECT_EQ(tracker.bestString(), "A");
  EXPECT_EQ(tracker.bestCount(), 2);

  StringTracker other(nullptr);
  other.logFrame({"A", "B", "B", "A"});
  EXPECT_EQ(other.bestString(), "A");
}

TEST(StringTrackerTest, ResetForgetsOneTextAndTheBestOnly) {
  auto finder = std::make_shared<MRZLineFinder>();
  for (const auto& line : kTD1Card) finder->findMRZLines(line);
  StringTracker tracker(finder);
  tracker.logFrame({"A", "A", "A", "B", "B"});
  tracker.reset("A");
  EXPECT_EQ(tracker.bestCount(), 0);
  EXPECT_EQ(tracker.bestString(), "");
  EXPECT_EQ(tracker.frameIndex(), 1);
  ASSERT_EQ(tracker.seenStrings().size(), 1u);
  EXPECT_EQ(tracker.seenStrings().front().first, "B");
  EXPECT_EQ(finder->assembledMRZText(), "");
  tracker.reset("unknown");  // nothing to forget: fine

  tracker.logFrame({"A", "B"});
  EXPECT_EQ(tracker.bestString(), "B");  // B: 2, A starts again at 0
  EXPECT_EQ(tracker.seenStrings().back(),
            (std::pair<std::string, StringTracker::Sighting>{"A", {1, 0}}));
}

}  // namespace
}  // namespace ostrel
