// The photo set's documents: what each zone says and how each sequence is shot.

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "testing/MRZPhotoSet.hpp"
#include "testing/MRZPhotoSetParts.hpp"

namespace ostrel::testing {

namespace {

const std::vector<std::string> kPhotoStates = {
    "D<<", "UTO", "GBR", "FRA", "ESP", "ITA", "NLD", "BEL", "POL", "SWE", "FIN", "NOR", "DNK",
    "AUT", "CHE", "PRT", "GRC", "CZE", "HUN", "IRL", "USA", "CAN", "MEX", "BRA", "ARG", "IND",
    "CHN", "JPN", "KOR", "VNM", "THA", "PHL", "IDN", "NGA", "EGY", "ZAF", "TUR", "UKR", "AUS",
    "NZL", "ROU", "SVK", "LTU", "EST", "ISL", "MAR", "KEN", "PAK", "CHL", "COL"};

// Surnames and given names of several origins, already transliterated the way zones print
// them (umlauts spelt out, spaces and hyphens as fillers).
const std::vector<std::string> kPhotoSurnames = {
    "SMITH", "OCONNOR", "MUELLER", "SCHROEDER", "GARCIA<MARTINEZ", "FERNANDEZ<DE<LA<CRUZ",
    "NGUYEN", "TRAN", "AL<HASHIMI", "ABD<EL<RAHMAN", "KOWALCZYK", "WOJCIECHOWSKA", "IVANOVA",
    "PAPADOPOULOS", "VAN<DER<BERG", "DE<JONG", "ZHANG", "WANG", "KIM", "PARK", "YAMAMOTO",
    "SUZUKI", "SINGH", "CHATTERJEE", "OKONKWO", "ADEYEMI", "SILVA<SANTOS", "OLIVEIRA",
    "JOHANSSON", "LINDQVIST", "KOVACS", "NAGY", "ROSSI", "ESPOSITO", "DUBOIS", "LEFEBVRE",
    "HAEKKINEN", "KORHONEN", "YILMAZ", "OEZTUERK", "MBEKI", "ERIKSSON", "OSULLIVAN",
    "NOVAK", "DVORAK", "POPESCU", "HERNANDEZ", "SCHWARZENEGGER", "CONSTANTINOPOULOU"};
const std::vector<std::string> kPhotoGivenNames = {
    "ANNA", "MARIA", "JOHN", "PETER", "JUERGEN", "MARIE<CLAIRE", "JOSE<LUIS", "MINH<ANH",
    "MOHAMMED", "FATIMA", "AISHA", "KRZYSZTOF", "AGNIESZKA", "OLGA", "DIMITRIOS", "WEI",
    "XIAOMING", "JI<HOON", "HARUKI", "YUKI", "PRIYA", "ARJUN", "CHIDI", "NGOZI", "JOAO",
    "LUIZA", "ERIK", "INGRID", "LASZLO", "ZSOFIA", "GIUSEPPE", "CHIARA", "AMELIE", "MATTI",
    "AYSE", "MEHMET", "THABO", "SIOBHAN", "JAN", "EVA", "IOANA", "ALEJANDRO", "FRANCOISE"};
// Names rich in letters that look like digits (O, I, B, S, Z, G, D).
const std::vector<std::string> kPhotoLookAlikeSurnames = {
    "SZOBOSZLAI", "BOGDOSZ", "DIOSZEGI", "GOSSOB", "ZIOBRO", "OBIDOS", "SOBIESZCZYK",
    "DOBOSZ", "GIBSON", "BOOGIS", "ISIDOROS", "DZIOBOSZ", "SZOSZ", "BOZIDOS", "OGDOBIS"};
const std::vector<std::string> kPhotoLookAlikeGiven = {
    "ZBIGNIEW", "BOGDAN", "ISIDORO", "OSGOOD", "DIOGO", "ZSOLT", "GISBO", "OBI", "SZIGI",
    "BIODOS", "GOZDZ", "IOSIF", "DOBIS"};

const std::string kPhotoLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const std::string kPhotoDigits = "0123456789";

std::string photoPadded(std::string text, std::size_t width) {
  if (text.size() > width) text.resize(width);
  text.append(width - text.size(), '<');
  return text;
}

std::string photoDate(PhotoRandom& random, int yearFrom, int yearTo) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int year = yearFrom + random.below(yearTo - yearFrom + 1);
  const int month = 1 + random.below(12);
  int lastDay = days[month - 1];
  if (month == 2 && year % 4 == 0) lastDay = 29;
  const int day = 1 + random.below(lastDay);
  char text[16];
  std::snprintf(text, sizeof text, "%02d%02d%02d", year % 100, month, day);
  return text;
}

// The name field: primary identifier, "<<", secondary identifier, filled to `width`.
std::string photoNameField(PhotoRandom& random, PhotoContent content, std::size_t width) {
  const bool lookAlike = content == PhotoContent::lookAlike;
  const auto& surnames = lookAlike ? kPhotoLookAlikeSurnames : kPhotoSurnames;
  const auto& given = lookAlike ? kPhotoLookAlikeGiven : kPhotoGivenNames;
  if (content == PhotoContent::onePartName) return photoPadded(random.pick(surnames), width);
  if (content == PhotoContent::longName) {
    // Names that run to the field's very end: the last place holds a letter, not a filler.
    for (;;) {
      std::string name = random.pick(surnames);
      if (random.chance(0.5)) name += "<" + random.pick(surnames);
      name += "<<" + random.pick(given);
      while (name.size() < width) name += "<" + random.pick(given);
      name.resize(width);
      if (name.back() != '<' && name[width - 2] != '<') return name;
    }
  }
  std::string name = random.pick(surnames) + "<<" + random.pick(given);
  if (random.chance(0.4)) name += "<" + random.pick(given);
  if (name.size() > width) name.resize(width);
  return photoPadded(name, width);
}

// A document number of 9 places: letters and digits, short ones filled with '<'.
std::string photoDocumentNumber(PhotoRandom& random, PhotoContent content) {
  std::string number;
  if (content == PhotoContent::lookAlike) {
    const std::string confusable = "OIBSZGD0185260";
    for (int i = 0; i < 9; ++i) number += confusable[std::size_t(random.below(int(confusable.size())))];
    return number;
  }
  const int length = content == PhotoContent::shortNumber ? 5 + random.below(3) : 9;
  const int letters = random.below(3);
  for (int i = 0; i < length; ++i) {
    const bool letter = i < letters || (i > 2 && random.chance(0.15));
    number += letter ? kPhotoLetters[std::size_t(random.below(26))] : kPhotoDigits[std::size_t(random.below(10))];
  }
  return photoPadded(number, 9);
}

std::string photoOptionalData(PhotoRandom& random, PhotoContent content, std::size_t width) {
  if (random.chance(0.5)) return std::string(width, '<');
  std::string data;
  const std::size_t length = std::size_t(random.below(int(width) - 3)) + 3;
  const std::string pool = content == PhotoContent::lookAlike ? "OIBSZGD0185260" : kPhotoDigits + "ABCKLMX";
  for (std::size_t i = 0; i < length; ++i) data += pool[std::size_t(random.below(int(pool.size())))];
  return photoPadded(data, width);
}

char photoSex(PhotoRandom& random, PhotoContent content) {
  if (content == PhotoContent::sexX) return 'X';
  return random.chance(0.5) ? 'M' : 'F';
}

std::vector<std::string> photoZone(PhotoRandom& random, PhotoContent content, bool card) {
  const std::string state = random.pick(kPhotoStates);
  const std::string nationality = random.chance(0.8) ? state : random.pick(kPhotoStates);
  const std::string number = photoDocumentNumber(random, content);
  const std::string birth = photoDate(random, 1941, 2009);
  const std::string expiry = photoDate(random, 2025, 2036);
  const char sex = photoSex(random, content);
  if (card) {
    static const std::vector<std::string> codes = {"ID", "I<", "IR", "AC", "IT"};
    std::string line1 = random.pick(codes) + state + number + mrzPhotoCheckDigit(number) +
                        photoOptionalData(random, content, 15);
    std::string line2 = birth + mrzPhotoCheckDigit(birth) + sex + expiry + mrzPhotoCheckDigit(expiry) +
                        nationality + photoOptionalData(random, content, 11);
    line2 += mrzPhotoCheckDigit(line1.substr(5, 25) + line2.substr(0, 7) + line2.substr(8, 7) + line2.substr(18, 11));
    return {line1, line2, photoNameField(random, content, 30)};
  }
  static const std::vector<std::string> codes = {"P<", "P<", "P<", "PD", "PO"};
  std::string line1 = random.pick(codes) + state + photoNameField(random, content, 39);
  const std::string personal = photoOptionalData(random, content, 14);
  // An empty personal number may carry '<' or '0' as its check character.
  const char personalCheck = personal == std::string(14, '<') && random.chance(0.5) ? '<' : mrzPhotoCheckDigit(personal);
  std::string line2 = number + mrzPhotoCheckDigit(number) + nationality + birth + mrzPhotoCheckDigit(birth) + sex +
                      expiry + mrzPhotoCheckDigit(expiry) + personal + personalCheck;
  line2 += mrzPhotoCheckDigit(line2.substr(0, 10) + line2.substr(13, 7) + line2.substr(21, 22));
  return {line1, line2};
}

// A valid zone of a kind the reader is not for: TD2 (2 x 36) or a visa (2 x 44 or 2 x 36).
std::vector<std::string> photoOtherZone(PhotoRandom& random, int kind) {
  const std::string state = random.pick(kPhotoStates);
  const std::string number = photoDocumentNumber(random, PhotoContent::plain);
  const std::string birth = photoDate(random, 1950, 2005);
  const std::string expiry = photoDate(random, 2025, 2034);
  const char sex = random.chance(0.5) ? 'M' : 'F';
  const std::size_t width = kind == 1 ? 44 : 36;
  const std::string code = kind == 0 ? "I<" : "V<";
  std::string line1 = code + state + photoNameField(random, PhotoContent::plain, width - 5);
  std::string line2 = number + mrzPhotoCheckDigit(number) + state + birth + mrzPhotoCheckDigit(birth) + sex + expiry +
                      mrzPhotoCheckDigit(expiry);
  if (kind == 0) {
    line2 += photoOptionalData(random, PhotoContent::plain, 7);
    line2 += mrzPhotoCheckDigit(line2.substr(0, 10) + line2.substr(13, 7) + line2.substr(21, 14));
  } else {
    line2 += photoOptionalData(random, PhotoContent::plain, width - 28);
  }
  return {line1, line2};
}

// Where the check characters of a TD1 or TD3 zone are: (line, column).
std::vector<std::pair<int, int>> photoCheckPlaces(bool card) {
  if (card) return {{0, 14}, {1, 6}, {1, 14}, {1, 29}};
  return {{1, 9}, {1, 19}, {1, 27}, {1, 43}};
}

double photoSigned(PhotoRandom& random, double lo, double hi) {
  const double magnitude = random.uniform(lo, hi);
  return random.chance(0.5) ? magnitude : -magnitude;
}

void photoShoot(PhotoRandom& random, PhotoBucket bucket, PhotoSequence& sequence) {
  PhotoCamera& c = sequence.camera;
  PhotoPrint& p = sequence.print;
  const int level = int(bucket);  // 0 easy, 1 medium, 2 hard
  auto pickRange = [&](const double (&ranges)[3][2]) {
    return random.uniform(ranges[level][0], ranges[level][1]);
  };
  static const double cap[3][2] = {{22, 40}, {15, 26}, {12, 17}};
  static const double tilt[3][2] = {{0, 3}, {2.5, 6.5}, {6, 10}};
  static const double turn[3][2] = {{0, 1.5}, {1, 3.2}, {3, 5}};
  static const double defocus[3][2] = {{0, 0.3}, {0.2, 0.7}, {0.5, 1.1}};
  static const double lens[3][2] = {{0.45, 0.65}, {0.6, 0.85}, {0.75, 1.05}};
  static const double shake[3][2] = {{0, 1.2}, {1, 2.6}, {2, 4.5}};
  static const double tremor[3][2] = {{0.8, 2}, {2, 4}, {3, 6}};
  static const double vignetting[3][2] = {{0, 0.2}, {0.1, 0.35}, {0.25, 0.5}};
  static const double barrel[3][2] = {{0, 0.01}, {0.005, 0.02}, {0.015, 0.035}};
  static const double light[3][2] = {{0, 0.2}, {0.1, 0.4}, {0.3, 0.6}};
  static const double ink[3][2] = {{0.03, 0.08}, {0.06, 0.14}, {0.12, 0.24}};
  static const double readNoise[3][2] = {{0.002, 0.004}, {0.003, 0.007}, {0.005, 0.011}};
  static const double fullWell[3][2] = {{2500, 4000}, {1200, 2500}, {600, 1200}};
  static const double jpeg[3][2] = {{75, 90}, {55, 80}, {40, 60}};
  static const double glyph[3][2] = {{0.92, 1.02}, {0.88, 1.0}, {0.85, 0.95}};
  static const double embolden[3][2] = {{-12, 20}, {-28, 36}, {-44, 52}};
  static const double dotGain[3][2] = {{0.55, 0.75}, {0.5, 0.85}, {0.45, 0.95}};
  static const double approach[3][2] = {{0.92, 1.08}, {0.85, 1.18}, {0.8, 1.25}};
  c.capHeight = pickRange(cap);
  const double tiltMagnitude = pickRange(tilt), tiltDirection = random.uniform(0, 6.283185307179586);
  c.tiltX = tiltMagnitude * std::cos(tiltDirection);
  c.tiltY = tiltMagnitude * std::sin(tiltDirection);
  c.turn = photoSigned(random, turn[level][0], turn[level][1]);
  c.defocus = pickRange(defocus);
  c.lensBlur = pickRange(lens);
  c.shake = pickRange(shake);
  c.tremor = pickRange(tremor);
  c.vignetting = pickRange(vignetting);
  c.barrel = pickRange(barrel);
  c.lightSlope = pickRange(light);
  const double glareChance[3] = {0.25, 0.5, 0.8};
  const double glarePeak[3][2] = {{0.2, 0.6}, {0.4, 1.3}, {1.0, 2.5}};
  c.glare = random.chance(glareChance[level]) ? random.uniform(glarePeak[level][0], glarePeak[level][1]) : 0;
  c.inkReflectance = pickRange(ink);
  c.readNoise = pickRange(readNoise);
  c.fullWell = pickRange(fullWell);
  const double exposure[3] = {1.25, 1.6, 2.0};
  c.exposureStart = std::exp(random.uniform(-1, 1) * std::log(exposure[level]));
  c.gamma = random.uniform(1.9, 2.4);
  c.sharpen = random.uniform(0.2, 0.9);
  c.jpegQuality = int(std::lround(pickRange(jpeg)));
  c.approach = pickRange(approach);
  p.sharpCut = random.chance(0.5);
  p.glyphScale = pickRange(glyph);
  p.embolden = pickRange(embolden);
  p.dotGain = pickRange(dotGain);
  p.speckle = random.uniform(0.0005, 0.004) * (1 + level);
  p.baselineJitter = random.uniform(0.2, 0.6 + 0.4 * level);
  p.page = random.below(4);
  p.behind = random.below(4);
}

}  // namespace

const char* photoBucketName(PhotoBucket bucket) {
  switch (bucket) {
    case PhotoBucket::easy: return "easy";
    case PhotoBucket::medium: return "medium";
    case PhotoBucket::hard: return "hard";
  }
  return "?";
}

const char* photoContentName(PhotoContent content) {
  switch (content) {
    case PhotoContent::plain: return "plain";
    case PhotoContent::lookAlike: return "look-alike";
    case PhotoContent::longName: return "long-name";
    case PhotoContent::onePartName: return "one-part-name";
    case PhotoContent::sexX: return "sex-X";
    case PhotoContent::shortNumber: return "short-number";
  }
  return "?";
}

const char* photoNegativeName(PhotoNegative negative) {
  switch (negative) {
    case PhotoNegative::none: return "none";
    case PhotoNegative::noZone: return "no-zone";
    case PhotoNegative::badCheckDigit: return "bad-check-digit";
    case PhotoNegative::otherFormat: return "other-format";
    case PhotoNegative::randomText: return "random-text";
    case PhotoNegative::cutOff: return "cut-off";
  }
  return "?";
}

std::string PhotoSequence::zone() const {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
  return text;
}

std::uint64_t photoSetSeed() {
  if (const char* text = std::getenv("OSTREL_PHOTO_SET_SEED")) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end != text && *end == '\0') return value;
  }
  return kPhotoSetDefaultSeed;
}

char mrzPhotoCheckDigit(const std::string& field) {
  static const int weights[] = {7, 3, 1};
  int sum = 0;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    int value = 0;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'A' && c <= 'Z') value = c - 'A' + 10;
    else if (c != '<') return '?';
    sum += value * weights[i % 3];
  }
  return char('0' + sum % 10);
}

bool mrzPhotoZoneValid(const std::vector<std::string>& lines) {
  const bool card = lines.size() == 3;
  if (!(card || lines.size() == 2)) return false;
  for (const auto& line : lines) {
    if (line.size() != (card ? 30u : 44u)) return false;
    for (const char c : line)
      if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '<')) return false;
  }
  auto holds = [](const std::string& field, char check) { return mrzPhotoCheckDigit(field) == check; };
  if (card) {
    const std::string& a = lines[0];
    const std::string& b = lines[1];
    if (a[0] != 'I' && a[0] != 'A' && a[0] != 'C') return false;
    return holds(a.substr(5, 9), a[14]) && holds(b.substr(0, 6), b[6]) && holds(b.substr(8, 6), b[14]) &&
           holds(a.substr(5, 25) + b.substr(0, 7) + b.substr(8, 7) + b.substr(18, 11), b[29]);
  }
  const std::string& b = lines[1];
  if (lines[0][0] != 'P') return false;
  const std::string personal = b.substr(28, 14);
  const bool personalHolds = holds(personal, b[42]) || (personal == std::string(14, '<') && b[42] == '<');
  return holds(b.substr(0, 9), b[9]) && holds(b.substr(13, 6), b[19]) && holds(b.substr(21, 6), b[27]) &&
         personalHolds && holds(b.substr(0, 10) + b.substr(13, 7) + b.substr(21, 22), b[43]);
}

PhotoSequence photoSequence(int index, std::uint64_t seed) {
  PhotoSequence sequence;
  sequence.index = index;
  sequence.seed = seed;
  PhotoRandom random(seed * 0x100000001B3ull + std::uint64_t(index) * 0x9E3779B1ull + 17);
  int device = 0;
  if (index < 3 * kPhotoSetPositivesPerBucket) {
    const int j = index % kPhotoSetPositivesPerBucket;
    sequence.bucket = PhotoBucket(index / kPhotoSetPositivesPerBucket);
    sequence.content = PhotoContent(j % 6);
    sequence.cardFormat = (j / 6) % 2 == 0;
    device = (j + j / 6) % 4;  // every content class meets every resolution and orientation
    sequence.lines = photoZone(random, sequence.content, sequence.cardFormat);
  } else {
    const int k = index - 3 * kPhotoSetPositivesPerBucket;
    sequence.negative = PhotoNegative(1 + k % 5);
    sequence.bucket = PhotoBucket((k / 5) % 3);
    sequence.cardFormat = (k / 5) % 2 == 0;
    device = k % 4;
    switch (sequence.negative) {
      case PhotoNegative::noZone: break;
      case PhotoNegative::badCheckDigit: {
        sequence.lines = photoZone(random, PhotoContent::plain, sequence.cardFormat);
        const auto places = photoCheckPlaces(sequence.cardFormat);
        const auto [line, column] = places[std::size_t(random.below(int(places.size())))];
        char& check = sequence.lines[std::size_t(line)][std::size_t(column)];
        check = char('0' + ((check == '<' ? 0 : check - '0') + 1 + random.below(9)) % 10);
        break;
      }
      case PhotoNegative::otherFormat:
        sequence.lines = photoOtherZone(random, k / 5 % 3);
        sequence.cardFormat = false;  // none of them fits a card's width
        break;
      case PhotoNegative::randomText: {
        const std::string pool = kPhotoLetters + kPhotoDigits + "<<<<<<";
        for (int l = 0; l < (sequence.cardFormat ? 3 : 2); ++l) {
          std::string line;
          for (int i = 0; i < (sequence.cardFormat ? 30 : 44); ++i) line += pool[std::size_t(random.below(int(pool.size())))];
          sequence.lines.push_back(line);
        }
        break;
      }
      case PhotoNegative::cutOff:
        sequence.lines = photoZone(random, PhotoContent::plain, sequence.cardFormat);
        break;
      case PhotoNegative::none: break;
    }
  }
  photoShoot(random, sequence.bucket, sequence);
  sequence.camera.upright = device % 2 == 0;
  sequence.camera.bufferWidth = device < 2 ? 1920 : 1280;
  sequence.camera.bufferHeight = device < 2 ? 1080 : 720;
  return sequence;
}

platform::Rect photoSetRegionOfInterest(bool upright) {
  // The scanner screen's own sizing for a 16:9 camera: sideways it reads a fixed share of the
  // picture, upright one sized by the buffer's aspect ratio; both sit a little above centre.
  const double ratio = 16.0 / 9.0;
  double width = 0.8, height = 0.51875;
  if (upright) {
    width = std::min(0.8 * ratio, 0.9);
    height = 0.6484375 * width / ratio;
  }
  return platform::Rect{(1 - width) * 0.5, (1 - height) / 1.5, width, height};
}

}  // namespace ostrel::testing
