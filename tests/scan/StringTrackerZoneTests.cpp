// The scanner's vote over frames for whole zones: zones grouped by what check digits protect,
// the number's "O" and "0" and glyphs among fillers settled by the check digits, zones voted for
// as the parse reads them, and the fields no check digit covers agreed by the voting frames.

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scan/MRZCode.hpp"
#include "scan/StringTracker.hpp"
#include "testing/MRZTestData.hpp"

namespace ostrel {
namespace {

using namespace testing;

// The scanner's vote: zones grouped by what check digits protect, as far as they tell it apart.
StringTracker zoneTracker() { return StringTracker(nullptr, mrzVoteKey); }

TEST(StringTrackerZones, TheCheckedPartBlanksOnlyWhatNoCheckDigitCovers) {
  const std::string card = zoneText(kTD1Card), passport = zoneText(kTD3Passport);
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
  const std::string card = zoneText(kTD1Card), passport = zoneText(kTD3Passport);
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
  const std::string card = zoneText(kTD1Card), passport = zoneText(kTD3Passport);
  const std::string longNumber = zoneText(kTD1LongNumber);
  // A card whose first line holds a second number and its check digit after fillers.
  const std::string dataAfterFillers =
      zoneText({"IDVNM1920045212001192004521<<3", "9208142F3208140VNM<<<<<<<<<<<4", "NGUYEN<<THI<MAI<ANH<<<<<<<<<<<"});
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
  const std::string card = zoneText(kTD1Card), passport = zoneText(kTD3Passport);
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
// frames never reach the accepted text, and a place where fewer than five sixths of the frames
// agree keeps the zone from being accepted until later frames settle it.
TEST(StringTrackerZones, FieldsWithoutCheckDigitsFollowTheMajorityOfTheVotingFrames) {
  const std::string card = zoneText(kTD1Card);
  std::string wrongName = card, wrongState = card;
  wrongName[62] = 'Z';  // ERIKSSON read as ZRIKSSON
  wrongState[3] = 'D';

  StringTracker tracker = zoneTracker();
  for (int frame = 0; frame < 13; ++frame) {
    // A wrong name in three frames and a wrong state in two, the right zone in the other eight.
    const std::string& read = frame % 4 == 1 ? wrongName : frame % 5 == 3 ? wrongState : card;
    tracker.logFrame({read, read, read});
    // Nine frames in, two of them misread the name: more than a sixth, so nothing is settled.
    if (frame == 8) {
      EXPECT_EQ(tracker.bestCount(), 0) << "seven of nine read the name";
    }
  }
  EXPECT_EQ(tracker.bestCount(), 0) << "ten of thirteen read the name";
  for (int frame = 0; frame < 4; ++frame) tracker.logFrame({card});
  EXPECT_EQ(tracker.bestCount(), 0) << "fourteen of seventeen";
  tracker.logFrame({card});
  EXPECT_EQ(tracker.bestCount(), 17) << "fifteen of eighteen";
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
  EXPECT_EQ(even.bestCount(), 0) << "four of five lead by three, but are under five sixths";
  even.logFrame({wrongName});
  EXPECT_EQ(even.bestCount(), 5) << "five of six: agreeing frames decide, even when they are wrong";
  EXPECT_EQ(even.bestString(), wrongName);

  // Three of five frames are not enough, nor are six of eight or nine of eleven (under five
  // sixths); ten of twelve are.
  std::string otherName = card;
  otherName[62] = 'Q';
  StringTracker split = zoneTracker();
  for (const std::string& read : {card, wrongName, otherName, card, card, card, card, card}) split.logFrame({read});
  EXPECT_EQ(split.bestCount(), 0);
  for (int frame = 0; frame < 3; ++frame) split.logFrame({card});
  EXPECT_EQ(split.bestCount(), 0);
  split.logFrame({card});
  EXPECT_EQ(split.bestCount(), 11);
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
  EXPECT_EQ(thin.bestString(), "") << "seven against three";
  for (int frame = 0; frame < 2; ++frame) thin.logFrame({card});
  EXPECT_EQ(thin.bestString(), "") << "nine against three";
  for (int frame = 0; frame < 5; ++frame) thin.logFrame({card});
  EXPECT_EQ(thin.bestString(), "") << "fourteen against three";
  thin.logFrame({card});
  EXPECT_EQ(thin.bestString(), card) << "fifteen against three";
}

// Frames that took the name line from an earlier frame did not see the name: three agreeing
// reads settle it however many such frames there are, two do not. Frames that read the line
// but could not read the name (glare hid it) saw it: then a third of them must read it.
TEST(StringTrackerZones, APlaceIsWeighedAgainstTheFramesThatSawIt) {
  const std::string card = zoneText(kTD1Card);
  const struct {
    int reads;
    char others;
    bool settles;
  } cases[] = {{3, StringTracker::kNotRead, true},
               {2, StringTracker::kNotRead, false},
               {3, StringTracker::kHidden, false},
               {4, StringTracker::kHidden, true}};
  for (const auto& [reads, others, settles] : cases) {
    std::string notRead = card;
    for (std::size_t i = 62; i < card.size(); ++i) notRead[i] = others;
    StringTracker tracker = zoneTracker();
    for (int frame = 0; frame < 12; ++frame) tracker.logFrame({frame < 12 - reads ? notRead : card});
    EXPECT_EQ(tracker.bestCount(), settles ? 11 : 0) << reads << " reads, others " << int(others);
    if (settles) {
      EXPECT_EQ(tracker.bestString(), card);
    }
  }
}

// A frame that read a place as a guess read it, but agrees with no one: three guesses in twelve
// frames keep a name from settling, where three frames that did not read it at all leave it to
// the other nine; and guesses alone settle nothing, even guesses of one character. A guess of the
// character the sure reads agree on is no dissent; a guess of another one is.
TEST(StringTrackerZones, AGuessCountsAgainstTheFramesThatAgree) {
  const std::string card = zoneText(kTD1Card);
  ASSERT_EQ(card[62], 'E');
  for (const char guess : {StringTracker::kUnsure, StringTracker::guess('E')}) {
    std::string guessed = card;
    guessed[62] = guess;
    StringTracker onlyGuesses = zoneTracker();
    for (int frame = 0; frame < 12; ++frame) onlyGuesses.logFrame({guessed});
    EXPECT_EQ(onlyGuesses.bestCount(), 0) << "twelve guesses";
  }
  const struct {
    char other;
    bool settles;
  } cases[] = {{StringTracker::kUnsure, false},
               {StringTracker::guess('F'), false},
               {StringTracker::guess('3'), false},
               {StringTracker::kNotRead, true},
               {StringTracker::guess('E'), true}};
  for (const auto& [other, settles] : cases) {
    std::string withOther = card;
    withOther[62] = other;
    StringTracker tracker = zoneTracker();
    for (int frame = 0; frame < 12; ++frame) tracker.logFrame({frame % 4 == 0 ? withOther : card});
    if (!settles) {
      EXPECT_EQ(tracker.bestCount(), 0) << "nine of twelve, against " << int(static_cast<unsigned char>(other));
    } else {
      EXPECT_EQ(tracker.bestCount(), 11) << "nine of nine";
      EXPECT_EQ(tracker.bestString(), card);
    }
  }
}

// A document number's look-alikes that its check digit cannot tell apart (D and X differ by 20,
// C and 2 by 10) are one key: frames split between them settle nothing, where before each
// reading was counted apart and the one seen in ten frames first was accepted, right or wrong.
TEST(StringTrackerZones, NumberLookAlikesTheCheckDigitCannotSeeAreVotedOnTogether) {
  const std::string card = zoneText(kTD1Card), passport = zoneText(kTD3Passport);
  std::string xForD = card, eForD = card;
  xForD[5] = 'X';
  eForD[5] = 'E';
  EXPECT_EQ(mrzVoteKey(xForD), mrzVoteKey(card));
  EXPECT_NE(mrzVoteKey(eForD), mrzVoteKey(card)) << "a misread the check digit sees is another zone";
  std::string twoForC = passport;
  twoForC[45 + 7] = '2';  // L898902C3: C and 2 differ by 10
  EXPECT_EQ(mrzVoteKey(twoForC), mrzVoteKey(passport));
  EXPECT_EQ(mrzVoteKey("NOT A ZONE"), "NOT A ZONE");

  StringTracker tracker = zoneTracker();
  for (int frame = 0; frame < 20; ++frame) tracker.logFrame({frame % 2 ? xForD : card});
  EXPECT_EQ(tracker.bestCount(), 0) << "ten frames each way settle nothing: " << tracker.bestString();
  for (int frame = 0; frame < 10; ++frame) tracker.logFrame({xForD});
  EXPECT_EQ(tracker.bestString(), "") << "fifteen against fifteen";
  // Of the last thirty frames, 24 against 6 is under five sixths; 25 against 5 is not.
  for (int frame = 0; frame < 24; ++frame) tracker.logFrame({card});
  EXPECT_EQ(tracker.bestString(), "");
  tracker.logFrame({card});
  EXPECT_EQ(tracker.bestString(), card);
}

// One frame's misread, however many of its lines return it, is one vote: a frame reading a
// number the check digit cannot tell apart (D and X differ by 20) does not outvote the frames
// that read it right.
TEST(StringTrackerZones, OneFramesMisreadIsOneVote) {
  const std::string card = zoneText(kTD3Passport);
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
