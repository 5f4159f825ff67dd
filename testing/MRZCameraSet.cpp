#include "testing/MRZCameraSet.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <random>
#include <stdexcept>

#include "scan/MRZResult.hpp"
#include "scan/StringTracker.hpp"
#include "testing/MRZCameraSetParts.hpp"
#include "testing/MRZTestData.hpp"

namespace ostrel::testing::mrzset {

double between(std::mt19937& random, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(random);
}

int betweenInt(std::mt19937& random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random);
}

}  // namespace ostrel::testing::mrzset

namespace ostrel::testing {

namespace {

using mrzset::between;
using mrzset::betweenInt;
using mrzset::regionInUpright;
using mrzset::regionOfInterestFor;
using mrzset::renderLock;
using mrzset::setFont;
using mrzset::SetFont;
using mrzset::uprightSize;

constexpr int kSetPositives = 216;  // six content classes x 36
constexpr int kSetNegatives = 30;

// --- Content ---------------------------------------------------------------------------------

const std::vector<std::string> kPlainSurnames = {"ERIKSSON", "NGUYEN", "TRAN", "SMITH", "MULLER",
                                                 "HALVORSEN", "KOWALSKA", "PHAM", "LINDQVIST"};
const std::vector<std::string> kPlainGiven = {"ANNA<MARIA", "VAN<AN", "THI<MAI", "JOHN", "PETER",
                                              "LINH", "CARLA", "MAREK<JAN"};
const std::vector<std::string> kPlainStates = {"UTO", "VNM", "FRA", "GBR", "USA", "POL", "NOR",
                                               "CAN"};
// Look-alike rich: O/0, I/1, B/8, S/5, Z/2, G/6, D/0.
const std::vector<std::string> kLookSurnames = {"BOOZ", "DIOGO", "SZABO", "GODDIS", "OBIDOS",
                                                "ZOGBI", "BISOGNO", "DOBOS"};
const std::vector<std::string> kLookGiven = {"ODDBJORG", "SIGBOD", "BOZO", "IDO<GIL", "ZDISLOB",
                                             "GOSBI"};
const std::vector<std::string> kLookStates = {"BOL", "DOM", "SGP", "ZWE", "GBS", "ISL", "DZA",
                                              "BGD", "IDN", "BIH"};
const std::vector<std::string> kLongSurnames = {"WOLFESCHLEGELSTEINHAUSENBERGER",
                                                "VANDERHOOGENBOSCHKERKENSTRATE",
                                                "NGUYENTHANHPHUONGHOANGLONG",
                                                "ABDULRAHMANALMUHAIRIALSHEHHI"};
const std::vector<std::string> kLongGiven = {"MARIA<ALEXANDRA<CHRISTINA", "JOHANNES<MAXIMILIAN",
                                             "NGOC<THANH<TRUC", "SOPHIE<CATHERINE<LOUISE"};
const std::vector<std::string> kOnePartNames = {"SUKARNO", "SUHARTO", "MADONNA", "TEGUH",
                                                "ARUNACHALAM", "BAYARSAIKHAN", "WIN<MYINT"};

std::string twoDigitsOf(int value) {
  value %= 100;
  return {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
}

template <typename T>
const T& pickOne(std::mt19937& random, const std::vector<T>& items) {
  return items[random() % items.size()];
}

std::string randomDocumentNumber(std::mt19937& random, MRZSetContent content) {
  // Plain numbers keep to letters with no digit twin; look-alike ones to those with one.
  const std::string letters = "ACEFHJKLMNPRTUVWXY";
  const std::string lookLetters = "OIBSZGD", lookDigits = "0185260";
  std::string number;
  if (content == MRZSetContent::lookAlike) {
    number += lookLetters[random() % lookLetters.size()];
    for (int i = 1; i < 9; ++i) {
      // Mostly digits that have a letter twin, some letters among them.
      number += random() % 4 == 0 ? lookLetters[random() % lookLetters.size()]
                                  : lookDigits[random() % lookDigits.size()];
    }
    return number;
  }
  const int length = content == MRZSetContent::shortNumber ? betweenInt(random, 5, 8) : 9;
  const int leadingLetters = betweenInt(random, 1, 2);
  for (int i = 0; i < length; ++i) {
    if (i < leadingLetters)
      number += letters[random() % letters.size()];
    else
      number += static_cast<char>('0' + random() % 10);
  }
  return mrzField(number, 9);
}

std::string randomDate(std::mt19937& random, int fromYear, int toYear, bool lookAlike) {
  if (lookAlike) {
    // Digits 0, 1, 2, 5, 6, 8 only: the ones a recogniser confuses with letters.
    const int years[] = {0, 1, 2, 5, 6, 8};
    int year = 10 * years[random() % 6] + years[random() % 6];
    if (fromYear >= 2000) year = 20 + 10 * (random() % 2) + years[random() % 6] % 10;
    const int months[] = {1, 2, 5, 6, 8, 10, 11, 12};
    const int days[] = {1, 2, 5, 6, 8, 10, 11, 12, 15, 16, 18, 20, 21, 22, 25, 26, 28};
    return twoDigitsOf(year) + twoDigitsOf(months[random() % 8]) + twoDigitsOf(days[random() % 17]);
  }
  return twoDigitsOf(betweenInt(random, fromYear, toYear)) + twoDigitsOf(betweenInt(random, 1, 12)) +
         twoDigitsOf(betweenInt(random, 1, 28));
}

void fillPositive(MRZSetSequence& sequence, std::mt19937& random, bool td1) {
  const MRZSetContent content = sequence.content;
  const bool look = content == MRZSetContent::lookAlike;
  MRZFields fields;
  fields.documentCode = td1 ? (random() % 3 == 0 ? "ID" : "I<") : "P<";
  fields.issuingState = look ? pickOne(random, kLookStates) : pickOne(random, kPlainStates);
  fields.nationality = random() % 4 == 0 ? (look ? pickOne(random, kLookStates)
                                                 : pickOne(random, kPlainStates))
                                         : fields.issuingState;
  fields.documentNumber = randomDocumentNumber(random, content);
  fields.birth = randomDate(random, 1940, 2006, look);
  fields.expiry = randomDate(random, 2027, 2036, look);
  fields.sex = content == MRZSetContent::sexX ? 'X' : "MF"[random() % 2];
  if (look && !td1) fields.optionalData = "ZB" + twoDigitsOf(betweenInt(random, 0, 99)) + "S6";
  const std::size_t nameWidth = td1 ? 30 : 39;
  switch (content) {
    case MRZSetContent::lookAlike:
      fields.names = pickOne(random, kLookSurnames) + "<<" + pickOne(random, kLookGiven);
      break;
    case MRZSetContent::longName: {
      // The field filled to its last character, with no filler after the name, or (every other
      // round of the buckets and formats) to one short of it, with a single filler after it.
      // The surname cut so that the given names start inside the field.
      std::string names = pickOne(random, kLongSurnames).substr(0, nameWidth - 12) + "<<" +
                          pickOne(random, kLongGiven) + "<ELISABETH<KATHARINA";
      const bool oneShort = (sequence.index / 6 / 6) % 2 == 1;
      names.resize(oneShort ? nameWidth - 1 : nameWidth);
      while (names.back() == '<') names.back() = 'A';
      fields.names = names;
      break;
    }
    case MRZSetContent::onePartName:
      fields.names = pickOne(random, kOnePartNames);
      break;
    default:
      fields.names = pickOne(random, kPlainSurnames) + "<<" + pickOne(random, kPlainGiven);
      break;
  }
  sequence.kind = td1 ? "TD1" : "TD3";
  sequence.lines = td1 ? td1Zone(fields) : td3Zone(fields);
  sequence.documentNumber = mrzField(fields.documentNumber, 9);
  sequence.birth = fields.birth;
  sequence.expiry = fields.expiry;
}

void fillNegative(MRZSetSequence& sequence, std::mt19937& random, int kind) {
  MRZFields fields;
  fields.documentCode = "I<";
  fields.issuingState = fields.nationality = pickOne(random, kPlainStates);
  fields.documentNumber = randomDocumentNumber(random, MRZSetContent::plain);
  fields.birth = randomDate(random, 1950, 2000, false);
  fields.expiry = randomDate(random, 2027, 2035, false);
  fields.sex = "MF"[random() % 2];
  fields.names = pickOne(random, kPlainSurnames) + "<<" + pickOne(random, kPlainGiven);
  switch (kind) {
    case 0:
      sequence.kind = "no zone";
      break;
    case 1: {
      sequence.kind = "TD2";
      const std::string number = fields.documentNumber;
      std::string line2 = number + checkDigitOf(number) + fields.nationality + fields.birth +
                          checkDigitOf(fields.birth) + fields.sex + fields.expiry +
                          checkDigitOf(fields.expiry) + "<<<<<<<";
      line2 += checkDigitOf(line2.substr(0, 10) + line2.substr(13, 7) + line2.substr(21, 14));
      sequence.lines = {mrzField("I<" + fields.issuingState + fields.names, 36), line2};
      break;
    }
    case 2: {
      sequence.kind = "visa";
      fields.documentCode = "V<";
      auto lines = td3Zone(fields);
      lines[0][0] = 'V';
      sequence.lines = lines;
      break;
    }
    case 3: {
      sequence.kind = "broken check digits";
      auto lines = random() % 2 ? td1Zone(fields) : td3Zone(fields);
      // Every check digit of the number and the dates moved by one: nothing can repair them.
      auto bump = [](char& c) { c = c >= '0' && c <= '8' ? static_cast<char>(c + 1) : '0'; };
      if (lines.size() == 3) {
        bump(lines[0][14]);
        bump(lines[1][6]);
        bump(lines[1][14]);
        bump(lines[1][29]);
      } else {
        bump(lines[1][9]);
        bump(lines[1][19]);
        bump(lines[1][27]);
        bump(lines[1][43]);
      }
      sequence.lines = lines;
      break;
    }
    default: {
      sequence.kind = "OCR-B lines";
      const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789<<<<<<";
      const std::size_t width = random() % 2 ? 30 : 44;
      for (int line = 0; line < (width == 30 ? 3 : 2); ++line) {
        std::string text;
        for (std::size_t i = 0; i < width; ++i) text += alphabet[random() % alphabet.size()];
        sequence.lines.push_back(text);
      }
      break;
    }
  }
}

void chooseCamera(MRZSetSequence& sequence, std::mt19937& random) {
  MRZSetCamera& c = sequence.camera;
  c.sharpCut = random() % 2 == 0;
  c.glyphScale = between(random, 0.85, 1.02);
  c.strokeWeight = between(random, -0.025, 0.045);
  c.landscape = random() % 100 < 35;
  c.hd720 = random() % 100 < 35;
  c.tiltDirection = between(random, 0, 2 * std::numbers::pi);
  c.seed = 71000u + (mrzCameraSetSeed() - 424242u) * 977u + static_cast<std::uint32_t>(sequence.index) * 13u;
  const double sign = random() % 2 ? 1 : -1;
  switch (sequence.difficulty) {
    case MRZSetDifficulty::easy:
      c.capitalHeight = between(random, 20, 40);
      c.tiltDegrees = between(random, 0, 3);
      c.turnDegrees = sign * between(random, 0, 1.5);
      c.defocusSigma = between(random, 0, 0.8);
      c.unevenLight = between(random, 0, 0.3);
      c.contrast = between(random, 0.8, 1);
      c.noiseSigma = between(random, 1, 3);
      c.jpegQuality = betweenInt(random, 75, 90);
      break;
    case MRZSetDifficulty::medium:
      c.capitalHeight = between(random, 15, 32);
      c.tiltDegrees = between(random, 3, 6);
      c.turnDegrees = sign * between(random, 0, 3);
      c.defocusSigma = between(random, 0.5, 1.3);
      c.motionBlur = between(random, 0, 3);
      c.unevenLight = between(random, 0.2, 0.6);
      c.glare = random() % 10 < 3 ? between(random, 0.3, 0.6) : 0;
      c.contrast = between(random, 0.55, 0.9);
      c.noiseSigma = between(random, 2, 5);
      c.jpegQuality = betweenInt(random, 55, 80);
      break;
    case MRZSetDifficulty::hard:
      c.capitalHeight = between(random, 12, 24);
      c.tiltDegrees = between(random, 6, 10);
      c.turnDegrees = sign * between(random, 2, 5);
      c.defocusSigma = between(random, 0.8, 1.8);
      c.motionBlur = between(random, 1, 5);
      c.unevenLight = between(random, 0.4, 0.9);
      c.glare = random() % 2 ? between(random, 0.4, 0.8) : 0;
      c.contrast = between(random, 0.35, 0.7);
      c.noiseSigma = between(random, 3, 7);
      c.jpegQuality = betweenInt(random, 40, 60);
      break;
  }
  c.passportPage = sequence.lines.size() == 2 ? random() % 4 != 0 : random() % 5 == 0;

  // As large as asked while the zone still fits the region with a margin; a zone that cannot
  // be printed at 12 px in the region is held closer (a larger buffer, then landscape).
  std::size_t longest = 30;
  for (const auto& line : sequence.lines) longest = std::max(longest, line.size());
  const SetFont& font = setFont(c.sharpCut);
  auto fitting = [&] {
    const cv::Rect2d region = regionInUpright(uprightSize(c), regionOfInterestFor(c));
    const double pitch = 0.92 * region.width / static_cast<double>(longest);
    return pitch / font.advancePerEm * font.capitalPerEm * c.glyphScale;
  };
  if (fitting() < 12) c.hd720 = false;
  if (fitting() < 12) c.landscape = true;
  c.capitalHeight = std::max(12.0, std::min(c.capitalHeight, fitting()));
}

}  // namespace

const char* mrzSetDifficultyName(MRZSetDifficulty difficulty) {
  switch (difficulty) {
    case MRZSetDifficulty::easy: return "easy";
    case MRZSetDifficulty::medium: return "medium";
    case MRZSetDifficulty::hard: return "hard";
  }
  return "?";
}

const char* mrzSetContentName(MRZSetContent content) {
  switch (content) {
    case MRZSetContent::plain: return "plain";
    case MRZSetContent::lookAlike: return "look-alike";
    case MRZSetContent::longName: return "long name";
    case MRZSetContent::onePartName: return "one-part name";
    case MRZSetContent::sexX: return "sex X";
    case MRZSetContent::shortNumber: return "short number";
    case MRZSetContent::negative: return "negative";
  }
  return "?";
}

std::uint32_t mrzCameraSetSeed() {
  static const std::uint32_t seed = [] {
    const char* chosen = std::getenv("OSTREL_MRZ_SET_SEED");
    return chosen ? static_cast<std::uint32_t>(std::strtoul(chosen, nullptr, 10)) : 424242u;
  }();
  return seed;
}

int mrzCameraSetPositives() { return kSetPositives; }
int mrzCameraSetNegatives() { return kSetNegatives; }

MRZSetSequence mrzCameraSetSequence(int index) {
  if (index < 0 || index >= kSetPositives + kSetNegatives) throw std::out_of_range("no such sequence");
  std::lock_guard guard(renderLock());
  MRZSetSequence sequence;
  sequence.index = index;
  std::mt19937 random(mrzCameraSetSeed() + static_cast<std::uint32_t>(index) * 7919u);
  if (index < kSetPositives) {
    sequence.content = static_cast<MRZSetContent>(index % 6);
    const int within = index / 6;
    sequence.difficulty = static_cast<MRZSetDifficulty>((within / 2) % 3);
    fillPositive(sequence, random, within % 2 == 0);
  } else {
    const int negative = index - kSetPositives;
    sequence.content = MRZSetContent::negative;
    sequence.difficulty = static_cast<MRZSetDifficulty>((negative / 5) % 3);
    fillNegative(sequence, random, negative % 5);
  }
  chooseCamera(sequence, random);
  return sequence;
}

bool sameMRZZone(const std::vector<std::string>& printed, const std::string& accepted) {
  const std::vector<std::string> lines = mrzZoneLines(accepted);
  const auto formatter = makeMRZDateFormatter();
  const auto read = parseMRZ(lines, true, *formatter, clockInYear(2026));
  const auto truth = parseMRZ(printed, true, *formatter, clockInYear(2026));
  return read && truth && *read == *truth;
}

}  // namespace ostrel::testing
