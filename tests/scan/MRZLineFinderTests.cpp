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

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

// The zone with one character changed, as a misread would give it.
std::string zoneWithCharacterAt(std::string zone, std::size_t place, char c) {
  zone[place] = c;
  return zone;
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

// A frame counts a zone once, however many of its lines returned it: the zone assembled on the
// first frame's last line needs ten more frames.
TEST_F(MRZLineFinderTest, CardZoneIsStableOnTheEleventhFrame) {
  EXPECT_EQ(framesUntilStable(*finder_, tracker_, kTD1Card), 11);
  EXPECT_EQ(tracker_.bestCount(), 10);
  EXPECT_EQ(tracker_.bestString(), joined(kTD1Card));
  const auto formatter = makeMRZDateFormatter();
  const auto result =
      parseMRZ({kTD1Card.begin(), kTD1Card.end()}, true, *formatter, clockInYear(2026));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->documentNumber, "D23145890");
}

TEST_F(MRZLineFinderTest, PassportZoneIsStableOnTheEleventhFrame) {
  EXPECT_EQ(framesUntilStable(*finder_, tracker_, kTD3Passport), 11);
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
      EXPECT_EQ(zone, joined(row.lines));
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
    EXPECT_EQ(zone, joined(card));
  }
  // One row alone is never a zone.
  MRZLineFinder finder;
  for (int i = 0; i < 3; ++i) {
    finder.findMRZLines(card[2]);
    finder.findMRZLines(card[1]);
  }
  EXPECT_EQ(finder.assembledMRZText(), "");
}

// ---------------------------------------------------------------- one vote per frame, fields agreed

// The scanner's vote: zones grouped by what check digits protect.
StringTracker zoneTracker() { return StringTracker(nullptr, mrzCheckedPart); }

TEST(StringTrackerZones, TheCheckedPartBlanksOnlyWhatNoCheckDigitCovers) {
  const std::string card = joined(kTD1Card), passport = joined(kTD3Passport);
  EXPECT_EQ(mrzCheckedPart(card),
            ".....D231458907<<<<<<<<<<<<<<<\n7408122.1204159...<<<<<<<<<<<6\n" + std::string(30, '.'));
  EXPECT_EQ(mrzCheckedPart(passport),
            std::string(44, '.') + "\nL898902C36...7408122.1204159ZE184226B<<<<<10");
  // Names, nationality, sex and the state do not change the key; the number, dates and
  // optional data do, and an "O" in a date is the digit.
  std::string misreadNames = card;
  misreadNames[65] = 'Z';   // E of ERIKSSON
  misreadNames[2] = 'V';    // issuing state
  misreadNames[38] = 'M';   // sex
  EXPECT_EQ(mrzCheckedPart(misreadNames), mrzCheckedPart(card));
  std::string letterO = passport;
  letterO[45 + 15] = 'O';  // 740812: its "0"
  EXPECT_EQ(mrzCheckedPart(letterO), mrzCheckedPart(passport));
  letterO[45 + 19] = 'O';  // the birth date's check digit 2, read as a letter that stands for 0
  EXPECT_NE(mrzCheckedPart(letterO), mrzCheckedPart(passport));
  std::string otherNumber = card;
  otherNumber[5] = 'X';
  EXPECT_NE(mrzCheckedPart(otherNumber), mrzCheckedPart(card));
  EXPECT_EQ(mrzCheckedPart("NOT A ZONE"), "NOT A ZONE");
}

// A number's "O" and "0" are told apart by its check digit, so that frames reading one for the
// other vote for one zone; where the check digit cannot choose, or the number fails it for
// another reason, the text stays as read.
TEST(StringTrackerZones, TheNumbersOAndZeroAreSettledByItsCheckDigit) {
  const std::string card = joined(kTD1Card), passport = joined(kTD3Passport);
  // TD3 numbers: one with a letter O, one with zeros at places weighted 7 and 3, whose
  // changes together (24 x 7 + 24 x 3 = 240) the check digit cannot see.
  auto withNumber = [&](const std::string& number) {
    std::string zone = passport;
    zone.replace(45, 9, number);
    zone[54] = static_cast<char>('0' + *computeCheckDigit(number));
    return zone;
  };
  const std::string letterO = withNumber("AO1234567"), zeros = withNumber("B12003456");
  const auto at = zoneWithCharacterAt;
  const struct {
    std::string read, settled, why;
  } cases[] = {
      {card, card, "read right"},
      {at(card, 13, 'O'), card, "TD1: the number's 0 read as O"},
      {at(passport, 50, 'O'), passport, "TD3: the number's 0 read as O"},
      {letterO, letterO, "a letter O that the check digit confirms"},
      {at(letterO, 46, '0'), letterO, "a letter O read as 0"},
      {at(zeros, 48, 'O'), at(zeros, 48, 'O'), "two choices pass: left as read"},
      {at(at(passport, 50, 'O'), 45, 'X'), at(at(passport, 50, 'O'), 45, 'X'), "another misread: left"},
      {at(at(passport, 50, 'O'), 54, 'O'), at(at(passport, 50, 'O'), 54, 'O'), "no digit to check"},
      {"NOT A ZONE", "NOT A ZONE", "not a zone"},
  };
  for (const auto& c : cases) EXPECT_EQ(mrzNumberSettledByCheckDigit(c.read), c.settled) << c.why;

  // A 6 read as O fails the check digit as well, and turning the 0 two places on into an O makes
  // up a number that passes it (18 + 24 x 3 = 90). Where the frames clearly read that 0, it stays.
  const std::string number = withNumber("NN6401928");
  const std::string sixReadAsO = at(number, 47, 'O');
  EXPECT_EQ(mrzNumberSettledByCheckDigit(sixReadAsO), at(sixReadAsO, 49, 'O'))
      << "unguarded: a made-up number";
  std::string kept(number.size(), ' ');
  kept[49] = 'k';
  EXPECT_EQ(mrzNumberSettledByCheckDigit(sixReadAsO, kept), sixReadAsO);
  EXPECT_EQ(mrzNumberSettledByCheckDigit(at(passport, 50, 'O'), kept), passport)
      << "other places still settle";
  kept[50] = 'k';
  EXPECT_EQ(mrzNumberSettledByCheckDigit(at(passport, 50, 'O'), kept), at(passport, 50, 'O'));
}

// A glyph read among the fillers that end a field is read as a filler when the check digits
// then pass, and only one such choice passes; data before the fillers is never touched. (A, K
// and U weigh a multiple of ten, as the filler weighs nothing: no check digit sees those.)
TEST(StringTrackerZones, GlyphsAmongTrailingFillersAreSettledByTheCheckDigits) {
  const std::string card = joined(kTD1Card), passport = joined(kTD3Passport);
  const std::string longNumber = joined(kTD1LongNumber);
  // A card whose first line holds a second number and its check digit after fillers.
  const std::string dataAfterFillers =
      joined({"IDVNM1920045212001192004521<<3", "9208142F3208140VNM<<<<<<<<<<<4", "NGUYEN<<THI<MAI<ANH<<<<<<<<<<<"});
  const auto at = zoneWithCharacterAt;
  const struct {
    std::string read, settled, why;
  } cases[] = {
      {card, card, "read right"},
      {passport, passport, "TD3 read right"},
      {at(passport, 45 + 39, 'H'), passport, "TD3: a filler of the personal number read as H"},
      {at(at(passport, 45 + 39, 'H'), 45 + 41, 'R'), passport, "TD3: two of them"},
      {at(card, 20, 'W'), card, "TD1: a filler of the first line's optional data"},
      {at(card, 31 + 22, 'R'), card, "TD1: a filler of the second line's optional data"},
      {longNumber, longNumber, "a long number's own fillers and data"},
      {at(dataAfterFillers, 31 + 23, 'R'), dataAfterFillers, "data after fillers kept, the misread filler settled"},
      {at(dataAfterFillers, 31 + 22, 'R'), at(dataAfterFillers, 31 + 22, 'R'), "the data or the filler: left"},
      {at(passport, 45 + 36, 'H'), at(passport, 45 + 36, 'H'), "data right before the fillers: left"},
      {at(at(passport, 45 + 39, 'H'), 45 + 15, '9'), at(at(passport, 45 + 39, 'H'), 45 + 15, '9'),
       "another misread as well: left"},
      {at(at(at(at(passport, 45 + 38, 'H'), 45 + 39, 'W'), 45 + 40, 'R'), 45 + 41, 'H'),
       at(at(at(at(passport, 45 + 38, 'H'), 45 + 39, 'W'), 45 + 40, 'R'), 45 + 41, 'H'), "too many: left"},
      {"NOT A ZONE", "NOT A ZONE", "not a zone"},
  };
  for (const auto& c : cases) EXPECT_EQ(mrzFillersSettledByCheckDigits(c.read), c.settled) << c.why;
}

// Where only letters stand, a digit is read as the letter it looks like before the vote, and
// where only digits stand a letter as the digit, as the parser's correction reads them; the
// number, which may hold both, keeps what was read.
TEST(StringTrackerZones, ZonesAreVotedForAsTheParseReadsThem) {
  const std::string card = joined(kTD1Card), passport = joined(kTD3Passport);
  auto at = [](std::string zone, std::initializer_list<std::pair<std::size_t, char>> changes) {
    for (const auto& [place, c] : changes) zone[place] = c;
    return zone;
  };
  auto asParsed = [](const std::string& zone) {
    return mrzDigitsWhereOnlyDigitsStand(mrzLettersWhereNoDigitStands(zone));
  };
  const struct {
    std::string read, voted, why;
  } cases[] = {
      {card, card, "read right"},
      {at(card, {{4, '0'}, {48, '0'}, {68, '0'}, {64, '1'}}), card, "TD1: state, nationality and name"},
      {at(passport, {{4, '0'}, {11, '0'}, {57, '0'}, {23, '1'}}), passport, "TD3: state, names and nationality"},
      {at(card, {{33, 'O'}, {34, 'B'}, {40, 'Z'}, {43, 'I'}}), card, "TD1: dates"},
      {at(passport, {{50, 'O'}, {60, 'O'}, {62, 'I'}, {64, 'Z'}, {88, 'O'}}), at(passport, {{50, 'O'}}),
       "TD3: the number as read; dates and check digits"},
      {at(card, {{13, 'O'}}), at(card, {{13, 'O'}}), "TD1: the number as read"},
      {"NOT A ZONE 0 O", "NOT A ZONE 0 O", "not a zone"},
  };
  for (const auto& c : cases) EXPECT_EQ(asParsed(c.read), c.voted) << c.why;
}

// Fields without check digits are settled by the frames that voted: misreads in a minority of
// frames never reach the accepted text, and a place where fewer than two thirds of the frames
// agree keeps the zone from being accepted until later frames settle it.
TEST(StringTrackerZones, FieldsWithoutCheckDigitsFollowTheMajorityOfTheVotingFrames) {
  const std::string card = joined(kTD1Card);
  std::string wrongName = card, wrongState = card;
  wrongName[62] = 'Z';  // ERIKSSON read as ZRIKSSON
  wrongState[3] = 'D';

  StringTracker tracker = zoneTracker();
  for (int frame = 0; frame < 11; ++frame) {
    // A wrong name in three frames and a wrong state in two, the right zone in the other six.
    const std::string& read = frame % 4 == 1 ? wrongName : frame % 5 == 3 ? wrongState : card;
    tracker.logFrame({read, read, read});
  }
  EXPECT_EQ(tracker.bestCount(), 10);
  EXPECT_EQ(tracker.bestString(), card);

  StringTracker even = zoneTracker();
  even.logFrame({card});
  even.logFrame({wrongName});
  EXPECT_EQ(even.bestCount(), 0) << "an even split settles nothing";
  EXPECT_EQ(even.bestString(), "");
  ASSERT_EQ(even.seenStrings().size(), 1u);
  EXPECT_EQ(even.seenStrings()[0].second.count, 1);
  even.logFrame({wrongName});
  EXPECT_EQ(even.bestCount(), 0) << "two of three: the majority leads the dissent by one read only";
  even.logFrame({wrongName});
  EXPECT_EQ(even.bestCount(), 0) << "three of four lead by two";
  even.logFrame({wrongName});
  EXPECT_EQ(even.bestCount(), 4) << "four of five lead by three: agreeing frames decide, even when they are wrong";
  EXPECT_EQ(even.bestString(), wrongName);

  // Three of five frames are not enough, nor are four of six (a lead of two); five of seven are.
  std::string otherName = card;
  otherName[62] = 'Q';
  StringTracker split = zoneTracker();
  for (const std::string& read : {card, wrongName, otherName, card, card, card}) split.logFrame({read});
  EXPECT_EQ(split.bestCount(), 0);
  split.logFrame({card});
  EXPECT_EQ(split.bestCount(), 6);
  EXPECT_EQ(split.bestString(), card);

  // A look-alike misread in three of the four frames that read a name's place (the others took
  // the line from earlier frames) is a thin majority: the zone waits for more reads.
  std::string nameNotRead = card;
  for (std::size_t i = 62; i < card.size(); ++i) nameNotRead[i] = StringTracker::kNotRead;
  std::string pForR = card;
  pForR[63] = 'P';  // ERIKSSON read as EPIKSSON
  StringTracker thin = zoneTracker();
  for (int frame = 0; frame < 11; ++frame) {
    thin.logFrame({frame == 0 ? card : frame < 4 ? pForR : nameNotRead});
  }
  EXPECT_EQ(thin.bestCount(), 0) << thin.bestString();
  for (int frame = 0; frame < 4; ++frame) thin.logFrame({card});
  EXPECT_EQ(thin.bestString(), "") << "five against three";
  for (int frame = 0; frame < 2; ++frame) thin.logFrame({card});
  EXPECT_EQ(thin.bestString(), card) << "seven against three";
}

// One frame's misread, however many of its lines return it, is one vote: a frame reading a
// number the check digit cannot tell apart (D and X differ by 20) does not outvote the frames
// that read it right.
TEST(StringTrackerZones, OneFramesMisreadIsOneVote) {
  const std::string card = joined(kTD3Passport);
  std::string misread = card;
  misread[45] = 'X';  // L read as X: a different number
  StringTracker tracker = zoneTracker();
  tracker.logFrame({card});
  tracker.logFrame(std::vector<std::string>(11, misread));
  for (int frame = 0; frame < 9; ++frame) tracker.logFrame({card, card});
  EXPECT_EQ(tracker.bestString(), card);
  EXPECT_EQ(tracker.bestCount(), 9);
  std::vector<std::pair<std::string, StringTracker::Sighting>> seen = tracker.seenStrings();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], (std::pair<std::string, StringTracker::Sighting>{misread, {1, 0}}));

  // Listed more than once in a frame (the finder returns its zone for every later line), a
  // zone's vote is the text listed last, assembled from the most of that frame's lines.
  std::string earlier = card;
  earlier[5] = 'Q';  // the surname as the frame before read it
  StringTracker fresh = zoneTracker();
  for (int frame = 0; frame < 3; ++frame) fresh.logFrame({earlier, card});
  EXPECT_EQ(fresh.bestCount(), 2);
  EXPECT_EQ(fresh.bestString(), card);
}

}  // namespace
}  // namespace ostrel
