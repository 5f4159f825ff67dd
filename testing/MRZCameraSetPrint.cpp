#include "testing/MRZCameraSetParts.hpp"

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include <pango/pangocairo.h>
#include FT_FREETYPE_H
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "testing/MRZTestData.hpp"

// The printed page: a card back or passport data page with its machine-readable zone, in the
// set's fonts.

namespace ostrel::testing::mrzset {

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

}  // namespace ostrel::testing::mrzset

namespace ostrel::testing {

namespace {

using mrzset::between;
using mrzset::betweenInt;
using mrzset::kSupersample;
using mrzset::renderLock;
using mrzset::setFont;
using mrzset::SetFont;

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

}  // namespace

MRZCameraSequence::MRZCameraSequence(MRZSetSequence sequence) : sequence_(std::move(sequence)) {
  std::lock_guard guard(renderLock());
  PageLayout layout = printPage(sequence_);
  page_ = std::move(layout.page);
  if (const char* dump = std::getenv("OSTREL_MRZ_SET_PAGE_DUMP"))
    cv::imwrite(std::string(dump) + "/page-" + std::to_string(sequence_.index) + ".png", page_);
  zoneCentre_ = layout.zoneCentre;
  pageScale_ = 1 / kSupersample;
}

}  // namespace ostrel::testing
