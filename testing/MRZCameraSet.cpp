#include "testing/MRZCameraSet.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <numbers>
#include <random>
#include <stdexcept>

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include <pango/pangocairo.h>
#include FT_FREETYPE_H
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "scan/MRZResult.hpp"
#include "scan/StringTracker.hpp"
#include "testing/MRZTestData.hpp"

namespace ostrel::testing {

namespace {

constexpr int kSetPositives = 216;  // six content classes x 36
constexpr int kSetNegatives = 30;
constexpr double kSupersample = 2;  // page pixels per buffer pixel at the zone's centre

// --- Fonts -----------------------------------------------------------------------------------

struct SetFont {
  FT_Face face = nullptr;
  cairo_font_face_t* cairoFace = nullptr;
  double capitalPerEm = 0.7;  // height of "H" over the font size
  double advancePerEm = 0.7;  // advance of "0" over the font size
};

std::mutex& renderLock() {
  static std::mutex lock;
  return lock;
}

// Loaded once and kept for the process: Cairo holds the faces it was given.
const SetFont& setFont(bool sharp) {
  static FT_Library library = [] {
    FT_Library made = nullptr;
    if (FT_Init_FreeType(&made) != 0) throw std::runtime_error("FreeType did not start");
    return made;
  }();
  static SetFont fonts[2];
  static bool loaded[2] = {false, false};
  SetFont& font = fonts[sharp ? 1 : 0];
  if (loaded[sharp ? 1 : 0]) return font;
  const std::string path = sharp ? OSTREL_OCRB_SHARP_FONT : OSTREL_OCRB_FONT;
  if (FT_New_Face(library, path.c_str(), 0, &font.face) != 0)
    throw std::runtime_error("cannot load " + path);
  font.cairoFace = cairo_ft_font_face_create_for_ft_face(font.face, 0);
  const double em = font.face->units_per_EM;
  if (FT_Load_Char(font.face, 'H', FT_LOAD_NO_SCALE) == 0)
    font.capitalPerEm = font.face->glyph->metrics.height / em;
  if (FT_Load_Char(font.face, '0', FT_LOAD_NO_SCALE) == 0)
    font.advancePerEm = font.face->glyph->metrics.horiAdvance / em;
  loaded[sharp ? 1 : 0] = true;
  return font;
}

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

double between(std::mt19937& random, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(random);
}

int betweenInt(std::mt19937& random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random);
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
      // The field filled to its last character, with no filler after the name.
      // The surname cut so that the given names start inside the field.
      std::string names = pickOne(random, kLongSurnames).substr(0, nameWidth - 12) + "<<" +
                          pickOne(random, kLongGiven) + "<ELISABETH<KATHARINA";
      names.resize(nameWidth);
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

// The buffer's region of interest in upright pixels.
cv::Rect2d regionInUpright(cv::Size upright, const platform::Rect& roi) {
  return {roi.minX() * upright.width, (1 - roi.maxY()) * upright.height,
          roi.width() * upright.width, roi.height() * upright.height};
}

cv::Size uprightSize(const MRZSetCamera& camera) {
  const int longSide = camera.hd720 ? 1280 : 1920, shortSide = camera.hd720 ? 720 : 1080;
  return camera.landscape ? cv::Size(longSide, shortSide) : cv::Size(shortSide, longSide);
}

platform::Rect regionOfInterestFor(const MRZSetCamera& camera) {
  // As the scanner computes it for a 16/9 buffer.
  if (camera.landscape) return {0.1, (1 - 0.51875) / 1.5, 0.8, 0.51875};
  const double width = 0.9, height = 0.6484375 * width / (16.0 / 9.0);
  return {(1 - width) / 2, (1 - height) / 1.5, width, height};
}

void chooseCamera(MRZSetSequence& sequence, std::mt19937& random) {
  MRZSetCamera& c = sequence.camera;
  c.sharpCut = random() % 2 == 0;
  c.glyphScale = between(random, 0.85, 1.02);
  c.strokeWeight = between(random, -0.025, 0.045);
  c.landscape = random() % 100 < 35;
  c.hd720 = random() % 100 < 35;
  c.tiltDirection = between(random, 0, 2 * std::numbers::pi);
  c.seed = 71000u + static_cast<std::uint32_t>(sequence.index) * 13u;
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

// --- The printed page ------------------------------------------------------------------------

void setGrey(cairo_t* cr, double value) { cairo_set_source_rgb(cr, value, value, value); }

void showText(cairo_t* cr, const std::string& text, const char* family, double size, double x,
              double y, bool bold = false) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, family);
  pango_font_description_set_absolute_size(description, size * PANGO_SCALE);
  if (bold) pango_font_description_set_weight(description, PANGO_WEIGHT_BOLD);
  pango_layout_set_font_description(layout, description);
  pango_font_description_free(description);
  pango_layout_set_text(layout, text.c_str(), -1);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
}

struct PageLayout {
  cv::Mat page;
  cv::Point2d zoneCentre;
};

PageLayout printPage(const MRZSetSequence& sequence) {
  const MRZSetCamera& c = sequence.camera;
  std::mt19937 random(c.seed + 5u);
  const SetFont& font = setFont(c.sharpCut);
  const double capital = c.capitalHeight * kSupersample;   // page pixels
  const double size = capital / font.capitalPerEm;         // font size as drawn
  const double pitch = font.advancePerEm * size / c.glyphScale;
  const std::size_t columns = std::max<std::size_t>(
      30, sequence.lines.empty() ? 30 : std::max_element(sequence.lines.begin(), sequence.lines.end(),
                                                         [](const auto& a, const auto& b) {
                                                           return a.size() < b.size();
                                                         })->size());
  const bool td1Like = columns <= 30;
  const double zoneWidth = pitch * static_cast<double>(columns);
  // ID-1 cards: 30 columns of 76 mm on 85.6 x 54 mm; passport pages: 44 columns of 112 mm on
  // 125 x 88 mm; TD2: 36 columns on 105 x 74 mm.
  const double pageWidth = zoneWidth * (td1Like ? 85.6 / 76.2 : columns == 36 ? 105.0 / 91.4 : 125.0 / 111.8);
  const double pageHeight = pageWidth * (td1Like ? 54.0 / 85.6 : columns == 36 ? 74.0 / 105.0 : 88.0 / 125.0);
  const double lineStep = capital * between(random, 1.65, 1.95);
  const std::size_t rows = sequence.lines.empty() ? 2 : sequence.lines.size();
  const double zoneBottom = pageHeight - capital * between(random, 1.0, 1.8);
  const double zoneLeft = (pageWidth - zoneWidth) / 2;
  const double zoneTop = zoneBottom - lineStep * static_cast<double>(rows - 1) - capital;

  const int width = static_cast<int>(std::ceil(pageWidth)), height = static_cast<int>(std::ceil(pageHeight));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);

  // Paper: a tint with a soft gradient.
  const double paper = between(random, 0.78, 0.95);
  const double tintR = between(random, -0.06, 0.04), tintB = between(random, -0.06, 0.04);
  cairo_pattern_t* ground = cairo_pattern_create_linear(0, 0, width, height);
  cairo_pattern_add_color_stop_rgb(ground, 0, paper + tintR, paper, paper + tintB);
  cairo_pattern_add_color_stop_rgb(ground, 1, paper - 0.08, paper - 0.05 + tintR, paper - 0.02);
  cairo_set_source(cr, ground);
  cairo_paint(cr);
  cairo_pattern_destroy(ground);

  // Guilloche and rosettes, faint, over the whole page (the zone included).
  const int curves = betweenInt(random, 8, 20);
  for (int curve = 0; curve < curves; ++curve) {
    const double amplitude = between(random, 0.02, 0.12) * height, period = between(random, 0.1, 0.5) * width;
    const double phase = between(random, 0, 6.3), base = between(random, 0, 1) * height;
    const double shade = paper - between(random, 0.04, 0.14);
    cairo_set_source_rgb(cr, shade + between(random, -0.05, 0.05), shade, shade + between(random, -0.05, 0.05));
    cairo_set_line_width(cr, between(random, 0.8, 2.2) * kSupersample / 2);
    cairo_move_to(cr, 0, base);
    for (double x = 0; x <= width; x += 3) cairo_line_to(cr, x, base + amplitude * std::sin(x / period * 6.283 + phase));
    cairo_stroke(cr);
  }
  const double rosetteX = between(random, 0.2, 0.8) * width, rosetteY = between(random, 0.2, 0.6) * height;
  for (int ring = 0; ring < 24; ++ring) {
    setGrey(cr, paper - 0.07);
    cairo_set_line_width(cr, kSupersample * 0.6);
    cairo_arc(cr, rosetteX + 0.08 * height * std::cos(ring * 0.2618), rosetteY + 0.08 * height * std::sin(ring * 0.2618),
              0.18 * height, 0, 2 * std::numbers::pi);
    cairo_stroke(cr);
  }

  // Other print above the zone.
  const double ink = 0.08 + between(random, 0, 0.12);
  const double shownInk = paper - (paper - ink) * c.contrast;
  const double labelSize = capital * between(random, 0.55, 0.8);
  if (c.passportPage) {
    // Photo on the left, labelled fields on the right, the number large at the top right.
    const double photoWidth = 0.26 * width, photoHeight = 0.5 * height;
    cairo_pattern_t* face = cairo_pattern_create_radial(0.04 * width + photoWidth / 2, 0.14 * height + photoHeight / 2,
                                                        2, 0.04 * width + photoWidth / 2,
                                                        0.14 * height + photoHeight / 2, photoWidth / 1.6);
    cairo_pattern_add_color_stop_rgb(face, 0, 0.75, 0.6, 0.5);
    cairo_pattern_add_color_stop_rgb(face, 1, 0.3, 0.3, 0.35);
    cairo_set_source(cr, face);
    cairo_rectangle(cr, 0.04 * width, 0.14 * height, photoWidth, photoHeight);
    cairo_fill(cr);
    cairo_pattern_destroy(face);
    const char* labels[] = {"Surname / Nom", "Given names / Prénoms", "Nationality / Nationalité",
                            "Date of birth / Date de naissance", "Sex / Sexe   Place of birth"};
    // The fields end just above the zone, so that some of them are in the camera's region.
    double y = std::max(0.1 * height, zoneTop - 5 * 2.3 * labelSize - 0.5 * labelSize);
    for (const char* label : labels) {
      setGrey(cr, shownInk + 0.25);
      showText(cr, label, "DejaVu Sans", labelSize * 0.8, 0.34 * width, y);
      setGrey(cr, shownInk);
      showText(cr, random() % 2 ? "ERIKSSON ANNA MARIA" : "12 AUG 1974  ZENITH", "DejaVu Sans",
               labelSize, 0.34 * width, y + labelSize * 1.0, true);
      y += labelSize * 2.3;
      if (y > zoneTop - 2 * labelSize) break;
    }
    setGrey(cr, ink);
    showText(cr, sequence.documentNumber.empty() ? "L898902C3" : sequence.documentNumber,
             "DejaVu Sans Mono", labelSize * 1.3, 0.72 * width, 0.03 * height, true);
  } else {
    // A card back: address and issue lines, a barcode-like block, a signature.
    double y = std::max(0.05 * height, zoneTop - 4 * 1.6 * labelSize - 0.8 * labelSize);
    const char* lines[] = {"Noi thuong tru / Place of residence:", "12 RUE DES LILAS 75011 PARIS",
                           "Ngay cap / Date of issue: 15/04/2021", "CUC TRUONG CUC CANH SAT QLHC"};
    for (const char* line : lines) {
      setGrey(cr, shownInk);
      showText(cr, line, random() % 2 ? "DejaVu Sans" : "DejaVu Serif", labelSize, 0.05 * width, y);
      y += labelSize * 1.6;
      if (y > zoneTop - 2 * labelSize) break;
    }
    for (int bar = 0; bar < 40; ++bar) {
      setGrey(cr, shownInk);
      cairo_rectangle(cr, 0.66 * width + bar * 0.006 * width, std::max(0.05 * height, zoneTop - 0.3 * height),
                      0.003 * width * (1 + random() % 2), 0.18 * height);
      cairo_fill(cr);
    }
    cairo_set_line_width(cr, kSupersample * 1.2);
    setGrey(cr, shownInk + 0.1);
    cairo_move_to(cr, 0.62 * width, 0.42 * height);
    for (int step = 0; step < 12; ++step)
      cairo_rel_curve_to(cr, 0.01 * width, -0.05 * height, 0.02 * width, 0.05 * height, 0.025 * width,
                         between(random, -0.02, 0.02) * height);
    cairo_stroke(cr);
  }

  // The zone: each glyph centred in its cell of the pitch, placed to a fraction of a pixel as
  // a printer places it, the outline grown or eaten for the stroke weight.
  cairo_set_font_face(cr, font.cairoFace);
  cairo_set_font_size(cr, size);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  const double glyphAdvance = font.advancePerEm * size;
  for (std::size_t row = 0; row < sequence.lines.size(); ++row) {
    const std::string& line = sequence.lines[row];
    const double baseline = zoneTop + capital + lineStep * static_cast<double>(row);
    std::vector<cairo_glyph_t> glyphs;
    for (std::size_t column = 0; column < line.size(); ++column) {
      cairo_glyph_t glyph;
      glyph.index = FT_Get_Char_Index(font.face, static_cast<unsigned char>(line[column]));
      glyph.x = zoneLeft + pitch * static_cast<double>(column) + (pitch - glyphAdvance) / 2 +
                between(random, -0.03, 0.03) * pitch;
      glyph.y = baseline + between(random, -0.02, 0.02) * capital;
      glyphs.push_back(glyph);
    }
    cairo_new_path(cr);
    cairo_glyph_path(cr, glyphs.data(), static_cast<int>(glyphs.size()));
    setGrey(cr, shownInk);
    cairo_fill_preserve(cr);
    if (c.strokeWeight > 0) {
      cairo_set_line_width(cr, 2 * c.strokeWeight * capital);
      cairo_stroke(cr);
    } else if (c.strokeWeight < 0) {
      setGrey(cr, paper - 0.03);
      cairo_set_line_width(cr, 2 * -c.strokeWeight * capital);
      cairo_stroke(cr);
    }
    cairo_new_path(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);

  cv::Mat bgra(height, width, CV_8UC4, cairo_image_surface_get_data(surface),
               static_cast<std::size_t>(cairo_image_surface_get_stride(surface)));
  PageLayout layout;
  cv::cvtColor(bgra, layout.page, cv::COLOR_BGRA2GRAY);
  cairo_surface_destroy(surface);
  // What the lens does before the sensor samples the page.
  cv::GaussianBlur(layout.page, layout.page, cv::Size(), 0.45 * kSupersample);
  layout.zoneCentre = {zoneLeft + zoneWidth / 2, (zoneTop + zoneBottom) / 2};
  return layout;
}

// Page corners seen through a camera tilted by `tilt` about an axis in direction `axis`,
// turned by `turn`, the zone's centre landing on `target`.
cv::Mat pageToUpright(cv::Size page, cv::Point2d zoneCentre, double scale, double tiltDegrees,
                      double axis, double turnDegrees, cv::Point2d target, double focal) {
  const double tilt = tiltDegrees * std::numbers::pi / 180, turn = turnDegrees * std::numbers::pi / 180;
  const cv::Vec3d u(std::cos(axis), std::sin(axis), 0);
  std::vector<cv::Point2f> from, to;
  for (const cv::Point2d corner : {cv::Point2d(0, 0), cv::Point2d(page.width, 0),
                                   cv::Point2d(page.width, page.height), cv::Point2d(0, page.height)}) {
    const cv::Vec3d p((corner.x - zoneCentre.x) * scale, (corner.y - zoneCentre.y) * scale, 0);
    // Rodrigues' rotation of p about u.
    const cv::Vec3d r = p * std::cos(tilt) + u.cross(p) * std::sin(tilt) + u * (u.dot(p)) * (1 - std::cos(tilt));
    const double depth = focal + r[2];
    const double x = focal * r[0] / depth, y = focal * r[1] / depth;
    const double xt = x * std::cos(turn) - y * std::sin(turn), yt = x * std::sin(turn) + y * std::cos(turn);
    from.emplace_back(static_cast<float>(corner.x), static_cast<float>(corner.y));
    to.emplace_back(static_cast<float>(target.x + xt), static_cast<float>(target.y + yt));
  }
  return cv::getPerspectiveTransform(from, to);
}

platform::PixelBufferPtr bufferOf(const cv::Mat& uprightGrey, bool landscape) {
  cv::Mat turned;
  if (landscape)
    turned = uprightGrey;
  else
    cv::rotate(uprightGrey, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
  const int width = turned.cols, height = turned.rows;
  platform::PixelPlane luma{width, height, static_cast<std::size_t>(width),
                            std::vector<std::uint8_t>(std::size_t(width) * std::size_t(height))};
  for (int y = 0; y < height; ++y)
    std::copy_n(turned.ptr<std::uint8_t>(y), width, luma.bytes.begin() + std::ptrdiff_t(y) * width);
  platform::PixelPlane chroma{width / 2, height / 2, static_cast<std::size_t>(width / 2 * 2),
                              std::vector<std::uint8_t>(std::size_t(width / 2 * 2) * std::size_t(height / 2), 128)};
  return std::make_shared<platform::PixelBuffer>(platform::PixelFormat::yCbCr420BiPlanarFullRange, width, height,
                                                 std::vector<platform::PixelPlane>{std::move(luma), std::move(chroma)});
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

int mrzCameraSetPositives() { return kSetPositives; }
int mrzCameraSetNegatives() { return kSetNegatives; }

MRZSetSequence mrzCameraSetSequence(int index) {
  if (index < 0 || index >= kSetPositives + kSetNegatives) throw std::out_of_range("no such sequence");
  std::lock_guard guard(renderLock());
  MRZSetSequence sequence;
  sequence.index = index;
  std::mt19937 random(424242u + static_cast<std::uint32_t>(index) * 7919u);
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

MRZCameraSequence::MRZCameraSequence(MRZSetSequence sequence) : sequence_(std::move(sequence)) {
  std::lock_guard guard(renderLock());
  PageLayout layout = printPage(sequence_);
  page_ = std::move(layout.page);
  if (const char* dump = std::getenv("OSTREL_MRZ_SET_PAGE_DUMP"))
    cv::imwrite(std::string(dump) + "/page-" + std::to_string(sequence_.index) + ".png", page_);
  zoneCentre_ = layout.zoneCentre;
  pageScale_ = 1 / kSupersample;
}

int MRZCameraSequence::exifOrientation() const { return sequence_.camera.landscape ? 1 : 6; }

platform::Rect MRZCameraSequence::regionOfInterest() const { return regionOfInterestFor(sequence_.camera); }

cv::Mat MRZCameraSequence::uprightFrame(int index) const {
  const MRZSetCamera& c = sequence_.camera;
  const cv::Size upright = uprightSize(c);
  const cv::Rect2d region = regionInUpright(upright, regionOfInterest());
  std::mt19937 random(c.seed * 31u + static_cast<std::uint32_t>(index) * 2654435761u + 7u);
  auto jitter = [&random](double amount) { return between(random, -amount, amount); };

  // The zone sits in the lower part of the region, where the guide puts it.
  std::mt19937 placement(c.seed + 11u);
  const cv::Point2d target(region.x + region.width * (0.5 + between(placement, -0.03, 0.03)) + jitter(4),
                           region.y + region.height * between(placement, 0.62, 0.72) + jitter(4));
  const double focal = 1.2 * std::max(upright.width, upright.height);
  const cv::Mat homography =
      pageToUpright(page_.size(), zoneCentre_, pageScale_, c.tiltDegrees + jitter(0.5), c.tiltDirection,
                    c.turnDegrees + jitter(0.4), target, focal);

  // Only the region (and a margin) is photographed; around it lies a plain table.
  const cv::Rect window = cv::Rect(cv::Point(static_cast<int>(region.x) - 12, static_cast<int>(region.y) - 12),
                                   cv::Size(static_cast<int>(region.width) + 24, static_cast<int>(region.height) + 24)) &
                          cv::Rect(cv::Point(0, 0), upright);
  const cv::Mat shift = (cv::Mat_<double>(3, 3) << 1, 0, -window.x, 0, 1, -window.y, 0, 0, 1);
  cv::Mat picture;
  const int table = 60 + static_cast<int>(c.seed % 60);
  cv::warpPerspective(page_, picture, shift * homography, window.size(), cv::INTER_LINEAR,
                      cv::BORDER_CONSTANT, cv::Scalar(table));

  cv::Mat light(picture.size(), CV_32F);
  {
    std::mt19937 lighting(c.seed + 23u);
    const double direction = between(lighting, 0, 2 * std::numbers::pi);
    const double gx = std::cos(direction), gy = std::sin(direction);
    const double glareX = between(lighting, 0.2, 0.8) * picture.cols + index * 6.0 * gx;
    const double glareY = between(lighting, 0.3, 0.9) * picture.rows + index * 3.0 * gy;
    const double glareRadius = between(lighting, 0.08, 0.16) * picture.cols;
    for (int y = 0; y < light.rows; ++y) {
      float* row = light.ptr<float>(y);
      for (int x = 0; x < light.cols; ++x) {
        const double t = 0.5 + 0.5 * ((x / double(light.cols) - 0.5) * gx + (y / double(light.rows) - 0.5) * gy);
        double value = 1.0 - 0.65 * c.unevenLight * t * t;
        if (c.glare > 0) {
          const double dx = x - glareX, dy = y - glareY;
          value += 1.6 * c.glare * std::exp(-(dx * dx + dy * dy) / (2 * glareRadius * glareRadius));
        }
        row[x] = static_cast<float>(value);
      }
    }
  }
  cv::Mat lit;
  picture.convertTo(lit, CV_32F);
  cv::multiply(lit, light, lit);
  lit.convertTo(picture, CV_8U);

  if (c.defocusSigma > 0) cv::GaussianBlur(picture, picture, cv::Size(), c.defocusSigma * between(random, 0.8, 1.2));
  if (c.motionBlur > 0) {
    const double length = c.motionBlur * between(random, 0.3, 1.2);
    if (length >= 1) {
      const int size = static_cast<int>(std::ceil(length)) | 1;
      cv::Mat kernel = cv::Mat::zeros(size, size, CV_32F);
      const double angle = between(random, 0, std::numbers::pi);
      for (int step = 0; step <= 4 * size; ++step) {
        const double s = (step / double(4 * size) - 0.5) * length;
        const int x = static_cast<int>(std::lround(size / 2 + s * std::cos(angle)));
        const int y = static_cast<int>(std::lround(size / 2 + s * std::sin(angle)));
        if (x >= 0 && y >= 0 && x < size && y < size) kernel.at<float>(y, x) += 1;
      }
      kernel /= cv::sum(kernel)[0];
      cv::filter2D(picture, picture, -1, kernel);
    }
  }
  if (c.noiseSigma > 0) {
    cv::RNG rng(c.seed * 101u + static_cast<std::uint32_t>(index));
    cv::Mat noise(picture.size(), CV_16S), noisy;
    rng.fill(noise, cv::RNG::NORMAL, 0, c.noiseSigma);
    picture.convertTo(noisy, CV_16S);
    noisy += noise;
    noisy.convertTo(picture, CV_8U);
  }
  if (c.jpegQuality > 0 && c.jpegQuality < 100) {
    std::vector<std::uint8_t> jpeg;
    cv::imencode(".jpg", picture, jpeg, {cv::IMWRITE_JPEG_QUALITY, c.jpegQuality});
    picture = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
  }
  cv::Mat frame(upright, CV_8UC1, cv::Scalar(table));
  picture.copyTo(frame(window));
  return frame;
}

platform::PixelBufferPtr MRZCameraSequence::frame(int index) const {
  return bufferOf(uprightFrame(index), sequence_.camera.landscape);
}

bool sameMRZZone(const std::vector<std::string>& printed, const std::string& accepted) {
  const std::vector<std::string> lines = mrzZoneLines(accepted);
  const auto formatter = makeMRZDateFormatter();
  const auto read = parseMRZ(lines, true, *formatter, clockInYear(2026));
  const auto truth = parseMRZ(printed, true, *formatter, clockInYear(2026));
  return read && truth && *read == *truth;
}

}  // namespace ostrel::testing
