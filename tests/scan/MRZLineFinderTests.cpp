#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scan/MRZCode.hpp"
#include "scan/MRZLineFinder.hpp"
#include "scan/MRZResult.hpp"
#include "scan/StringTracker.hpp"
#include "testing/MRZTestData.hpp"

namespace ostrel {
namespace {

using namespace testing;

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

// A frame counts a zone once, however many of its lines returned it: the zone assembled on the
// first frame's last line needs ten more frames.
TEST_F(MRZLineFinderTest, CardZoneIsStableOnTheEleventhFrame) {
  EXPECT_EQ(framesUntilStable(*finder_, tracker_, kTD1Card), 11);
  EXPECT_EQ(tracker_.bestCount(), 10);
  EXPECT_EQ(tracker_.bestString(), zoneText(kTD1Card));
  const auto formatter = makeMRZDateFormatter();
  const auto result =
      parseMRZ({kTD1Card.begin(), kTD1Card.end()}, true, *formatter, clockInYear(2026));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->documentNumber, "D23145890");
}

TEST_F(MRZLineFinderTest, PassportZoneIsStableOnTheEleventhFrame) {
  EXPECT_EQ(framesUntilStable(*finder_, tracker_, kTD3Passport), 11);
  EXPECT_EQ(tracker_.bestCount(), 10);
  EXPECT_EQ(tracker_.bestString(), zoneText(kTD3Passport));
}

TEST_F(MRZLineFinderTest, AssemblesOnTheLastLineOfTheFirstFrame) {
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[0]), std::nullopt);
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[1]), std::nullopt);
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[2]), zoneText(kTD1Card));
  // Every later line, whatever it is, returns the zone.
  EXPECT_EQ(finder_->findMRZLines("REPUBLIC OF UTOPIA"), zoneText(kTD1Card));
  EXPECT_EQ(finder_->findMRZLines(""), zoneText(kTD1Card));
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
    EXPECT_EQ(finder->assembledMRZText(), zoneText(zone));
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
            zoneText({kTD1Card[0].substr(0, 29), kTD1Card[1], kTD1Card[2]}));
}

TEST_F(MRZLineFinderTest, AcceptedZoneIsForgottenByTheTrackerReset) {
  ASSERT_EQ(framesUntilStable(*finder_, tracker_, kTD3Passport), 11);
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
  EXPECT_EQ(finder_->findMRZLines(kTD1Card[1]), zoneText(kTD1Card));
}

// A scanner left without a stable reading keeps the shared finder's zone; the next scanner
// starts by resetting it, so the earlier document's zone can never be voted for.
TEST_F(MRZLineFinderTest, ScannerStartResetsTheSharedFinder) {
  resetMRZLineFinder();
  for (const auto& line : kTD3Passport) findMRZLines(line);
  ASSERT_EQ(assembledMRZText(), zoneText(kTD3Passport));

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
  EXPECT_EQ(findMRZLines(kTD1Card[2]), zoneText(kTD1Card));
  next.reset(zoneText(kTD1Card));  // a tracker's reset empties the shared finder too
  EXPECT_EQ(assembledMRZText(), "");
}

// ---------------------------------------------------------------- tracker

TEST(StringTrackerTest, CountsSightingsAcrossFrames) {
  StringTracker tracker(nullptr);
  for (int frame = 0; frame <= 10; ++frame) tracker.logFrame({"A"});
  EXPECT_EQ(tracker.frameIndex(), 11);
  EXPECT_EQ(tracker.bestCount(), 10);
  EXPECT_EQ(tracker.bestString(), "A");

  tracker.logFrame({"B", "B", "B"});  // a text listed many times in a frame counts once
  EXPECT_EQ(tracker.seenStrings().back(),
            (std::pair<std::string, StringTracker::Sighting>{"B", {11, 0}}));
  tracker.logFrame({"B", "A", "B"});
  EXPECT_EQ(tracker.seenStrings().front(),
            (std::pair<std::string, StringTracker::Sighting>{"A", {12, 11}}));
  EXPECT_EQ(tracker.seenStrings().back(),
            (std::pair<std::string, StringTracker::Sighting>{"B", {12, 1}}));
}

TEST(StringTrackerTest, ForgetsTextsUnseenForMoreThanThirtyFramesWithoutLoweringTheBest) {
  StringTracker tracker(nullptr);
  tracker.logFrame({"A"});  // frame 0
  tracker.logFrame({"A"});  // frame 1
  for (int frame = 2; frame <= 31; ++frame) tracker.logFrame({});
  ASSERT_EQ(tracker.seenStrings().size(), 1u);  // still there after frame 31
  tracker.logFrame({});                         // frame 32: 1 < 32 - 30
  EXPECT_TRUE(tracker.seenStrings().empty());
  EXPECT_EQ(tracker.frameIndex(), 33);
  EXPECT_EQ(tracker.bestCount(), 1);
  EXPECT_EQ(tracker.bestString(), "A");

  tracker.logFrame({"A"});  // back as new
  EXPECT_EQ(tracker.seenStrings().front().second.count, 0);
}

TEST(StringTrackerTest, TiesResolveInTheOrderTextsWereFirstSeen) {
  StringTracker tracker(nullptr);
  tracker.logFrame({"B", "A", "A", "B"});
  tracker.logFrame({"A", "B"});
  EXPECT_EQ(tracker.bestString(), "B");
  tracker.logFrame({"A"});  // A moves ahead
  EXPECT_EQ(tracker.bestString(), "A");
  tracker.logFrame({"B"});  // equal count never replaces the best
  EXPECT_EQ(tracker.bestString(), "A");
  EXPECT_EQ(tracker.bestCount(), 2);

  StringTracker other(nullptr);
  other.logFrame({"A", "B", "B", "A"});
  other.logFrame({"B", "A"});
  EXPECT_EQ(other.bestString(), "A");
}

TEST(StringTrackerTest, ResetForgetsOneTextAndTheBestOnly) {
  auto finder = std::make_shared<MRZLineFinder>();
  for (const auto& line : kTD1Card) finder->findMRZLines(line);
  StringTracker tracker(finder);
  tracker.logFrame({"A", "B"});
  tracker.logFrame({"A"});
  ASSERT_EQ(tracker.bestString(), "A");
  tracker.reset("A");
  EXPECT_EQ(tracker.bestCount(), 0);
  EXPECT_EQ(tracker.bestString(), "");
  EXPECT_EQ(tracker.frameIndex(), 2);
  ASSERT_EQ(tracker.seenStrings().size(), 1u);
  EXPECT_EQ(tracker.seenStrings().front().first, "B");
  EXPECT_EQ(finder->assembledMRZText(), "");
  tracker.reset("unknown");  // nothing to forget: fine

  tracker.logFrame({"A", "B"});
  EXPECT_EQ(tracker.bestString(), "B");  // B: 2, A starts again at 0
  EXPECT_EQ(tracker.seenStrings().back(),
            (std::pair<std::string, StringTracker::Sighting>{"A", {2, 0}}));
}


// ---------------------------------------------------------------- valid zones of every shape

MRZFields cardFieldsForFinder() {
  MRZFields fields;
  fields.documentCode = "I<";
  fields.issuingState = fields.nationality = "UTO";
  fields.documentNumber = "D23145890";
  fields.birth = "740812";
  fields.sex = 'F';
  fields.expiry = "120415";
  fields.names = "ERIKSSON<<ANNA<MARIA";
  return fields;
}

// The zones ICAO 9303 allows beyond the common shape are assembled; lines that only look like
// a zone are still refused. The parser's check digits decide afterwards.
TEST(MRZLineFinderShapes, WidenedZonesAreAssembledAndNonZonesRefused) {
  struct Row {
    const char* name;
    std::vector<std::string> lines;
    bool assembled;
  };
  auto with = [](auto change, bool td1) {
    MRZFields fields = cardFieldsForFinder();
    if (!td1) fields.documentCode = "P<";
    change(fields);
    return td1 ? td1Zone(fields) : td3Zone(fields);
  };
  auto sexX = [](MRZFields& f) { f.sex = 'X'; };
  auto sexQ = [](MRZFields& f) { f.sex = 'Q'; };
  auto onePart = [](MRZFields& f) { f.names = "SUKARNO"; };
  auto onePartTwoWords = [](MRZFields& f) { f.names = "WIN<MYINT"; };
  auto filling = [](MRZFields& f) { f.names = "WOLFESCHLEGELSTEIN<<JOHANNES<MAXIMILIAN<ALEXANDER"; };
  // Names one short of the field: a single filler ends the line.
  auto oneFillerLeft = [](MRZFields& f, bool td1) {
    f.names = td1 ? "OSULLIVAN<<GIUSEPPE<ALEJANDRO" : "WOLFESCHLEGELSTEIN<<JOHANNA<MAXIMILIAN";
  };
  auto digitInName = [](MRZFields& f) { f.names = "ERIKSSON<<ANNA5<MARIA"; };
  auto noName = [](MRZFields& f) { f.names = ""; };
  auto shortNumber = [](MRZFields& f) { f.documentNumber = "AB1234"; };
  std::vector<std::string> td3BirthWithO = with([](MRZFields&) {}, false);
  td3BirthWithO[1][15] = 'O';  // 740812: the "0" read as the letter
  std::vector<std::string> td3BirthWithA = td3BirthWithO;
  td3BirthWithA[1][15] = 'A';
  // A visa whose issuing state holds a P: its first line holds "P" and a name after it.
  std::vector<std::string> visaFromPoland = with([](MRZFields& f) { f.issuingState = "POL"; }, false);
  visaFromPoland[0][0] = 'V';
  std::vector<std::string> td1OtherPrint = with([](MRZFields&) {}, true);
  td1OtherPrint[2] = "REPUBLIC<OF<UTOPIA<IDENTITY<CA";
  // The card's edge beside the last filler, read as a B.
  std::vector<std::string> td1EdgeAfterName = with([](MRZFields&) {}, true);
  td1EdgeAfterName[2].back() = 'B';
  std::vector<std::string> td3EdgeAfterName = with([](MRZFields&) {}, false);
  td3EdgeAfterName[0].back() = 'B';
  ASSERT_EQ(td1EdgeAfterName[2].substr(27, 2), "<<");
  ASSERT_EQ(td3EdgeAfterName[0].substr(41, 2), "<<");
  std::vector<std::string> td3FilledLastLetter = with(filling, false);
  ASSERT_NE(td3FilledLastLetter[0].back(), '<');
  ASSERT_NE(with(filling, true)[2].back(), '<');
  const std::vector<std::string> td1OneFiller = with([&](MRZFields& f) { oneFillerLeft(f, true); }, true);
  const std::vector<std::string> td3OneFiller = with([&](MRZFields& f) { oneFillerLeft(f, false); }, false);
  ASSERT_EQ(td1OneFiller[2].substr(28), "O<");
  ASSERT_EQ(td3OneFiller[0].substr(42), "N<");

  const Row rows[] = {
      {"TD1 plain", with([](MRZFields&) {}, true), true},
      {"TD3 plain", with([](MRZFields&) {}, false), true},
      {"TD1 sex X", with(sexX, true), true},
      {"TD3 sex X", with(sexX, false), true},
      {"TD1 one-part name", with(onePart, true), true},
      {"TD3 one-part name", with(onePart, false), true},
      {"TD1 one-part name of two words", with(onePartTwoWords, true), true},
      {"TD3 one-part name of two words", with(onePartTwoWords, false), true},
      {"TD1 name filling the field", with(filling, true), true},
      {"TD3 name filling the field", td3FilledLastLetter, true},
      {"TD1 name with one filler after it", td1OneFiller, true},
      {"TD3 name with one filler after it", td3OneFiller, true},
      {"TD3 birth date read with O", td3BirthWithO, true},
      {"TD1 short number and fillers", with(shortNumber, true), true},
      {"TD3 short number and fillers", with(shortNumber, false), true},
      {"TD1 sex Q", with(sexQ, true), false},
      {"TD3 sex Q", with(sexQ, false), false},
      {"TD1 digit in the name", with(digitInName, true), false},
      {"TD3 digit in the name", with(digitInName, false), false},
      {"TD1 no name at all", with(noName, true), false},
      {"TD3 no name at all", with(noName, false), false},
      {"TD3 birth date with a letter", td3BirthWithA, false},
      {"TD1 a glyph after the name's fillers", td1EdgeAfterName, false},
      {"TD3 a glyph after the name's fillers", td3EdgeAfterName, false},
      {"TD1 other print as the last line", td1OtherPrint, false},
      {"TD2 card", kTD2Card, false},
      {"TD3 visa", kTD3Visa, false},
      {"TD3 visa of a state with a P", visaFromPoland, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    MRZLineFinder finder;
    std::optional<std::string> zone;
    for (const auto& line : row.lines) zone = finder.findMRZLines(line);
    if (row.assembled) {
      EXPECT_EQ(zone, zoneText(row.lines));
    } else {
      EXPECT_EQ(zone, std::nullopt);
      EXPECT_EQ(finder.assembledMRZText(), "");
    }
  }
}

// Some rows fill two slots: a name line with an I, C or A and later an O also fits a card's first
// line, and a first line whose optional data ends in letters and fillers also fits a name line.
// Read top to bottom, such a row displaces the real line from the other slot; the zone is still
// assembled from three rows, whether the last frame read all of them or not.
TEST(MRZLineFinderShapes, ARowThatFitsTwoSlotsIsOneLineOfTheZone) {
  MRZFields fields = cardFieldsForFinder();
  fields.names = "NGUYENTHANHPHUONGH<<MARIA<ALEX";
  fields.optionalData = "ABC";
  const std::vector<std::string> card = td1Zone(fields);
  {
    MRZLineFinder probe;
    probe.findMRZLines(card[2]);
    ASSERT_EQ(probe.mrzCandidateLine1(), card[2]) << "the name line must fit the first line's pattern";
    probe.reset();
    probe.findMRZLines(card[0]);
    ASSERT_EQ(probe.mrzCandidateLine3(), card[0]) << "the first line must fit the name line's pattern";
  }
  const struct {
    const char* name;
    std::vector<std::vector<std::string>> frames;
  } cases[] = {
      {"one frame read whole", {card}},
      {"frames read whole", {card, card, card}},
      {"a later frame without its name line", {card, {card[0], card[1]}}},
      {"a later frame without its first line", {card, {card[1], card[2]}}},
      {"a later frame with other print below", {card, {card[0], card[1], "<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MRZLineFinder finder;
    std::optional<std::string> zone;
    for (const auto& frame : c.frames) {
      for (const auto& line : frame) zone = finder.findMRZLines(line);
    }
    EXPECT_EQ(zone, zoneText(card));
  }
  // One row alone is never a zone.
  MRZLineFinder finder;
  for (int i = 0; i < 3; ++i) {
    finder.findMRZLines(card[2]);
    finder.findMRZLines(card[1]);
  }
  EXPECT_EQ(finder.assembledMRZText(), "");
}

}  // namespace
}  // namespace ostrel
