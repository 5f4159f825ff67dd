#include "scanner/MRZFrameScanner.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "platform/foundation/Debug.hpp"
#include "platform/vision/ImageRequestHandler.hpp"
#include "scan/MRZCharacters.hpp"
#include "scan/MRZCode.hpp"
#include "scan/MRZResult.hpp"

namespace ostrel {

using namespace ostrel::platform;

namespace {

// The frames a zone must be read in: a text seen in n frames counts n - 1.
constexpr std::int64_t kFrameScannerStableCount = 10;

// A recogniser's box kept inside the region it was read in (0...1 both ways); nothing for a box
// that is not a finite rectangle or lies wholly outside.
std::optional<Rect> lineBoxInsideRegion(const Rect& box) {
  auto finite = [](double value) { return std::isfinite(value); };
  if (!finite(box.minX()) || !finite(box.minY()) || !finite(box.width()) || !finite(box.height()))
    return std::nullopt;
  const double x0 = std::clamp(std::min(box.minX(), box.maxX()), 0.0, 1.0);
  const double x1 = std::clamp(std::max(box.minX(), box.maxX()), 0.0, 1.0);
  const double y0 = std::clamp(std::min(box.minY(), box.maxY()), 0.0, 1.0);
  const double y1 = std::clamp(std::max(box.minY(), box.maxY()), 0.0, 1.0);
  if (!finite(x1 - x0) || !finite(y1 - y0)) return std::nullopt;
  return Rect{x0, y0, x1 - x0, y1 - y0};
}

// A card's lines are 30 characters wide, a passport's 44.
constexpr std::size_t kLineWidths[] = {30, 44};
bool isLineWidth(std::size_t length) { return length == kLineWidths[0] || length == kLineWidths[1]; }

// Print of the card glued to a zone line's end with no gap between (its pattern, its edge or what
// lies beyond it, read as glyphs) is at most this many positions long.
constexpr std::size_t kGluedPositions = 10;
// A line's first or last glyphs lost to blur, glare or the card's edge: at most this many.
constexpr std::size_t kLostPositions = 10;

using ZoneLineRead = MRZFrameScanner::LineRead;

// A line's read with `lost` places it did not read put in as blanks at `at` (0 where it lost its
// first places, its length where it lost its last), along with what the recogniser told of them.
void insertLostPlaces(ZoneLineRead& read, std::size_t at, std::size_t lost) {
  const bool tellsLetters = read.letters.size() == read.text.size() && !read.text.empty();
  read.text.insert(at, lost, MRZLineMerger::kBlank);
  read.unsure.insert(read.unsure.begin() + static_cast<std::ptrdiff_t>(at), lost, false);
  if (!tellsLetters) return;
  read.letters.insert(at, lost, MRZLineMerger::kBlank);
  read.unsureLetters.insert(read.unsureLetters.begin() + static_cast<std::ptrdiff_t>(at), lost, false);
}

// A recognised row as a zone line: its glyphs without the blanks between them. A zone's line has
// no blank cell, so when a mark of the card beside the line was read as a glyph of its own (the
// row is then longer than any zone's line), the one blank-free piece of a zone line's width is
// the line. Where marks were read on at the line's end with no gap between, the piece is a
// little longer than the line: the one stretch of it that `merger` takes for a line an earlier
// frame read is the line. A row of a line's width with blanks inside is the line read in part
// (glare washed out the glyphs there): it keeps its blanks, and no stretch of it is taken for a
// line. A piece a few places short of a line (blur, glare or the card's edge took its first or
// last glyphs) is the line that `merger` takes it for, read as that line's end or its start and
// not both, with blanks at the places it lost. The recogniser's marks of guesses and letter reads
// go with the characters they mark.
ZoneLineRead zoneLineOf(const RecognizedText& recognized, const MRZLineMerger& merger) {
  const std::string& row = recognized.string;
  const bool tellsLetters =
      recognized.letters.size() == row.size() && recognized.unsureLetters.size() == row.size();
  // The row's characters [from, from + length) with what the recogniser told of each, blanks left
  // out when `withBlanks` is false.
  auto piece = [&](std::size_t from, std::size_t length, bool withBlanks) {
    ZoneLineRead read;
    for (std::size_t i = from; i < from + length; ++i) {
      if (!withBlanks && row[i] == MRZLineMerger::kBlank) continue;
      read.text += row[i];
      read.unsure.push_back(i < recognized.unsure.size() && recognized.unsure[i]);
      if (!tellsLetters) continue;
      read.letters += recognized.letters[i];
      read.unsureLetters.push_back(recognized.unsureLetters[i]);
    }
    return read;
  };
  const ZoneLineRead line = piece(0, row.size(), false);
  if (isLineWidth(line.text.size())) return line;
  // Where the piece of a line's width starts in the row, and where the known stretch does.
  std::optional<std::size_t> widthPiece, knownStretch;
  std::size_t widthPieceLength = 0, knownStretchLength = 0;
  // Stretches are looked for in one piece a little longer than a line; a row with two such
  // pieces gives none (as with two pieces of a line's width, neither is known to be the line).
  std::size_t gluedPieces = 0;
  bool manyKnown = false;
  // Where the piece short of a line that is known at one of its ends starts, and how it is placed.
  std::optional<std::size_t> shortPiece;
  std::size_t shortPieceLength = 0, shortPieceLost = 0;
  bool shortPieceAtEnd = false, manyShort = false;
  std::size_t start = 0;
  while (start <= row.size()) {
    const std::size_t end = std::min(row.find(MRZLineMerger::kBlank, start), row.size());
    const std::size_t length = end - start;
    if (isLineWidth(length)) {
      if (widthPiece) return line;  // two such pieces: neither is known to be the line
      widthPiece = start;
      widthPieceLength = length;
    }
    for (const std::size_t width : kLineWidths) {
      if (length <= width || length > width + kGluedPositions || manyKnown) continue;
      if (++gluedPieces > 1) {
        manyKnown = true;
        continue;
      }
      for (std::size_t offset = 0; offset + width <= length; ++offset) {
        const std::string stretch = row.substr(start + offset, width);
        if (!merger.takesForAnEarlierLine(stretch)) continue;
        if (knownStretch && row.compare(*knownStretch, knownStretchLength, stretch) != 0) manyKnown = true;
        knownStretch = start + offset;
        knownStretchLength = width;
      }
    }
    // A piece a little shorter than a line, as the line's end (its first places lost) or as its
    // start (its last places lost).
    for (const std::size_t width : kLineWidths) {
      if (length >= width || length + kLostPositions < width) continue;
      for (const bool atEnd : {true, false}) {
        const std::size_t lost = width - length;
        std::string placed = row.substr(start, length);
        placed.insert(atEnd ? 0 : placed.size(), lost, MRZLineMerger::kBlank);
        if (!merger.takesForAnEarlierLine(placed)) continue;
        if (shortPiece) manyShort = true;
        shortPiece = start, shortPieceLength = length, shortPieceLost = lost, shortPieceAtEnd = atEnd;
      }
    }
    start = end + 1;
  }
  if (widthPiece) return piece(*widthPiece, widthPieceLength, true);
  if (isLineWidth(row.size())) return piece(0, row.size(), true);
  if (knownStretch) return manyKnown ? line : piece(*knownStretch, knownStretchLength, true);
  if (!shortPiece || manyShort) return line;
  ZoneLineRead read = piece(*shortPiece, shortPieceLength, true);
  insertLostPlaces(read, shortPieceAtEnd ? 0 : read.text.size(), shortPieceLost);
  return read;
}

// Where the fillers after a name start in a name line read in part, or nothing where the read
// does not show it. A name field holds the primary identifier, "<<", the secondary identifier and
// fillers to its end, each identifier's parts one filler apart; a one-part name has fillers from
// just after the primary identifier's "<<". So once a line shows a name whole and two fillers after
// it, what follows can only be fillers. A card's third line is all name; a passport's first line
// ("P" and its type and issuing state) holds it from place 5. Only letters (and the 0 a recogniser
// reads for an O) make up a name here: a card's other lines, which hold digits, are not taken for
// one.
std::optional<std::size_t> nameFillersStart(const std::string& line) {
  std::size_t at = 0;
  if (line.size() == kLineWidths[1]) {
    if (line[0] != 'P') return std::nullopt;
    at = 5;
  } else if (line.size() != kLineWidths[0]) {
    return std::nullopt;
  }
  auto nameCharacter = [&](std::size_t i) {
    return i < line.size() && (mrz_detail::isAsciiUpper(line[i]) || line[i] == '0');
  };
  auto filler = [&](std::size_t i) { return i < line.size() && line[i] == '<'; };
  // An identifier from `at` on: its parts, one filler apart; false where none starts there.
  auto identifier = [&]() {
    if (!nameCharacter(at)) return false;
    while (nameCharacter(at) || (filler(at) && nameCharacter(at + 1))) ++at;
    return true;
  };
  if (!identifier() || !filler(at) || !filler(at + 1)) return std::nullopt;
  at += 2;
  if (filler(at)) return at;  // a one-part name
  if (!identifier() || !filler(at) || !filler(at + 1)) return std::nullopt;
  return at;
}

// How far into a name's fillers (from where `nameFillersStart` puts their start) a lone glyph
// stands, at the least, to be taken for a misread filler: past the two that end a secondary
// identifier and one more.
constexpr std::size_t kFillersBeforeALoneGlyph = 3;

// A name line that glare or the card's edge left unread after the name's end has fillers there:
// the blanks are read as such, unless the line read something else after the name (then it is not
// known where the name ends). Only fillers can stand there, so a lone glyph well inside them, with
// a filler or a blank on either side (a filler that blur or the pattern under it made look like a
// C or a K), is one of them, read as unread; a glyph in the line's last place is not: a row that
// lost its first glyph and read the card's edge after its last one looks just so.
void fillAfterName(ZoneLineRead& read) {
  const auto fillers = nameFillersStart(read.text);
  if (!fillers) return;
  const std::string& text = read.text;
  auto fillerOrBlank = [&text](std::size_t i) { return text[i] == '<' || text[i] == MRZLineMerger::kBlank; };
  std::vector<std::size_t> lone;
  for (std::size_t i = *fillers; i < text.size(); ++i) {
    if (fillerOrBlank(i)) continue;
    const bool inside = i >= *fillers + kFillersBeforeALoneGlyph && i + 1 < text.size();
    if (!inside || !fillerOrBlank(i - 1) || !fillerOrBlank(i + 1)) return;
    lone.push_back(i);
  }
  for (const std::size_t i : lone) read.text[i] = MRZLineMerger::kBlank;
  const bool tellsLetters = read.letters.size() == read.text.size();
  for (std::size_t i = *fillers; i < read.text.size(); ++i) {
    if (read.text[i] != MRZLineMerger::kBlank) continue;
    read.text[i] = '<';
    if (i < read.unsure.size()) read.unsure[i] = false;
    if (tellsLetters) read.letters[i] = '<', read.unsureLetters[i] = false;
  }
}

// A line that glare or the card's edge left unread in its optional data, once that data ended:
// the blanks are read as fillers where the line shows which line it is and that only fillers can
// stand there. A field's data comes first and fillers run to its end, so a field that starts
// with a filler holds nothing else. A card's first line is known by its document code and its
// number's check digit, its second by its dates' check digits; its composite check digit covers
// both lines and is checked when the zone is parsed. A passport's second line holds all its
// check digits, the field's own and the composite one among them: there, blanks after two
// fillers in a row are fillers as well (a personal number shorter than the field), where every
// check digit passes with them. Every place outside the field must have been read.
void fillAfterOptionalData(ZoneLineRead& read) {
  std::string& line = read.text;
  const std::string_view text(line);
  auto passes = [&text](std::size_t from, std::size_t to, std::size_t check) {
    return isCheckDigitValid(text.substr(from, to - from), text.substr(check, 1));
  };
  std::size_t from = 0, to = 0;
  bool passport = false;
  if (line.size() == kLineWidths[1]) {
    from = 28, to = 42, passport = true;
  } else if (line.size() == kLineWidths[0] && std::string_view("ACI").find(line[0]) != std::string_view::npos &&
             mrz_detail::isAsciiDigit(line[14])) {
    from = 15, to = 30;
  } else if (line.size() == kLineWidths[0]) {
    from = 18, to = 29;
  } else {
    return;
  }
  for (std::size_t i = 0; i < line.size(); ++i) {
    if ((i < from || i >= to) && line[i] == MRZLineMerger::kBlank) return;
  }
  const std::size_t fillers = line[from] == '<' ? from : passport ? line.find("<<", from) : std::string::npos;
  if (fillers == std::string::npos || fillers >= to) return;
  std::vector<std::size_t> blanks;
  for (std::size_t i = fillers; i < to; ++i) {
    if (line[i] == MRZLineMerger::kBlank) blanks.push_back(i);
    else if (line[i] != '<') return;
  }
  if (blanks.empty()) return;
  std::string filled = line;
  for (const std::size_t i : blanks) filled[i] = '<';
  if (passport) {
    // The second line's check digits alone: its first line holds none.
    if (!mrzCheckDigitsPass(std::string(kLineWidths[1], '<') + '\n' + filled)) return;
  } else if (from == 15 ? !passes(5, 14, 14) : (!passes(0, 6, 6) || !passes(8, 14, 14))) {
    return;
  }
  const bool tellsLetters = read.letters.size() == line.size();
  for (const std::size_t i : blanks) {
    if (i < read.unsure.size()) read.unsure[i] = false;
    if (tellsLetters) read.letters[i] = '<', read.unsureLetters[i] = false;
  }
  line = std::move(filled);
}

// What a frame read itself of a zone's lines (`reads`, one per line of `assembled`, nothing for a
// line it did not read), as it votes at the places no check digit covers: `StringTracker::kNotRead`
// where it did not read the line, `kHidden` where its read left the place blank, a `guess` where
// it was unsure, read as the parse would read it. Where only a letter or the filler can stand, it
// votes for the likeliest of those: a glyph read as 0 there is an O only if it looks more like an
// O than like a D, a G or a U.
std::string ownReadsOf(const std::string& assembled, const std::vector<const ZoneLineRead*>& reads) {
  const std::vector<bool> letterPlaces = mrzPlacesOfLettersOnly(assembled);
  std::string own;
  std::vector<bool> guessed;
  std::size_t lineIndex = 0;
  for (const std::string& line : mrzZoneLines(assembled)) {
    if (!own.empty()) own += '\n', guessed.push_back(false);
    const ZoneLineRead* read = lineIndex < reads.size() ? reads[lineIndex] : nullptr;
    ++lineIndex;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const bool readHere = read && read->text.size() == line.size() && read->text[i] != MRZLineMerger::kBlank;
      if (!readHere) {
        own += read ? StringTracker::kHidden : StringTracker::kNotRead;
        guessed.push_back(false);
      } else if (letterPlaces.size() == assembled.size() && letterPlaces[own.size()] && !read->letters.empty()) {
        guessed.push_back(read->unsureLetters[i]);
        own += read->letters[i];
      } else {
        guessed.push_back(read->unsure[i]);
        own += read->text[i];
      }
    }
  }
  own = mrzDigitsWhereOnlyDigitsStand(mrzLettersWhereNoDigitStands(own));
  // A passport's zone starts with the "P" of its document code: the finder assembles no other
  // zone of its shape, so there is nothing to vote on there, whether this frame read it or not.
  if (own.size() == 2 * kLineWidths[1] + 1 && assembled[0] == 'P') {
    own[0] = 'P';
    guessed[0] = false;
  }
  for (std::size_t i = 0; i < own.size(); ++i) {
    if (guessed[i]) own[i] = StringTracker::guess(own[i]);
  }
  return own;
}

// The frames whose own reads of the number are kept.
constexpr std::size_t kNumbersKept = 30;

}  // namespace

MRZFrameScanner::MRZFrameScanner(const Rect& regionOfInterest)
    : regionOfInterest_(regionOfInterest),
      request_(std::make_shared<RecognizeTextRequest>()),
      finder_(std::make_shared<MRZLineFinder>()),
      tracker_(finder_, mrzVoteKey) {}

void MRZFrameScanner::setRegionOfInterest(const Rect& regionOfInterest) { regionOfInterest_ = regionOfInterest; }

std::optional<std::string> MRZFrameScanner::push(const PixelBufferPtr& frame, int exifOrientation) {
  if (!frame) return std::nullopt;
  request_->recognitionLevel = RecognizeTextRequest::RecognitionLevel::fast;
  request_->usesLanguageCorrection = false;
  request_->regionOfInterest = regionOfInterest_;
  try {
    ImageRequestHandler(frame, exifOrientation).perform({request_});
  } catch (const std::exception& error) {
    // The frame is lost; the next one is read as usual.
    debugLog(std::string("MRZFrameScanner: text recognition failed: ") + error.what());
    return std::nullopt;
  }
  return pushObservations(request_->results());
}

std::optional<std::string> MRZFrameScanner::pushObservations(const std::vector<ObservationPtr>& results) {
  // A frame without lines, or with results that are not text, says nothing about the zone.
  if (results.empty()) return std::nullopt;
  std::vector<std::shared_ptr<RecognizedTextObservation>> observations;
  observations.reserve(results.size());
  for (const auto& result : results) {
    auto observation = std::dynamic_pointer_cast<RecognizedTextObservation>(result);
    if (!observation) return std::nullopt;
    observations.push_back(std::move(observation));
  }

  // Each observation's text as a zone line; nothing for one without text. A line read in part is
  // completed from the frames that read the rest of it (nothing while some place was never read),
  // and the places the frames clearly agree on are read as they read them; `frameReads` keeps
  // what this frame read itself.
  std::vector<std::optional<std::string>> frameLines;
  std::vector<ZoneLineRead> frameReads;
  for (const auto& observation : observations) {
    const auto candidates = observation->topCandidates(1);
    ZoneLineRead read;
    std::optional<std::string> line;
    if (!candidates.empty()) {
      read = zoneLineOf(candidates.front(), merger_);
      if (isLineWidth(read.text.size())) {
        fillAfterName(read);
        fillAfterOptionalData(read);
        line = merger_.merge(read.text);
      }
      if (!line) {
        // Until then it is read as any row is, without its blanks.
        line = read.text;
        std::erase(*line, MRZLineMerger::kBlank);
      }
    }
    frameLines.push_back(std::move(line));
    frameReads.push_back(std::move(read));
  }
  // This frame's read of an assembled zone's line, by index; nothing for a line it did not read
  // (the finder kept it from an earlier frame).
  auto frameIndexOf = [&frameLines](const std::string& line) -> std::optional<std::size_t> {
    const auto found = std::find(frameLines.begin(), frameLines.end(), line);
    if (found == frameLines.end()) return std::nullopt;
    return static_cast<std::size_t>(found - frameLines.begin());
  };
  // The places of a zone that the frames read alike, as `mrzNumberSettledByCheckDigit` takes them:
  // the check digit does not turn an O or 0 that the frames clearly read.
  auto settledPlaces = [this](const std::string& zone) {
    std::string kept;
    for (const std::string& line : mrzZoneLines(zone)) {
      if (!kept.empty()) kept += '\n';
      const std::string settled = merger_.settledPlaces(line);
      kept += settled.size() == line.size() ? settled
                                            : std::string(line.size(), MRZLineMerger::kBlank);
    }
    return kept;
  };
  // The finder fills a zone's missing lines from earlier frames, and the merger reads a line's
  // places as the earlier frames did. Those were voted for by the frames that read them: at the
  // places no check digit covers, a frame votes only for what it read itself (`kNotRead` where it
  // did not read the line, `kHidden` where its read of the line left the place blank, a `guess`
  // where it was unsure), read as the parse would read it. Otherwise one frame's misread name or
  // nationality would be counted again by every frame after it. Where only a letter or the filler
  // can stand, it votes for the likeliest of those: a glyph read as 0 there is an O only if it
  // looks more like an O than like a D, a G or a U.
  auto ownReadsWhereNoCheckDigit = [&](const std::string& assembled, std::string zone) {
    const std::string checked = mrzCheckedPart(zone);
    if (checked == zone || assembled.size() != zone.size()) return zone;
    std::vector<const ZoneLineRead*> reads;
    for (const std::string& line : mrzZoneLines(assembled)) {
      const auto index = frameIndexOf(line);
      reads.push_back(index ? &frameReads[*index] : nullptr);
    }
    const std::string own = ownReadsOf(assembled, reads);
    for (std::size_t i = 0; i < zone.size(); ++i) {
      if (checked[i] == '.') zone[i] = own[i];
    }
    return zone;
  };

  std::vector<LineBox> boxes;
  const std::uint64_t assembledBefore = finder_->linesAssembled();
  std::string lastZone;
  for (std::size_t index = 0; index < observations.size(); ++index) {
    if (!frameLines[index]) continue;
    const auto& observation = observations[index];
    const auto zone = finder_->findMRZLines(*frameLines[index]);
    const bool inZone = zone && *zone != "nil";
    if (inZone) lastZone = *zone;
    if (const auto box = lineBoxInsideRegion(observation->boundingBox)) boxes.push_back({*box, inZone});
  }
  lastBoxes_ = std::move(boxes);
  // A frame votes once, for the zone as its lines left it: the one assembled from the most of
  // its own lines. Its first line alone completes a zone with the lines kept from an earlier
  // frame; that zone is not counted as well, or one frame would vote for the earlier frame's
  // read of the other lines and for its own. The finder hands back its last zone for any line
  // once it has one; a frame none of whose lines took part in a zone did not see it, and votes
  // for nothing. The zone is voted for as the parse would read it; only the number, whose
  // letters and digits are both its own, keeps what the check digit allows.
  std::vector<std::string> zones;
  if (!lastZone.empty() && finder_->linesAssembled() != assembledBefore) {
    const std::string settledNumber =
        mrzNumberSettledByCheckDigit(mrzFillersSettledByCheckDigits(lastZone), settledPlaces(lastZone));
    zones.push_back(ownReadsWhereNoCheckDigit(
        lastZone, mrzDigitsWhereOnlyDigitsStand(mrzLettersWhereNoDigitStands(settledNumber))));
  }
  if (!zones.empty()) {
    // The number as this frame read it itself, where it read the number whole and that passes the
    // check digit: two misreads can pass it together (a 0 read as O and a 1 read as J), and
    // the merger then reads the number as most frames did, for every frame.
    std::string own;
    if (const auto lines = mrzZoneLines(lastZone); !mrzNumberKey(lastZone).empty()) {
      const std::size_t line = lines.size() == 3 ? 0 : 1;
      const auto index = frameIndexOf(lines[line]);
      if (index && frameReads[*index].text.size() == lines[line].size()) {
        std::string zone = lastZone;
        zone.replace(line == 0 ? 0 : lines[0].size() + 1, lines[line].size(), frameReads[*index].text);
        own = mrzNumberKey(zone);  // nothing where the frame left a blank in it
      }
    }
    ownNumbers_.push_back(own);
    if (ownNumbers_.size() > kNumbersKept) ownNumbers_.pop_front();
  }
  {
    // What this frame read of rows that may be zone lines, kept for `settledByItsVotes`.
    FrameLines frame{!zones.empty(), {}};
    for (const ZoneLineRead& read : frameReads) {
      const std::size_t length = read.text.size();
      const bool nearALine = std::any_of(std::begin(kLineWidths), std::end(kLineWidths), [&](std::size_t width) {
        return length <= width && length + kLostPositions >= width;
      });
      if (nearALine) frame.reads.push_back(read);
    }
    recentFrames_.push_back(std::move(frame));
    if (recentFrames_.size() > kNumbersKept) recentFrames_.pop_front();
  }
  tracker_.logFrame(zones);
  if (tracker_.bestCount() < kFrameScannerStableCount) return std::nullopt;
  const std::string text = tracker_.bestString();
  // The number, like the names, must be what five sixths of the frames read: frames that read
  // another number that passes the check digit hold it back until later frames outweigh them
  // or they are forgotten.
  const std::string accepted = mrzNumberKey(text);
  const auto others = std::count_if(ownNumbers_.begin(), ownNumbers_.end(),
                                    [&](const std::string& key) { return !key.empty() && key != accepted; });
  const auto agreeing = std::count(ownNumbers_.begin(), ownNumbers_.end(), accepted);
  if (5 * others > agreeing) return std::nullopt;
  if (!settledByItsVotes(text)) return std::nullopt;
  // Accepted or not, the zone is counted afresh from here: one that does not parse is read again.
  tracker_.reset(text);
  ownNumbers_.clear();
  recentFrames_.clear();
  if (!givesChipKey(text)) return std::nullopt;
  return text;
}

bool MRZFrameScanner::settledByItsVotes(const std::string& zone) const {
  // The tracker keeps the text it last settled on until a zone is seen more often; the frames
  // since may have unsettled it (later frames read a name otherwise). Only a text the zone's
  // votes settle on now is taken.
  std::vector<std::string> votes = tracker_.votesFor(zone);
  if (characterMajority(votes) != zone) return false;
  // A frame that read every line of the zone but made none with them (the zone was not yet
  // assembled, and its read of the number had lost its first glyph) saw the zone as well: it
  // votes on the names as the frames that made the zone do. Otherwise the frames that made it
  // may repeat a look-alike misread of a name (an I read as T) that the frames before them read
  // right.
  const std::string checked = mrzCheckedPart(zone);
  if (checked.size() != zone.size() || checked == zone) return true;
  const std::string key = mrzVoteKey(zone);
  const std::vector<std::string> lines = mrzZoneLines(zone);
  // `read` as the zone's line `lineIndex`: as it stands when it is a line's width, or with blanks
  // for its lost first or last places (whichever fits) when a little short of it. It must have
  // read two thirds of the line, agree with the zone at every checked place it read (as the vote's
  // key tells characters apart) and at 19 in 20 of all the places it read, letters read as
  // letters where only they stand.
  auto readAs = [&](const ZoneLineRead& read, std::size_t lineIndex) -> std::optional<ZoneLineRead> {
    const std::string& line = lines[lineIndex];
    std::size_t lineStart = 0;
    for (std::size_t k = 0; k < lineIndex; ++k) lineStart += lines[k].size() + 1;
    const std::size_t length = read.text.size();
    if (length > line.size() || length + kLostPositions < line.size()) return std::nullopt;
    const std::size_t lost = line.size() - length;
    std::optional<ZoneLineRead> best;
    std::size_t bestAgreeing = 0;
    std::vector<std::size_t> placings = {0};
    if (lost > 0) placings.push_back(length);
    for (const std::size_t at : placings) {
      const bool tellsLetters = read.letters.size() == length;
      ZoneLineRead placed = read;
      insertLostPlaces(placed, at, lost);
      std::string asZone = zone;
      asZone.replace(lineStart, line.size(), placed.text);
      const std::string readKey = mrzVoteKey(asZone);
      std::size_t readPlaces = 0, agreeing = 0;
      bool checkedAgree = readKey.size() == key.size();
      for (std::size_t i = 0; i < line.size() && checkedAgree; ++i) {
        if (placed.text[i] == MRZLineMerger::kBlank) continue;
        ++readPlaces;
        if (checked[lineStart + i] != '.') {
          checkedAgree = readKey[lineStart + i] == key[lineStart + i];
          agreeing += checkedAgree;
        } else {
          agreeing += placed.text[i] == line[i] || (tellsLetters && placed.letters[i] == line[i]);
        }
      }
      if (!checkedAgree || 3 * readPlaces < 2 * line.size() || 20 * agreeing < 19 * readPlaces) continue;
      if (!best || agreeing > bestAgreeing) best = std::move(placed), bestAgreeing = agreeing;
    }
    return best;
  };
  const std::size_t voters = votes.size();
  for (const FrameLines& frame : recentFrames_) {
    if (frame.voted) continue;
    std::vector<ZoneLineRead> reads;
    for (std::size_t lineIndex = 0; lineIndex < lines.size(); ++lineIndex) {
      for (const ZoneLineRead& read : frame.reads) {
        if (auto placed = readAs(read, lineIndex)) {
          reads.push_back(std::move(*placed));
          break;
        }
      }
      if (reads.size() != lineIndex + 1) break;
    }
    if (reads.size() != lines.size()) continue;
    std::vector<const ZoneLineRead*> pointers;
    for (const ZoneLineRead& read : reads) pointers.push_back(&read);
    std::string own = ownReadsOf(zone, pointers);
    // The checked places are the voters' own to settle.
    for (std::size_t i = 0; i < own.size(); ++i) {
      if (checked[i] != '.' && zone[i] != '\n') own[i] = StringTracker::kNotRead;
    }
    votes.push_back(std::move(own));
  }
  if (votes.size() == voters) return true;
  const std::string majority = characterMajority(votes);
  if (majority.size() != zone.size()) return false;
  for (std::size_t i = 0; i < zone.size(); ++i) {
    if (checked[i] == '.' && majority[i] != zone[i]) return false;
  }
  return true;
}

void MRZFrameScanner::reset() {
  ownNumbers_.clear();
  recentFrames_.clear();
  finder_->reset();
  merger_.reset();
  tracker_ = StringTracker(finder_, mrzVoteKey);
  lastBoxes_.reset();
}

bool MRZFrameScanner::givesChipKey(const std::string& zone) {
  const auto formatter = makeMRZDateFormatter();
  const auto parsed = parseMRZ(mrzZoneLines(zone), true, *formatter);
  // A number made only of fillers parses as "": no chip key can be made of it.
  return parsed && parsed->documentNumber && !parsed->documentNumber->empty() && parsed->birthdate &&
         parsed->expiryDate;
}

}  // namespace ostrel
