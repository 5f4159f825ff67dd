#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "scan/MRZLineFinder.hpp"

namespace ostrel {

// Votes over camera frames for the text read in the most frames. Each frame logs the texts it
// produced, and a frame counts a text (a key) once however often it lists it, with the text it
// listed last; a text not seen for more
// than 30 frames is forgotten; `bestString` is the text with the highest count so far (a text
// seen in n frames counts n - 1) and only moves up until `reset`. Ties keep the earlier best,
// and among texts first counted in the same frame the one listed first wins, so results never
// depend on hashing.
//
// Texts may be grouped under a key (by default the text itself): the frames that read texts of one
// key count for that key together, and its text is the character-wise majority of the texts those
// frames read (the last 30 of them), leaving out at each place the texts that hold `kNotRead` there
// (a text holding `kHidden` there saw the place but read nothing; one holding `kUnsure` there read
// the place as a guess: it counts among those that read it, but agrees with none; one holding
// `guess(c)` guessed c: it counts against the majority unless that is c, and never for it). A key
// whose texts have no clear majority at some character (five sixths of the texts that read it,
// and three reads more than those that disagree), or whose character too few of those that saw
// it read, is not a candidate for the best until later frames settle it.
// For zones, the key is the part that check digits protect, as far as they tell characters apart
// (`mrzVoteKey`), so that the names, the nationality, the issuing state and the document code,
// which no check digit covers, and a number's look-alikes that its check digit cannot see, are
// what most of the voting frames read.
//
// One tracker belongs to one MRZ scanner and runs on one queue at a time.
class StringTracker {
 public:
  // A place a frame's text holds no reading of its own (a line that frame took from an earlier
  // one): the character-wise vote leaves it out at that place.
  static constexpr char kNotRead = '\x7f';
  // A place on a line the frame read, which it could not read (glare or the card's edge hid
  // it): the frame saw the place, and counts among those its reads are weighed against, but
  // speaks for no character.
  static constexpr char kHidden = '\x02';
  // A place a frame read as a guess (its glyph looked nearly as much like another character): it
  // counts among the frames that read the place, but agrees with none of them.
  static constexpr char kUnsure = '\x01';
  // A place a frame read as a guess of `c`: a guess agreeing with what the other frames read
  // there is no dissent, but only a sure read counts for a character.
  static constexpr char guess(char c) { return static_cast<char>(static_cast<unsigned char>(c) | 0x80u); }

  struct Sighting {
    std::int64_t lastSeen = 0;
    std::int64_t count = 0;
    bool operator==(const Sighting&) const = default;
  };
  using KeyFunction = std::function<std::string(const std::string&)>;

  // `finder` is the line finder that `reset` empties along with the vote.
  explicit StringTracker(std::shared_ptr<MRZLineFinder> finder = MRZLineFinder::shared(),
                         KeyFunction key = {});

  // Counts the texts of one frame (each key at most once), ages out old texts and moves to the
  // next frame. An empty frame still ages and advances.
  void logFrame(const std::vector<std::string>& strings);

  // Called once `string` is accepted: forgets its key, clears the best text and empties the
  // line finder, so the next zone is assembled and counted from scratch.
  void reset(const std::string& string);

  std::int64_t frameIndex() const { return frameIndex_; }
  std::int64_t bestCount() const { return bestCount_; }
  const std::string& bestString() const { return bestString_; }
  // The texts being counted (each key's voted text, or its latest text while undecided, with
  // `kNotRead` where that frame read nothing of its own), in the order they were first seen.
  std::vector<std::pair<std::string, Sighting>> seenStrings() const;
  // The texts the last frames that counted `string`'s key listed for it, oldest first (what its
  // vote is taken over); nothing for a key not being counted.
  std::vector<std::string> votesFor(const std::string& string) const;

 private:
  struct Entry {
    std::string key;
    Sighting sighting;
    std::vector<std::string> votes;  // the texts of the last frames that counted this key
    std::string voted;               // their character-wise majority; empty while undecided
  };
  using Entries = std::list<Entry>;

  std::string keyOf(const std::string& string) const { return key_ ? key_(string) : string; }

  std::shared_ptr<MRZLineFinder> finder_;
  KeyFunction key_;
  std::int64_t frameIndex_ = 0;
  Entries entries_;
  std::unordered_map<std::string, Entries::iterator> index_;
  std::int64_t bestCount_ = 0;
  std::string bestString_;
};

// The vote of the texts of several frames, as the tracker takes it for a key: at each place, the
// character five sixths of the texts that read it hold (see `StringTracker`); empty while some
// place is not so settled, or when the texts differ in length.
std::string characterMajority(const std::vector<std::string>& texts);

// The characters of a TD1 or TD3 zone (lines joined by "\n") that a check digit protects,
// with every other character (document code, issuing state, sex, nationality, names) blanked
// and "O" read as "0" where only digits can stand; any other text is returned as it is.
std::string mrzCheckedPart(const std::string& zone);

// The key the scanner's vote groups zones by: the checked part, each checked character replaced
// by its check-digit value modulo ten. A check digit cannot tell apart characters whose values
// differ by ten or twenty, and some of those look alike in print (S and 8, D and X, B and 1, I
// and 8, G and 6): frames that read a document number one way or the other then vote together,
// and the character-wise majority decides between them, where each reading would otherwise be
// counted apart and the one that reached its count first would win. Any other text is returned
// as it is.
std::string mrzVoteKey(const std::string& zone);

// The lines of a zone handed on as one text, its lines joined by line feeds.
std::vector<std::string> mrzZoneLines(const std::string& zone);

// The document number of a TD1 or TD3 zone with its check digit, each character as `mrzVoteKey`
// has it (look-alikes the check digit cannot tell apart are one), when it passes its check digit;
// empty otherwise.
std::string mrzNumberKey(const std::string& zone);

// The zone with its document number's "O" and "0" told apart by the number's check digit: a
// number that fails its check digit as read, and passes it for exactly one choice of "O" or "0"
// at the places that hold either, gets that choice; every other text is returned as it is.
// The two look most alike in print, the number may hold both, and a frame that reads one for
// the other would otherwise vote for a zone of its own. `kept`, when as long as the zone, marks
// the places most frames read alike with any character but a space: those are never changed.
// The check digit fails just as well for a misread of another character of the number (a 6
// read as O), and turning an O or 0 that every frame read as such would then make up a wrong
// number that passes it.
std::string mrzNumberSettledByCheckDigit(const std::string& zone, std::string_view kept = {});

// Whether every check digit of a card's or a passport's zone passes, the composite one included;
// false for any other text.
bool mrzCheckDigitsPass(const std::string& zone);

// The zone with a glyph read among the fillers that end a field read as the filler it stands
// for, when the zone fails its check digits as read and passes them for exactly one such
// choice; every other text is returned as it is. A faded or glared run of fillers is read as
// K, R, H or W here and there, and each such frame would otherwise vote for a zone of its own.
std::string mrzFillersSettledByCheckDigits(const std::string& zone);

// The zone with the digits read where only letters or fillers stand (document code, issuing
// state, nationality, names) read as the letters they look like, as the parser's correction
// reads them; any other text is returned as it is. Frames that read a name's "O" as "0" then
// agree with those that read it right, and the vote on the names is not split by a misread
// the parse would undo anyway.
std::string mrzLettersWhereNoDigitStands(const std::string& zone);
// Per character of a TD1 or TD3 zone, whether only letters and fillers stand there (the places
// `mrzLettersWhereNoDigitStands` reads); empty for any other text.
std::vector<bool> mrzPlacesOfLettersOnly(const std::string& zone);
// Likewise the letters read where only digits stand (dates and check digits) read as the
// digits they look like.
std::string mrzDigitsWhereOnlyDigitsStand(const std::string& zone);

}  // namespace ostrel
