// The per-frame zone reader on its own, with the scripted recogniser: how many frames a zone must
// be read in, lines read in part or with the card's marks glued on, fillers hidden by glare, and
// the vote over the frames' misreads, guesses and letter reads.

#include <functional>

#include "scanner/MRZFrameScanner.hpp"
#include "testing/MRZEvaluation.hpp"
#include "testing/MRZTestData.hpp"
#include "testing/SamplePerson.hpp"
#include "tests/mrz_scanner/ScannerTestSupport.hpp"

namespace ostrel::scanner_test {
namespace {

using testing::samplePerson;
using testing::zoneText;

// A zone, what the recogniser reads of it in every frame, and whether the scanner takes that.
struct ReadCase {
  const char* what;
  std::vector<std::string> zone, read;
  bool taken;
};

// `zone` with line `line` washed out by glare over [from, to).
std::vector<std::string> hidden(std::vector<std::string> zone, std::size_t line, std::size_t from, std::size_t to) {
  zone[line] = testing::washedOut(zone[line], from, to);
  return zone;
}

class MRZFrameScannerTest : public ScannerTest {
 protected:
  // Each case read the same in up to thirty frames, by a fresh scanner: a zone taken is handed
  // back whole at the eleventh frame, one not taken never.
  void expectTaken(const std::vector<ReadCase>& cases) {
    const auto buffer = cardBuffer();
    for (const ReadCase& c : cases) {
      MRZFrameScanner scanner(testing::portraitRegionOfInterest());
      int completedAt = 0;
      for (int frame = 1; frame <= 30 && !completedAt; ++frame) {
        recognizer->queueLines(linesOf(c.read));
        if (const auto text = scanner.push(buffer, 6)) {
          EXPECT_EQ(*text, zoneText(c.zone)) << c.what;
          completedAt = frame;
        }
      }
      EXPECT_EQ(completedAt, c.taken ? 11 : 0) << c.what;
    }
  }

  // The frames from `first` to `last` at which `scanner` hands back `zone`, each frame reading
  // what `read` gives for it.
  std::vector<int> framesTaking(MRZFrameScanner& scanner, const std::vector<std::string>& zone, int first,
                                int last, const std::function<std::vector<std::string>(int)>& read) {
    const auto buffer = cardBuffer();
    std::vector<int> taken;
    for (int frame = first; frame <= last; ++frame) {
      recognizer->queueLines(linesOf(read(frame)));
      if (const auto text = scanner.push(buffer, 6)) {
        EXPECT_EQ(*text, zoneText(zone)) << frame;
        taken.push_back(frame);
      }
    }
    return taken;
  }
};

// The per-frame reader on its own, as a benchmark or a host's evaluation drives it: nothing
// until the eleventh frame that read the zone, then the zone once and a fresh start; a frame
// whose misread name is a minority is outvoted; a frame without lines keeps the last boxes;
// a zone that gives no chip key is never handed back; reset forgets the votes.
TEST_F(MRZFrameScannerTest, TheFrameScannerHandsBackAZoneSeenInElevenFrames) {
  const auto zone = samplePerson().td3Zone();
  auto misread = zone;
  misread[0][5] = misread[0][5] == 'Q' ? 'R' : 'Q';  // the surname's first letter
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  const std::vector<int> completedAt =
      framesTaking(scanner, zone, 1, 30, [&](int frame) { return frame % 7 == 2 ? misread : zone; });
  // Each zone's eleventh frame is its second to misread the name, more than a sixth of them: the
  // name settles a frame later.
  EXPECT_EQ(completedAt, (std::vector<int>{12, 24})) << "one completion per eleven frames or so";
  ASSERT_TRUE(scanner.lastBoxes());
  ASSERT_EQ(scanner.lastBoxes()->size(), zone.size());
  EXPECT_TRUE(scanner.lastBoxes()->back().inZone);
  EXPECT_TRUE(scanner.lastBoxes()->front().inZone) << "once assembled, every line returns the zone";

  recognizer->queueLines({});
  EXPECT_FALSE(scanner.push(buffer, 6));
  EXPECT_EQ(scanner.lastBoxes()->size(), zone.size()) << "a frame without lines keeps the boxes";
  EXPECT_FALSE(scanner.push(nullptr, 6));
  recognizer->queueFailure("no text");
  EXPECT_FALSE(scanner.push(buffer, 6));

  scanner.reset();
  EXPECT_EQ(scanner.tracker().bestCount(), 0);
  EXPECT_FALSE(scanner.lastBoxes());
  EXPECT_EQ(scanner.finder().assembledMRZText(), "");

  // Once a zone is assembled the finder answers it for any line; frames that read only the
  // card's other print did not see the zone and do not vote for it.
  for (int frame = 1; frame <= 3; ++frame) {
    recognizer->queueLines(linesOf(zone));
    EXPECT_FALSE(scanner.push(buffer, 6));
  }
  for (int frame = 1; frame <= 20; ++frame) {
    recognizer->queueLines(linesOf({"REPUBLIC OF UTOPIA", "IDENTITY CARD"}));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
  EXPECT_EQ(scanner.tracker().bestCount(), 2);
  EXPECT_TRUE(scanner.lastBoxes()->front().inZone) << "the boxes still show the zone";
  scanner.reset();

  // The finder fills a line a frame did not read from an earlier frame. A misread name read in
  // one frame is not voted for again by the frames after it that read only the other lines: the
  // name waits for frames that read it, and follows them once five of them outweigh the misread.
  // Frames that read the name line but not its first place (glare hid it) did see the place:
  // there the name waits until a third of the frames that saw it read it.
  const auto card = samplePerson().td1Zone();
  auto misreadName = card;
  misreadName[2][0] = misreadName[2][0] == 'Q' ? 'R' : 'Q';
  auto hiddenFirstPlace = card;
  hiddenFirstPlace[2][0] = ' ';
  const struct {
    std::vector<std::string> between;
    int acceptedAt;
  } waits[] = {{{card[0], card[1]}, 20}, {hiddenFirstPlace, 21}};
  for (const auto& [between, acceptedAt] : waits) {
    recognizer->queueLines(linesOf(misreadName));
    EXPECT_FALSE(scanner.push(buffer, 6));
    for (int frame = 2; frame <= 15; ++frame) {
      recognizer->queueLines(linesOf(between));
      EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
    }
    const std::vector<int> cardAt = framesTaking(scanner, card, 16, 25, [&](int) { return card; });
    EXPECT_EQ(cardAt, (std::vector<int>{acceptedAt})) << between.size() << " lines between";
    scanner.reset();
  }

  // Glare over a zone's first glyph in most frames: a passport's zone can only start with the P
  // of its code, and is taken as soon as it has been seen in eleven frames; a card's code may be
  // an I, an A or a C, and waits for a third of the frames that saw it to read it.
  const struct {
    std::vector<std::string> zone;
    std::vector<int> acceptedAt;
  } firstGlyphHidden[] = {{samplePerson().td3Zone(), {11}}, {card, {}}};
  for (const auto& [zone, acceptedAt] : firstGlyphHidden) {
    auto hidden = zone;
    hidden[0][0] = ' ';
    const std::vector<int> zoneAt =
        framesTaking(scanner, zone, 1, 15, [&](int frame) { return frame <= 3 ? zone : hidden; });
    EXPECT_EQ(zoneAt, acceptedAt) << zone[0];
    scanner.reset();
  }

  // A mark of the card beside a line, read as a glyph of its own after a blank, is not part of
  // the line; a row holding two pieces of a line's width is neither of them.
  for (int frame = 1; frame <= 11; ++frame) {
    recognizer->queueLines(linesOf({"9 " + card[0], card[1], card[2] + " N"}));
    const auto text = scanner.push(buffer, 6);
    EXPECT_EQ(text.has_value(), frame == 11) << frame;
    if (text) {
      EXPECT_EQ(*text, zoneText(card));
    }
  }
  scanner.reset();
  for (int frame = 1; frame <= 15; ++frame) {
    recognizer->queueLines(linesOf({card[0] + " " + card[0], card[1], card[2]}));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
  scanner.reset();

  auto fields = samplePerson().cardFields();
  fields.expiry = "301399";  // passes its check digit, no real day: no chip key
  const auto noKey = testing::td1Zone(fields);
  for (int frame = 0; frame < 30; ++frame) {
    recognizer->queueLines(linesOf(noKey));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
}

// Glare washes out a stretch of each line and wanders on: rows come back with blanks there. A
// line is completed from the frames that read the rest of it, and each frame votes only for
// the places it read: a misread name filled into later frames' blanks is not counted again.
TEST_F(MRZFrameScannerTest, LinesReadInPartAreCompletedAcrossFrames) {
  const auto zone = samplePerson().td3Zone();
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  std::vector<int> completedAt;
  for (int frame = 0; frame < 30 && completedAt.empty(); ++frame) {
    const std::size_t from = 10 + static_cast<std::size_t>(frame);
    recognizer->queueLines(linesOf({testing::washedOut(zone[0], from, from + 10), testing::washedOut(zone[1], from, from + 10)}));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(zone));
      completedAt.push_back(frame);
    }
  }
  // The zone is whole from frame 10, when place 19 is first read, and frames vote from then on.
  // The places the glare has just left were read by few of them. From frame 16 the glare has
  // passed the name's end, and the first line's blanks after it are read as the fillers they
  // must be: the last place to be read by a third of the voting frames is then at the name's
  // end, in frame 20 (without that, a filler the glare left in frame 20, in frame 26).
  EXPECT_EQ(completedAt, (std::vector<int>{20}));

  scanner.reset();
  auto misread = zone;
  misread[0][5] = misread[0][5] == 'Q' ? 'R' : 'Q';
  recognizer->queueLines(linesOf(misread));
  EXPECT_FALSE(scanner.push(buffer, 6));
  for (int frame = 2; frame <= 15; ++frame) {
    recognizer->queueLines(linesOf({testing::washedOut(zone[0], 2, 9), zone[1]}));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
  for (int frame = 16; frame <= 30; ++frame) {
    recognizer->queueLines(linesOf(zone));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(zone)) << frame;
      break;
    }
    ASSERT_LT(frame, 30) << "never completed";
  }
}

// The card's pattern or its edge beside a line, read as glyphs with no gap before the line's
// first or after its last character: the row is a few positions longer than any zone line.
// Once a frame has read the line alone, the stretch of such a row that reads as that line is
// the line, and the frames that read it so vote for the zone; before, such rows say nothing.
TEST_F(MRZFrameScannerTest, MarksGluedToALinesEndAreLeftOutOnceTheLineIsKnown) {
  const auto card = samplePerson().td1Zone();
  const std::vector<std::string> glued = {"RT" + card[0], card[1], card[2] + "<G1"};
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  for (int frame = 1; frame <= 30; ++frame) {
    recognizer->queueLines(linesOf(glued));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
  scanner.reset();
  std::vector<int> completedAt;
  for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
    recognizer->queueLines(linesOf(frame == 1 ? card : glued));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(card)) << frame;
      completedAt.push_back(frame);
    }
  }
  EXPECT_EQ(completedAt, (std::vector<int>{11}));

  // A row holding two such pieces is neither of them.
  scanner.reset();
  const std::vector<std::string> twice = {glued[0] + " " + glued[0], card[1], card[2]};
  for (int frame = 1; frame <= 15; ++frame) {
    recognizer->queueLines(linesOf(frame == 1 ? card : twice));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
}

// Blur, glare or the card's edge take the first or the last glyph of a line: the row comes back a
// place or two short. Once a frame has read the line whole, such a row is that line with the
// places it lost at the end where it lost them, and the frame votes for what it read of it;
// before, such rows say nothing. Here every later frame loses the first line's first place or
// its last, by turns, so the document code and issuing state are read only in frames whose
// first line is short.
TEST_F(MRZFrameScannerTest, LinesThatLostAnEndAreReadOnceTheLineIsKnown) {
  const auto card = samplePerson().td1Zone();
  auto shortened = [&card](int frame) {
    auto lines = card;
    if (frame % 2 == 1) lines[0].erase(0, 1);
    else lines[0].erase(lines[0].size() - 2);
    return lines;
  };
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  for (int frame = 1; frame <= 30; ++frame) {
    recognizer->queueLines(linesOf(shortened(frame)));
    EXPECT_FALSE(scanner.push(buffer, 6)) << frame;
  }
  scanner.reset();
  std::vector<int> completedAt;
  for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
    recognizer->queueLines(linesOf(frame == 1 ? card : shortened(frame)));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(card)) << frame;
      completedAt.push_back(frame);
    }
  }
  EXPECT_EQ(completedAt, (std::vector<int>{11}));
}

// Glare that stays on a name line's fillers leaves them unread in every frame. A name ends where
// two fillers follow its secondary identifier, or three its primary one (a one-part name), and
// only fillers can follow: a line that shows that much is read with fillers at its blanks after
// it. Where the glare also covers the name's end, what it hides may be more of the name, and the
// zone is not taken.
TEST_F(MRZFrameScannerTest, TheFillersAfterANameAreReadWhereGlareHidesThem) {
  const auto card = samplePerson().td1Zone();
  const auto passport = samplePerson().td3Zone();
  auto onePart = card;
  onePart[2] = card[2].substr(0, card[2].find("<<"));
  const std::size_t onePartEnd = onePart[2].size();
  onePart[2].resize(card[2].size(), '<');
  const std::size_t cardEnd = card[2].find_last_not_of('<') + 1;
  const std::size_t passportEnd = passport[0].find_last_not_of('<') + 1;
  expectTaken({
      {"card", card, hidden(card, 2, cardEnd + 2, cardEnd + 9), true},
      {"card, to the line's end", card, hidden(card, 2, cardEnd + 2, 30), true},
      {"passport", passport, hidden(passport, 0, passportEnd + 2, passportEnd + 9), true},
      {"one-part name", onePart, hidden(onePart, 2, onePartEnd + 3, onePartEnd + 10), true},
      {"one filler after the name", card, hidden(card, 2, cardEnd + 1, cardEnd + 9), false},
      {"the name's last letter", card, hidden(card, 2, cardEnd - 1, cardEnd + 9), false},
      {"one-part name, a secondary identifier could follow", onePart,
       hidden(onePart, 2, onePartEnd + 2, onePartEnd + 10), false},
  });
}

// Blur or the card's pattern under a name's fillers can make one of them look like a C or a K in
// every frame. Only fillers can follow a name, so a lone glyph well inside them is read as one;
// a glyph just after the name's own two fillers (more name could be there, misread), two glyphs
// side by side, or a glyph in the line's last place (the card's edge after a row that lost its
// first glyph) still keep the zone out.
TEST_F(MRZFrameScannerTest, ALoneGlyphAmongANamesFillersIsReadAsAFiller) {
  const auto card = samplePerson().td1Zone();
  const auto passport = samplePerson().td3Zone();
  const std::size_t cardEnd = card[2].find_last_not_of('<') + 1;
  const std::size_t passportEnd = passport[0].find_last_not_of('<') + 1;
  ASSERT_LT(cardEnd + 6, card[2].size());
  auto misread = [](std::vector<std::string> zone, std::size_t line, std::size_t place, const char* glyphs) {
    zone[line].replace(place, std::char_traits<char>::length(glyphs), glyphs);
    return zone;
  };
  expectTaken({
      {"card", card, misread(card, 2, cardEnd + 4, "C"), true},
      {"passport", passport, misread(passport, 0, passportEnd + 5, "K"), true},
      {"two of them, apart", card, misread(card, 2, cardEnd + 3, "C<K"), true},
      {"just after the name's fillers", card, misread(card, 2, cardEnd + 2, "C"), false},
      {"two side by side", card, misread(card, 2, cardEnd + 4, "CK"), false},
      {"in the line's last place", card, misread(card, 2, card[2].size() - 1, "C"), false},
  });
}

// Glare that stays on a zone's optional data leaves it unread in every frame. A field that starts
// with a filler holds only fillers, on a card's first or second line as on a passport's; on a
// passport, whose second line has the field's check digit and the composite one, so do the places
// after two fillers in a row, where both check digits pass with them. Data hidden after two
// fillers on a card's line, or a place hidden outside the field, leaves the zone unread.
TEST_F(MRZFrameScannerTest, TheFillersOfOptionalDataAreReadWhereGlareHidesThem) {
  const auto& card = testing::kTD1Card;          // both optional fields empty
  const auto& passport = testing::kTD3Passport;  // personal number "ZE184226B" and fillers
  auto emptyField = samplePerson().passportFields();
  emptyField.optionalData.clear();
  auto afterFillers = emptyField;
  afterFillers.optionalData = "AB12<<34";
  const auto passportWithoutNumber = testing::td3Zone(emptyField);
  const auto passportWithDataAfterFillers = testing::td3Zone(afterFillers);
  const auto cardWithData = samplePerson().td1Zone();  // the ID number, "<<" and its check digit
  expectTaken({
      {"card, first line", card, hidden(card, 0, 17, 30), true},
      {"card, second line", card, hidden(card, 1, 19, 29), true},
      {"passport, after the personal number", passport, hidden(passport, 1, 39, 42), true},
      {"passport, no personal number", passportWithoutNumber, hidden(passportWithoutNumber, 1, 29, 42), true},
      {"passport, the personal number's end", passport, hidden(passport, 1, 34, 42), false},
      {"passport, data after two fillers", passportWithDataAfterFillers,
       hidden(passportWithDataAfterFillers, 1, 34, 42), false},
      {"passport, the expiry date's check digit as well", passportWithoutNumber,
       hidden(passportWithoutNumber, 1, 27, 42), false},
      {"card, data after two fillers", cardWithData, hidden(cardWithData, 0, 28, 30), false},
      {"card, the whole field", card, hidden(card, 0, 15, 30), false},
  });
}

// Small, blurred print is misread at a place or two in every frame, each frame at others: no
// two frames read the document number alike, so no zone is read the same in ten frames. The
// places the frames clearly agree on are read as they read them, and the zone is accepted
// once ten frames have read it so. The names, which no check digit covers, are voted for only
// with what each frame read itself.
TEST_F(MRZFrameScannerTest, EachFramesOwnMisreadIsOutvotedByTheOthers) {
  const auto zone = samplePerson().td3Zone();
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  // A different wrong character: each one fails the number's check digit (a change of one
  // in a character's value, times a weight of 7, 3 or 1).
  auto unlike = [](char c) -> char {
    if (c >= '0' && c <= '9') return c == '9' ? '0' : static_cast<char>(c + 1);
    return c == 'Z' ? 'Y' : static_cast<char>(c + 1);
  };
  std::vector<int> completedAt;
  for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
    auto read = zone;
    char& place = read[1][static_cast<std::size_t>(frame % 9)];
    place = unlike(place);
    recognizer->queueLines(linesOf(read));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(zone)) << frame;
      completedAt.push_back(frame);
    }
  }
  // From the third frame on, each place misread was read right by the two frames before.
  EXPECT_EQ(completedAt, (std::vector<int>{13}));

  // The surname misread in the first four frames: for two frames after, the line is read as
  // those four read it. Each frame still votes only for what it read itself there, so the name
  // settles once five sixths of the frames have read it right, and not as misread in frame 11.
  scanner.reset();
  auto misread = zone;
  misread[0][5] = misread[0][5] == 'Q' ? 'R' : 'Q';
  completedAt.clear();
  for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
    recognizer->queueLines(linesOf(frame <= 4 ? misread : zone));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(zone)) << frame;
      completedAt.push_back(frame);
    }
  }
  EXPECT_EQ(completedAt, (std::vector<int>{24}));

  // Glare over the number: every other frame reads its 6 as O. The check digit then fails, and
  // turning the 0 two places on into an O would pass it; but every frame read that 0, so the
  // O-frames vote for a number that fails, and the zone is the one the other frames read.
  scanner.reset();
  auto fields = samplePerson().passportFields();
  fields.documentNumber = "NN6401928";
  const auto numbered = testing::td3Zone(fields);
  auto sixAsO = numbered;
  sixAsO[1][2] = 'O';
  completedAt.clear();
  for (int frame = 1; frame <= 30; ++frame) {
    recognizer->queueLines(linesOf(frame % 2 == 1 ? sixAsO : numbered));
    if (const auto text = scanner.push(buffer, 6)) {
      EXPECT_EQ(*text, zoneText(numbered)) << frame;
      completedAt.push_back(frame);
    }
  }
  EXPECT_EQ(completedAt, (std::vector<int>{22})) << "the eleventh frame that read the 6";
}

// Frames that read every line of a zone but made none with it (the number's first glyph lost,
// before any frame had read it whole) vote on its names as its own voters do: the frames after
// them cannot outvote what they read by repeating a misread of their own, and where they read
// the same the zone is taken as soon as without them.
TEST_F(MRZFrameScannerTest, FramesThatMadeNoZoneVoteOnItsNames) {
  const auto zone = samplePerson().td3Zone();
  auto numberCut = zone;
  numberCut[1].erase(0, 1);
  auto misread = zone;
  misread[0][5] = misread[0][5] == 'Q' ? 'R' : 'Q';
  for (const bool laterMisread : {true, false}) {
    MRZFrameScanner scanner(testing::portraitRegionOfInterest());
    const auto& later = laterMisread ? misread : zone;
    const auto taken = framesTaking(scanner, zone, 1, 30, [&](int frame) { return frame <= 6 ? numberCut : later; });
    // Read right, the zone is taken at its eleventh frame and again eleven frames on.
    const std::vector<int> expected = laterMisread ? std::vector<int>{} : std::vector<int>{17, 28};
    EXPECT_EQ(taken, expected) << laterMisread;
  }
}

// A 0 read as O and a 1 read as J together pass the number's check digit (24 * 3 + 18 = 90): a
// card's frames split between the two numbers vote for two zones. Neither is taken while more
// than a sixth of the frames read the other, where the misread one had ten frames first; one
// frame in twelve reading the other number does not hold the zone back.
TEST_F(MRZFrameScannerTest, ANumberOtherFramesReadOtherwiseIsNotTaken) {
  const std::vector<std::string> card = {"I<TURH01748Z462L754569806BA<<<", "8002033X3501243CHLL13K1<<<<<<8",
                                         "AL<HASHIMI<<OLGA<<<<<<<<<<<<<<"};
  auto misread = card;
  misread[0].replace(6, 2, "OJ");
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  for (const int misreadEvery : {3, 12}) {
    scanner.reset();
    std::vector<int> completedAt;
    for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
      const bool right = misreadEvery == 3 ? frame % 3 == 0 : frame % 12 != 5;
      recognizer->queueLines(linesOf(right ? card : misread));
      if (const auto text = scanner.push(buffer, 6)) {
        EXPECT_EQ(*text, zoneText(card)) << frame;
        completedAt.push_back(frame);
      }
    }
    EXPECT_EQ(completedAt, misreadEvery == 3 ? std::vector<int>{} : std::vector<int>{11}) << misreadEvery;
  }
}

// The number held back by frames that read another one while the frames change their read of
// a name: the name the first frames settled on is no longer what the frames read, and the zone
// waits until the name is settled again.
TEST_F(MRZFrameScannerTest, ANameTheFramesNoLongerSettleOnIsNotTaken) {
  const std::vector<std::string> card = {"I<TURH01748Z462L754569806BA<<<", "8002033X3501243CHLL13K1<<<<<<8",
                                         "AL<HASHIMI<<OLGA<<<<<<<<<<<<<<"};
  auto otherNumber = card;
  otherNumber[0].replace(6, 2, "OJ");  // passes the check digit as well
  auto otherName = card;
  otherName[2][14] = 'C';  // OLGA read as OLCA
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto taken = framesTaking(scanner, card, 1, 45, [&](int frame) {
    return frame <= 5 ? otherNumber : frame <= 17 ? otherName : card;
  });
  // Twelve frames read OLCA and the thirteen after them OLGA by the time the number is no longer
  // held back (frame 30); five sixths of the zone's votes read OLGA from frame 42.
  const std::vector<int> expected = {42};
  EXPECT_EQ(taken, expected);
}

// The recogniser marks a glyph it read as a guess. The same print gives the same guess in every
// frame, so at a place no check digit covers a guess counts against the vote, however many
// frames agree on it; where a check digit covers the place, it settles the guess.
TEST_F(MRZFrameScannerTest, AGuessIsTakenOnlyWhereACheckDigitCoversIt) {
  const auto zone = samplePerson().td3Zone();
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  // The zone's lines with the place `at` of line `line` read as a guess in every frame.
  auto guessed = [&](std::size_t line, std::size_t at) {
    auto lines = linesOf(zone);
    for (auto& read : lines) read.unsure.assign(read.string.size(), false);
    lines[line].unsure[at] = true;
    return lines;
  };
  struct Case {
    const char* what;
    std::size_t line, at;
    bool completes;
  };
  const Case cases[] = {{"a letter of the surname", 0, 6, false},
                        {"the issuing state", 0, 3, false},
                        {"a character of the document number", 1, 1, true},
                        {"the birth date's check digit", 1, 19, true}};
  for (const Case& c : cases) {
    scanner.reset();
    std::vector<int> completedAt;
    for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
      recognizer->queueLines(guessed(c.line, c.at));
      if (const auto text = scanner.push(buffer, 6)) {
        EXPECT_EQ(*text, zoneText(zone)) << c.what;
        completedAt.push_back(frame);
      }
    }
    EXPECT_EQ(completedAt, c.completes ? std::vector<int>{11} : std::vector<int>{}) << c.what;
  }
}

// Where only a letter or the filler can stand, a frame votes for the recogniser's likeliest letter
// rather than for its digit read as a letter: a G read as 0 is not taken for an O when the
// recogniser's letters say G, and a glyph its letters cannot tell apart counts as a guess.
TEST_F(MRZFrameScannerTest, WhereOnlyLettersStandTheLikeliestLetterIsVotedFor) {
  const auto zone = samplePerson().td3Zone();
  ASSERT_EQ(zone[0].substr(5, 6), "NGUYEN");
  MRZFrameScanner scanner(testing::portraitRegionOfInterest());
  const auto buffer = cardBuffer();
  struct Case {
    const char* what;
    std::size_t line, at;
    char printed, read, letter;
    bool unsureLetter;
    bool completes;
  };
  const Case cases[] = {
      {"the surname's G read as 0, its letter G", 0, 6, 'G', '0', 'G', false, true},
      {"the surname's G read as 0, its letter a guess", 0, 6, 'G', '0', 'O', true, false},
      {"the nationality's N read as 0, its letter N", 1, 11, 'N', '0', 'N', false, true},
      // Where digits stand, the letters say nothing.
      {"the birth date's 9 read as 9, its letter a guess", 1, 13, '9', '9', 'S', true, true},
  };
  for (const Case& c : cases) {
    scanner.reset();
    auto lines = linesOf(zone);
    for (auto& read : lines) {
      read.unsure.assign(read.string.size(), false);
      read.letters = read.string;
      read.unsureLetters.assign(read.string.size(), false);
    }
    ASSERT_EQ(lines[c.line].string[c.at], c.printed) << c.what;
    lines[c.line].string[c.at] = c.read;
    lines[c.line].letters[c.at] = c.letter;
    lines[c.line].unsureLetters[c.at] = c.unsureLetter;
    std::vector<int> completedAt;
    for (int frame = 1; frame <= 30 && completedAt.empty(); ++frame) {
      recognizer->queueLines(lines);
      if (const auto text = scanner.push(buffer, 6)) {
        EXPECT_EQ(*text, zoneText(zone)) << c.what;
        completedAt.push_back(frame);
      }
    }
    EXPECT_EQ(completedAt, c.completes ? std::vector<int>{11} : std::vector<int>{}) << c.what;
  }
}

}  // namespace
}  // namespace ostrel::scanner_test
