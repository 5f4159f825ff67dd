// The photo set's printed page: a card back or a passport data page with its security printing,
// and the zone printed as a 300 dpi laser printer puts it down, dot by dot.

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <opencv2/imgproc.hpp>

#include "testing/MRZPhotoSet.hpp"
#include "testing/MRZPhotoSetParts.hpp"

namespace ostrel::testing {

namespace {

constexpr double kPhotoTau = 6.283185307179586;

class PhotoFonts {
 public:
  PhotoFonts() {
    if (FT_Init_FreeType(&library_)) throw std::runtime_error("photo set: FreeType does not start");
  }
  ~PhotoFonts() {
    for (FT_Face face : faces_) FT_Done_Face(face);
    FT_Done_FreeType(library_);
  }
  PhotoFonts(const PhotoFonts&) = delete;
  PhotoFonts& operator=(const PhotoFonts&) = delete;

  FT_Face open(const std::string& path) {
    FT_Face face = nullptr;
    if (FT_New_Face(library_, path.c_str(), 0, &face))
      throw std::runtime_error("photo set: cannot open the font " + path);
    faces_.push_back(face);
    return face;
  }

 private:
  FT_Library library_ = nullptr;
  std::vector<FT_Face> faces_;
};

std::string photoFontBeside(const std::string& file) {
  std::string dir = OSTREL_TEXT_FONT;
  dir = dir.substr(0, dir.find_last_of('/') + 1);
  return dir + file;
}

cv::Vec3d photoPastel(PhotoRandom& random, double lightness) {
  return {lightness + random.uniform(-0.12, 0.08), lightness + random.uniform(-0.12, 0.08),
          lightness + random.uniform(-0.12, 0.08)};
}

cv::Scalar photoScalar(const cv::Vec3d& colour) {
  return {255 * std::clamp(colour[0], 0.0, 1.0), 255 * std::clamp(colour[1], 0.0, 1.0),
          255 * std::clamp(colour[2], 0.0, 1.0)};
}

// Anti-aliased text (grey-level FreeType bitmaps, hinted) blended into a BGR 8-bit picture.
double photoDrawText(cv::Mat& picture, FT_Face face, const std::string& text, double x, double baseline,
                     double capPx, const cv::Scalar& colour, double opacity = 1) {
  FT_Set_Pixel_Sizes(face, 0, FT_UInt(std::max(2.0, capPx * 1.4)));
  double pen = x;
  for (const char ch : text) {
    if (FT_Load_Char(face, FT_ULong(static_cast<unsigned char>(ch)), FT_LOAD_RENDER)) continue;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int left = int(std::lround(pen)) + slot->bitmap_left;
    const int top = int(std::lround(baseline)) - slot->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
      const int y = top + int(row);
      if (y < 0 || y >= picture.rows) continue;
      for (unsigned col = 0; col < bitmap.width; ++col) {
        const int px = left + int(col);
        if (px < 0 || px >= picture.cols) continue;
        const double a = opacity * bitmap.buffer[row * unsigned(bitmap.pitch) + col] / 255.0;
        if (a <= 0) continue;
        auto& pixel = picture.at<cv::Vec3b>(y, px);
        for (int c = 0; c < 3; ++c) pixel[c] = cv::saturate_cast<uchar>(pixel[c] * (1 - a) + colour[c] * a);
      }
    }
    pen += double(slot->advance.x) / 64;
  }
  return pen - x;
}

// Interlaced rosettes of the kind banknotes and passports carry.
void photoGuilloche(cv::Mat& picture, PhotoRandom& random, cv::Point2d centre, double radius, const cv::Scalar& colour) {
  const int petals = 6 + random.below(14);
  const int strands = 14 + random.below(16);
  const double depth = random.uniform(0.12, 0.3);
  const int rings = 1 + random.below(3);
  for (int ring = 0; ring < rings; ++ring) {
    const double r0 = radius * (0.45 + 0.25 * ring) / (0.45 + 0.25 * (rings - 1));
    for (int s = 0; s < strands; ++s) {
      std::vector<cv::Point> points;
      const double phase = kPhotoTau * s / strands / petals;
      for (int i = 0; i <= 720; ++i) {
        const double t = kPhotoTau * i / 720;
        const double r = r0 * (1 + depth * std::sin(petals * t + phase * petals) * std::cos(3 * t + ring));
        points.emplace_back(int(std::lround((centre.x + r * std::cos(t)) * 16)),
                            int(std::lround((centre.y + r * std::sin(t)) * 16)));
      }
      cv::polylines(picture, points, true, colour, 1, cv::LINE_AA, 4);
    }
  }
}

// Wavy fine lines over a rectangle.
void photoFineLines(cv::Mat& picture, PhotoRandom& random, const cv::Rect& area, double spacing, const cv::Scalar& colour) {
  const double amplitude = random.uniform(0.5, 2.5) * spacing;
  const double wavelength = random.uniform(8, 30) * spacing;
  const double drift = random.uniform(0.05, 0.3);
  for (double y0 = area.y - amplitude; y0 < area.y + area.height + amplitude; y0 += spacing) {
    std::vector<cv::Point> points;
    for (int x = area.x; x <= area.x + area.width; x += 3) {
      const double y = y0 + amplitude * std::sin(kPhotoTau * x / wavelength + drift * y0);
      if (y >= area.y && y < area.y + area.height) points.emplace_back(x * 16, int(std::lround(y * 16)));
    }
    if (points.size() > 1) cv::polylines(picture, points, false, colour, 1, cv::LINE_AA, 4);
  }
}

// A portrait block: background, shoulders, head, hair, eyes; soft like a printed photo.
void photoPortrait(cv::Mat& picture, PhotoRandom& random, const cv::Rect& box, double opacity) {
  cv::Mat block(box.size(), CV_8UC3, photoScalar(photoPastel(random, 0.8)));
  const double w = box.width, h = box.height;
  const cv::Scalar skin = photoScalar(cv::Vec3d(random.uniform(0.3, 0.75), random.uniform(0.4, 0.8), random.uniform(0.55, 0.92)));
  const cv::Scalar hair = photoScalar(cv::Vec3d(random.uniform(0.05, 0.3), random.uniform(0.05, 0.3), random.uniform(0.05, 0.4)));
  const cv::Scalar cloth = photoScalar(photoPastel(random, 0.3));
  cv::ellipse(block, cv::Point(int(w / 2), int(h * 1.05)), cv::Size(int(w * 0.48), int(h * 0.32)), 0, 0, 360, cloth, -1, cv::LINE_AA);
  cv::ellipse(block, cv::Point(int(w / 2), int(h * 0.4)), cv::Size(int(w * 0.3), int(h * 0.27)), 0, 0, 360, hair, -1, cv::LINE_AA);
  cv::ellipse(block, cv::Point(int(w / 2), int(h * 0.47)), cv::Size(int(w * 0.24), int(h * 0.28)), 0, 0, 360, skin, -1, cv::LINE_AA);
  for (int side = -1; side <= 1; side += 2)
    cv::ellipse(block, cv::Point(int(w / 2 + side * w * 0.09), int(h * 0.43)), cv::Size(int(w * 0.035), int(h * 0.015)), 0, 0, 360,
                hair, -1, cv::LINE_AA);
  cv::ellipse(block, cv::Point(int(w / 2), int(h * 0.6)), cv::Size(int(w * 0.07), int(h * 0.015)), 0, 0, 360,
              photoScalar(cv::Vec3d(0.3, 0.3, 0.6)), -1, cv::LINE_AA);
  cv::GaussianBlur(block, block, cv::Size(), std::max(1.0, w / 150));
  cv::Mat target = picture(box);
  cv::addWeighted(target, 1 - opacity, block, opacity, 0, target);
}

// A signature: a few connected loops.
void photoSignature(cv::Mat& picture, PhotoRandom& random, cv::Point2d origin, double width, double height) {
  std::vector<cv::Point> points;
  double phase = random.uniform(0, kPhotoTau);
  for (int i = 0; i <= 400; ++i) {
    const double t = double(i) / 400;
    phase += random.uniform(0.05, 0.25);
    points.emplace_back(int((origin.x + width * t + 0.12 * width * std::cos(phase * 1.7)) * 16),
                        int((origin.y + height * 0.5 * std::sin(phase) * (1 - 0.5 * t)) * 16));
  }
  cv::polylines(picture, points, false, cv::Scalar(90, 30, 20), 2, cv::LINE_AA, 4);
}

const std::vector<std::string> kPhotoMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                               "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

std::string photoHumanDate(const std::string& yymmdd, bool birth) {
  // A page printed with a zone of random characters still shows a date.
  if (yymmdd.size() != 6 || yymmdd.find_first_not_of("0123456789") != std::string::npos) return "01 JAN 2030";
  const int yy = std::stoi(yymmdd.substr(0, 2));
  const int year = birth ? (yy > 25 ? 1900 + yy : 2000 + yy) : 2000 + yy;
  const int month = std::clamp(std::stoi(yymmdd.substr(2, 2)), 1, 12);
  return yymmdd.substr(4, 2) + " " + kPhotoMonths[std::size_t(month - 1)] + " " + std::to_string(year);
}

std::string photoSpaced(std::string text) {
  std::replace(text.begin(), text.end(), '<', ' ');
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The zone's ink: every character hinted and rasterised to the printer's 1-bit dots, the dots
// laid down as round toner spots grown by dot gain, with stray toner and missed dots; each
// glyph sits a fraction of a dot off the line, as a printer's paper feed leaves it.
void photoPrintZone(cv::Mat& coverage, PhotoRandom& random, FT_Face face, const PhotoSequence& sequence,
                    const PhotoPage& page) {
  const PhotoPrint& print = sequence.print;
  const double dotsPerMm = kPhotoPrinterDotsPerMm;
  const double capDots = kPhotoCapMm * print.glyphScale * dotsPerMm;
  if (FT_Load_Char(face, 'H', FT_LOAD_NO_SCALE)) throw std::runtime_error("photo set: OCR-B has no 'H'");
  const double capUnits = double(face->glyph->metrics.height);
  const double ppem = capDots * face->units_per_EM / capUnits;
  FT_Set_Char_Size(face, 0, FT_F26Dot6(std::lround(ppem * 64)), 72, 72);
  const double pitchDots = kPhotoPitchMm * dotsPerMm;  // 30 dots
  const double lineDots = kPhotoLineMm * dotsPerMm;  // 50 dots
  const double pxPerDot = page.pxPerMm / dotsPerMm;
  const double radius = print.dotGain * pxPerDot;
  const cv::Point2d originPx = (page.zoneTopLeftMm + cv::Point2d(page.marginMm, page.marginMm)) * page.pxPerMm;
  auto stamp = [&](double cx, double cy, double r) {
    const int x0 = int(std::floor(cx - r - 1)), x1 = int(std::ceil(cx + r + 1));
    const int y0 = int(std::floor(cy - r - 1)), y1 = int(std::ceil(cy + r + 1));
    for (int y = std::max(0, y0); y <= std::min(coverage.rows - 1, y1); ++y)
      for (int x = std::max(0, x0); x <= std::min(coverage.cols - 1, x1); ++x) {
        const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
        const double c = std::clamp(r + 0.5 - d, 0.0, 1.0);
        float& v = coverage.at<float>(y, x);
        v = float(1 - (1 - v) * (1 - c));
      }
  };
  for (std::size_t l = 0; l < sequence.lines.size(); ++l) {
    const std::string& line = sequence.lines[l];
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (FT_Load_Char(face, FT_ULong(static_cast<unsigned char>(line[i])), FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO)) continue;
      FT_GlyphSlot slot = face->glyph;
      const double advance = double(slot->advance.x) / 64;
      if (slot->format == FT_GLYPH_FORMAT_OUTLINE && print.embolden != 0)
        FT_Outline_EmboldenXY(&slot->outline, FT_Pos(print.embolden),
                              FT_Pos(print.embolden));
      if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO)) continue;
      const FT_Bitmap& bitmap = slot->bitmap;
      const double jitterX = random.normal() * 0.3 * print.baselineJitter;
      const double jitterY = random.normal() * print.baselineJitter;
      const double left = double(i) * pitchDots + (pitchDots - advance) / 2 + slot->bitmap_left + jitterX;
      const double top = double(l) * lineDots + capDots - slot->bitmap_top + jitterY;
      for (unsigned row = 0; row < bitmap.rows; ++row)
        for (unsigned col = 0; col < bitmap.width; ++col) {
          const bool on = (bitmap.buffer[row * unsigned(bitmap.pitch) + col / 8] >> (7 - col % 8)) & 1;
          if (!on || random.chance(print.speckle * 2)) continue;  // a dot the drum missed
          const double r = radius * (1 + 0.12 * random.normal());
          stamp(originPx.x + (left + col + 0.5) * pxPerDot, originPx.y + (top + row + 0.5) * pxPerDot, std::max(0.2, r));
        }
    }
  }
  // Stray toner over the zone's area.
  const double areaDots = page.zoneWidthMm * page.zoneHeightMm * dotsPerMm * dotsPerMm;
  const int strays = int(areaDots * print.speckle);
  for (int s = 0; s < strays; ++s)
    stamp(originPx.x + random.uniform(-2, page.zoneWidthMm + 2) * page.pxPerMm,
          originPx.y + random.uniform(-2, page.zoneHeightMm + 2) * page.pxPerMm, radius * random.uniform(0.4, 1.0));
}

}  // namespace

PhotoPage printPhotoPage(const PhotoSequence& sequence) {
  PhotoRandom random(sequence.seed * 31 + std::uint64_t(sequence.index) * 7919 + 3);
  PhotoPage page;
  const bool card = sequence.cardFormat;
  page.widthMm = card ? 85.6 : 125;
  page.heightMm = card ? 54 : 88;
  page.pxPerMm = card ? 18 : 13;
  const double ppm = page.pxPerMm;
  const std::size_t columns = sequence.lines.empty() ? (card ? 30 : 44) : sequence.lines[0].size();
  const std::size_t rows = sequence.lines.empty() ? (card ? 3 : 2) : sequence.lines.size();
  page.zoneWidthMm = double(columns) * kPhotoPitchMm;
  page.zoneHeightMm = double(rows - 1) * kPhotoLineMm + kPhotoCapMm * sequence.print.glyphScale;
  const double bottomGap = card ? 3.2 : 4.5;
  page.zoneTopLeftMm = {(page.widthMm - page.zoneWidthMm) / 2 + random.uniform(-0.6, 0.6),
                        page.heightMm - bottomGap - page.zoneHeightMm + random.uniform(-0.5, 0.5)};
  const int width = int(std::lround((page.widthMm + 2 * page.marginMm) * ppm));
  const int height = int(std::lround((page.heightMm + 2 * page.marginMm) * ppm));
  const double m = page.marginMm * ppm;
  auto at = [&](double xMm, double yMm) { return cv::Point2d(m + xMm * ppm, m + yMm * ppm); };

  PhotoFonts fonts;
  FT_Face ocrb = fonts.open(sequence.print.sharpCut ? OSTREL_OCRB_SHARP_FONT : OSTREL_OCRB_FONT);
  FT_Face sans = fonts.open(OSTREL_TEXT_FONT);
  FT_Face sansBold = fonts.open(photoFontBeside("DejaVuSans-Bold.ttf"));
  FT_Face serif = fonts.open(photoFontBeside("DejaVuSerif.ttf"));
  FT_Face condensed = fonts.open(photoFontBeside("DejaVuSansCondensed.ttf"));
  FT_Face valueFace = random.chance(0.5) ? sansBold : (random.chance(0.5) ? serif : condensed);

  // Tinted paper: a gradient between two pastels with a soft radial bloom.
  cv::Mat picture(height, width, CV_8UC3);
  const cv::Vec3d tintA = photoPastel(random, 0.9), tintB = photoPastel(random, 0.82);
  const double angle = random.uniform(0, kPhotoTau);
  const cv::Point2d bloom = at(random.uniform(0, page.widthMm), random.uniform(0, page.heightMm * 0.6));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double t = 0.5 + 0.5 * ((x - width / 2.0) * std::cos(angle) + (y - height / 2.0) * std::sin(angle)) / width;
      const double b = std::exp(-std::hypot(x - bloom.x, y - bloom.y) / (25 * ppm)) * 0.08;
      const cv::Vec3d c = tintA * (1 - t) + tintB * t + cv::Vec3d(b, -b * 0.5, b * 0.3);
      picture.at<cv::Vec3b>(y, x) = cv::Vec3b(cv::saturate_cast<uchar>(255 * c[0]), cv::saturate_cast<uchar>(255 * c[1]),
                                              cv::saturate_cast<uchar>(255 * c[2]));
    }
  const cv::Rect docRect{int(m), int(m), int(page.widthMm * ppm), int(page.heightMm * ppm)};
  const cv::Scalar lineColour = photoScalar(photoPastel(random, 0.62));
  cv::Mat pattern = picture.clone();
  photoFineLines(pattern, random, docRect, random.uniform(0.35, 0.8) * ppm, lineColour);
  const int variant = sequence.print.page;
  const double patternStrength = 0.25 + 0.1 * variant + 0.1 * int(sequence.bucket);
  cv::addWeighted(picture, 1 - patternStrength, pattern, patternStrength, 0, picture);
  pattern = picture.clone();
  const cv::Scalar rosetteColour = photoScalar(photoPastel(random, 0.58));
  // On the easy pages the rosettes keep clear of the zone; elsewhere they may run under it, as
  // on many cards.
  const double clearance = sequence.bucket == PhotoBucket::easy ? page.zoneTopLeftMm.y - 1.5 : page.heightMm * 2;
  {
    const double cy = page.heightMm * random.uniform(0.3, 0.5);
    const double radius = std::min(page.heightMm * random.uniform(0.25, 0.4), (clearance - cy) / 1.35);
    if (radius > 4) photoGuilloche(pattern, random, at(page.widthMm * random.uniform(0.55, 0.8), cy), radius * ppm, rosetteColour);
  }
  if (variant % 2 == 0) {
    const double cy = sequence.bucket == PhotoBucket::easy ? page.heightMm * 0.3 : page.heightMm * 0.75;
    const double radius = std::min(page.heightMm * random.uniform(0.2, 0.3), (clearance - cy) / 1.35);
    if (radius > 4)
      photoGuilloche(pattern, random, at(page.widthMm * random.uniform(0.1, 0.3), cy), radius * ppm,
                     photoScalar(photoPastel(random, 0.55)));
  }
  cv::addWeighted(picture, 0.45, pattern, 0.55, 0, picture);

  // What sits above the zone: a portrait, labelled fields in other fonts, microtext lines.
  const cv::Scalar labelColour = photoScalar(cv::Vec3d(random.uniform(0.3, 0.5), random.uniform(0.2, 0.35), random.uniform(0.1, 0.3)));
  const cv::Scalar valueColour = photoScalar(cv::Vec3d(random.uniform(0.02, 0.12), random.uniform(0.02, 0.1), random.uniform(0.02, 0.12)));
  const std::string nameField = !sequence.lines.empty() ? (card ? sequence.lines.back() : sequence.lines[0].substr(5)) : "DOE<<JANE";
  const auto split = nameField.find("<<");
  const std::string surname = photoSpaced(nameField.substr(0, split));
  const std::string given = split == std::string::npos ? "" : photoSpaced(nameField.substr(split + 2));
  const std::string dataLine = sequence.lines.size() > 1 ? sequence.lines[1] : std::string(44, '<');
  const std::string birth = card ? dataLine.substr(0, 6) : dataLine.substr(13, 6);
  const std::string expiry = card ? dataLine.substr(8, 6) : dataLine.substr(21, 6);
  const double labelCap = 1.0 * ppm, valueCap = 1.9 * ppm;
  double fieldsLeft = 0;
  if (card) {
    photoPortrait(picture, random, cv::Rect(cv::Point(at(page.widthMm - 22, 4)), cv::Size(int(16 * ppm), int(20 * ppm))), 0.35);
    fieldsLeft = 4;
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"ADDRESS / ADRESSE", random.chance(0.5) ? "12 RUE DES LILAS 75011 PARIS" : "HAUPTSTRASSE 4A, 10115 BERLIN"},
        {"HEIGHT / TAILLE", std::to_string(150 + random.below(45)) + " cm"},
        {"DATE OF ISSUE", photoHumanDate(expiry, false).substr(0, 7) + "2021"},
        {"AUTHORITY", "CITY OF " + surname.substr(0, std::min<std::size_t>(surname.size(), 8))}};
    double y = 5;
    for (const auto& [label, value] : fields) {
      photoDrawText(picture, sans, label, at(fieldsLeft, y).x, at(0, y + 1.1).y, labelCap, labelColour);
      photoDrawText(picture, valueFace, value, at(fieldsLeft, y).x, at(0, y + 3.6).y, valueCap * 0.85, valueColour);
      y += 6.8;
      if (y > page.zoneTopLeftMm.y - 8) break;
    }
  } else {
    photoDrawText(picture, sansBold, "PASSPORT  PASSEPORT  PASAPORTE", at(6, 0).x, at(0, 6).y, 2.4 * ppm, labelColour);
    const cv::Rect photoBox(cv::Point(at(6, 10)), cv::Size(int(32 * ppm), int(41 * ppm)));
    photoPortrait(picture, random, photoBox, 0.95);
    photoPortrait(picture, random, cv::Rect(cv::Point(at(page.widthMm - 24, 46)), cv::Size(int(16 * ppm), int(20 * ppm))), 0.25);
    fieldsLeft = 42;
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"Surname / Nom", surname},
        {"Given names / Prenoms", given.empty() ? "-" : given},
        {"Nationality / Nationalite", sequence.lines.empty() ? "UTOPIAN" : dataLine.substr(10, 3)},
        {"Date of birth / Date de naissance", photoHumanDate(birth, true)},
        {"Sex / Sexe      Place of birth", std::string(1, dataLine.size() > 20 ? dataLine[20] : 'F') + "          ZENITH"},
        {"Date of expiry / Date d'expiration", photoHumanDate(expiry, false)}};
    double y = 9;
    for (const auto& [label, value] : fields) {
      photoDrawText(picture, sans, label, at(fieldsLeft, y).x, at(0, y + 1.1).y, labelCap, labelColour);
      photoDrawText(picture, valueFace, value, at(fieldsLeft, y).x, at(0, y + 3.7).y, valueCap, valueColour);
      y += 7.4;
    }
    photoSignature(picture, random, at(fieldsLeft + 30, 58), 30 * ppm, 6 * ppm);
  }
  // Microtext: a line of tiny repeated words just above the zone, and one across the top.
  std::string micro;
  while (micro.size() < 400) micro += random.chance(0.5) ? "UTOPIA REPUBLIC " : "SECURE DOCUMENT ";
  const double microCap = random.uniform(0.22, 0.35) * ppm;
  photoDrawText(picture, condensed, micro, at(1, 0).x, at(0, page.zoneTopLeftMm.y - 2.2).y, microCap, lineColour, 0.9);
  photoDrawText(picture, condensed, micro, at(1, 0).x, at(0, 1.6).y, microCap, rosetteColour, 0.9);

  // The zone itself.
  cv::Mat coverage(height, width, CV_32F, cv::Scalar(0));
  if (!sequence.lines.empty()) photoPrintZone(coverage, random, ocrb, sequence, page);
  else {
    // Where a zone would be, more of the page's own text.
    for (int l = 0; l < 2; ++l)
      photoDrawText(picture, serif, "VALID FOR ALL COUNTRIES  " + std::string(l ? "NOT TRANSFERABLE" : "SEE PAGE 3"),
                    at(page.zoneTopLeftMm.x, 0).x, at(0, page.zoneTopLeftMm.y + 2.4 + l * 4.2).y, 2.0 * ppm, valueColour);
  }

  // To linear light, the ink laid over, the card's outline with its corners, and a hand.
  page.texture = cv::Mat(height, width, CV_32FC4, cv::Scalar(0, 0, 0, 0));
  const double ink = sequence.camera.inkReflectance;
  const cv::Vec3d inkTint(ink * random.uniform(0.9, 1.3), ink * random.uniform(0.8, 1.1), ink * random.uniform(0.8, 1.1));
  float toLinear[256];
  for (int v = 0; v < 256; ++v) {
    const double s = v / 255.0;
    toLinear[v] = float(s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4));
  }
  const double cornerMm = card ? 3.18 : 1.0;
  const double hx = page.widthMm / 2, hy = page.heightMm / 2;
  const bool hand = sequence.print.behind == 3;
  const cv::Point2d thumb(random.uniform(-3, 1), random.uniform(0.25, 0.45) * page.heightMm);
  const cv::Vec3d skin(random.uniform(0.12, 0.4), random.uniform(0.2, 0.45), random.uniform(0.35, 0.7));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double xm = (x + 0.5) / ppm - page.marginMm, ym = (y + 0.5) / ppm - page.marginMm;
      // Signed distance to the rounded rectangle, in mm (negative inside).
      const double qx = std::abs(xm - hx) - (hx - cornerMm), qy = std::abs(ym - hy) - (hy - cornerMm);
      const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - cornerMm;
      const double alpha = std::clamp(0.5 - outside * ppm, 0.0, 1.0);
      cv::Vec4f& out = page.texture.at<cv::Vec4f>(y, x);
      const cv::Vec3b& in = picture.at<cv::Vec3b>(y, x);
      const float c = coverage.at<float>(y, x);
      for (int k = 0; k < 3; ++k) {
        double paper = toLinear[in[k]];
        if (outside > -0.35) paper = 0.55 + 0.2 * (k == 0);  // the card's cut edge
        out[k] = float(paper * (1 - c) + inkTint[k] * c);
      }
      out[3] = float(alpha);
      if (hand) {
        const double dThumb = std::hypot((xm - thumb.x) / 9.0, (ym - thumb.y) / 5.5);
        const double dPalm = std::hypot((xm + 30) / 28.0, (ym - thumb.y - 12) / 30.0);
        const double skinAlpha = std::clamp((1 - std::min(dThumb, dPalm)) * 8, 0.0, 1.0);
        if (skinAlpha > 0) {
          const double shade = 0.8 + 0.2 * std::clamp(1 - dThumb, 0.0, 1.0);
          for (int k = 0; k < 3; ++k) out[k] = float(out[k] * (1 - skinAlpha) + skin[k] * shade * skinAlpha);
          out[3] = float(std::max<double>(out[3], skinAlpha));
        }
      }
    }
  return page;
}

}  // namespace ostrel::testing
