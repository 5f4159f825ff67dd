#include "testing/MRZLinePrint.hpp"

#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>
#include <numbers>
#include <random>
#include <stdexcept>

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace ostrel::testing {

namespace {

constexpr int kLineSupersample = 4;

struct PrintFace {
  cairo_font_face_t* face = nullptr;
  double capPerSize = 0;      // capital height over the font size
  double advancePerSize = 0;  // the fixed advance over the font size
};

// Faces are loaded once and kept for the process; Cairo's drawing with them is serialised.
std::mutex& printLock() {
  static std::mutex lock;
  return lock;
}

PrintFace& printFace(bool sharp) {
  static FT_Library library = nullptr;
  static std::map<bool, PrintFace> faces;
  auto found = faces.find(sharp);
  if (found != faces.end()) return found->second;
  if (!library && FT_Init_FreeType(&library) != 0) throw std::runtime_error("FreeType cannot start");
  const std::filesystem::path regular = OSTREL_OCRB_FONT;
  const std::filesystem::path path = sharp ? regular.parent_path() / "OCRBS.otf" : regular;
  FT_Face ftFace = nullptr;
  if (FT_New_Face(library, path.c_str(), 0, &ftFace) != 0) {
    throw std::runtime_error("cannot load the OCR-B font " + path.string());
  }
  PrintFace face;
  face.face = cairo_ft_font_face_create_for_ft_face(ftFace, 0);
  cairo_surface_t* probe = cairo_image_surface_create(CAIRO_FORMAT_A8, 8, 8);
  cairo_t* cr = cairo_create(probe);
  cairo_set_font_face(cr, face.face);
  cairo_set_font_size(cr, 1000);
  cairo_text_extents_t h;
  cairo_text_extents(cr, "H", &h);
  face.capPerSize = h.height / 1000;
  face.advancePerSize = h.x_advance / 1000;
  cairo_destroy(cr);
  cairo_surface_destroy(probe);
  if (!(face.capPerSize > 0.3 && face.advancePerSize > 0.3)) {
    throw std::runtime_error("implausible OCR-B metrics in " + path.string());
  }
  return faces.emplace(sharp, face).first->second;
}

// Ink coverage 0-1 of the lines, supersampled, level and unturned.
cv::Mat inkOfLines(const std::vector<std::string>& lines, const MRZLinePrintStyle& style,
                   double& pitchOut, cv::Point2d& centreOut) {
  std::lock_guard guard(printLock());
  PrintFace& face = printFace(style.sharpCut);
  const double cap = style.capHeight * kLineSupersample;
  const double size = cap / face.capPerSize;
  const double pitch = face.advancePerSize * size;
  const double lineStep = 1.75 * cap;
  std::size_t longest = 0;
  for (const auto& line : lines) longest = std::max(longest, line.size());
  const double margin = 2.5 * cap;
  const int width = static_cast<int>(std::ceil(2 * margin + pitch * double(longest)));
  const int height = static_cast<int>(std::ceil(2 * margin + lineStep * double(lines.size())));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_font_face(cr, face.face);
  cairo_set_font_size(cr, size * style.glyphScale);
  const double stroke = 2 * std::abs(style.weight) * cap;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const double baseline = margin + lineStep * double(i) + 0.5 * (lineStep + cap);
    for (std::size_t k = 0; k < lines[i].size(); ++k) {
      const char text[2] = {lines[i][k], 0};
      const double glyphAdvance = pitch * style.glyphScale;
      cairo_new_path(cr);
      cairo_move_to(cr, margin + pitch * double(k) + (pitch - glyphAdvance) / 2, baseline);
      cairo_text_path(cr, text);
      cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
      cairo_set_source_rgba(cr, 0, 0, 0, 1);
      cairo_fill_preserve(cr);
      if (stroke > 0) {
        // Bolder: the outline stroked in ink; thinner: stroked in paper, which eats the edge.
        cairo_set_operator(cr, style.weight > 0 ? CAIRO_OPERATOR_OVER : CAIRO_OPERATOR_CLEAR);
        cairo_set_line_width(cr, stroke);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_stroke(cr);
      }
    }
  }
  cairo_surface_flush(surface);
  cv::Mat ink(height, width, CV_8UC1, cairo_image_surface_get_data(surface),
              static_cast<std::size_t>(cairo_image_surface_get_stride(surface)));
  cv::Mat coverage;
  ink.convertTo(coverage, CV_32F, 1 / 255.0);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  pitchOut = pitch;
  centreOut = {width / 2.0, height / 2.0};
  return coverage;
}

// Where a point of the level picture (centred coordinates) lands after the card is turned in
// space and photographed from a distance of `focal` (a phone's lens at the card's width).
cv::Matx33d cardToPicture(const MRZLinePrintStyle& style, double focal, cv::Point2d from, cv::Point2d to) {
  const double d = std::numbers::pi / 180;
  const double a = style.tiltDegrees * d, b = style.pitchDegrees * d, c = style.turnDegrees * d;
  const cv::Matx33d ry(std::cos(a), 0, std::sin(a), 0, 1, 0, -std::sin(a), 0, std::cos(a));
  const cv::Matx33d rx(1, 0, 0, 0, std::cos(b), -std::sin(b), 0, std::sin(b), std::cos(b));
  const cv::Matx33d rz(std::cos(c), -std::sin(c), 0, std::sin(c), std::cos(c), 0, 0, 0, 1);
  const cv::Matx33d r = rz * ry * rx;
  // Plane points (x, y, 0) at depth `focal`: columns r1, r2 and the translation.
  const cv::Matx33d plane(r(0, 0), r(0, 1), 0, r(1, 0), r(1, 1), 0, r(2, 0), r(2, 1), focal);
  const cv::Matx33d k(focal, 0, to.x, 0, focal, to.y, 0, 0, 1);
  const cv::Matx33d shift(1, 0, -from.x, 0, 1, -from.y, 0, 0, 1);
  return k * plane * shift;
}

}  // namespace

cv::Mat printMRZLines(const std::vector<std::string>& lines, const MRZLinePrintStyle& style) {
  double pitch = 0;
  cv::Point2d centre;
  const cv::Mat fine = inkOfLines(lines, style, pitch, centre);
  cv::Mat ink;
  cv::resize(fine, ink, cv::Size(fine.cols / kLineSupersample, fine.rows / kLineSupersample), 0, 0, cv::INTER_AREA);

  std::mt19937 random(style.seed);
  std::uniform_real_distribution<double> unit(0, 1);
  // Paper with faint guilloche curves, ink a little lighter than black.
  const double paper = 200 + 40 * unit(random), inkLevel = 15 + 60 * unit(random);
  cv::Mat card(ink.size(), CV_32F, cv::Scalar(paper));
  for (int curve = 0; curve < 5; ++curve) {
    const double amplitude = 5 + 20 * unit(random), period = 40 + 160 * unit(random);
    const double phase = 6.3 * unit(random), base = card.rows * unit(random);
    std::vector<cv::Point> points;
    for (int x = 0; x < card.cols; x += 3) {
      points.emplace_back(x, static_cast<int>(base + amplitude * std::sin(x / period * 6.283 + phase)));
    }
    cv::polylines(card, points, false, cv::Scalar(paper - 12 - 18 * unit(random)), 1, cv::LINE_AA);
  }
  cv::Mat printed = card - ink.mul(card - inkLevel);

  const double focal = 1.2 * printed.cols;
  const cv::Point2d from(printed.cols / 2.0, printed.rows / 2.0);
  const cv::Point2d to(from.x + style.subPixelX, from.y + style.subPixelY);
  const cv::Matx33d h = cardToPicture(style, focal, from, to);
  cv::Mat photo;
  cv::warpPerspective(printed, photo, cv::Mat(h), printed.size(), cv::INTER_LINEAR,
                      cv::BORDER_CONSTANT, cv::Scalar(paper));
  if (style.blurSigma > 0) cv::GaussianBlur(photo, photo, cv::Size(), style.blurSigma);
  if (style.noiseSigma > 0) {
    cv::Mat noise(photo.size(), CV_32F);
    cv::setRNGSeed(static_cast<int>(style.seed));
    cv::randn(noise, 0, style.noiseSigma);
    photo += noise;
  }
  cv::Mat grey;
  photo.convertTo(grey, CV_8U);
  if (style.jpegQuality > 0) {
    std::vector<std::uint8_t> jpeg;
    cv::imencode(".jpg", grey, jpeg, {cv::IMWRITE_JPEG_QUALITY, style.jpegQuality});
    grey = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
  }
  (void)pitch;
  return grey;
}

std::vector<std::string> randomZoneLines(int count, int length, bool lookAlikes, std::uint32_t seed) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static const std::string alike = "O0D0I1B8S5Z2G6XDQO";
  std::mt19937 random(seed);
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) {
    std::string line;
    while (static_cast<int>(line.size()) < length) {
      const unsigned roll = random() % 10;
      if (roll == 0) {
        line.append(1 + random() % 4, '<');
      } else if (lookAlikes && roll < 6) {
        line += alike[random() % alike.size()];
      } else {
        line += alphabet[random() % alphabet.size()];
      }
    }
    line.resize(static_cast<std::size_t>(length));
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace ostrel::testing
