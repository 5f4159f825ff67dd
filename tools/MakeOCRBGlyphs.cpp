// Build-time generator of the zone reader's glyph templates. It renders the 37 characters of
// the zone alphabet in the OCR-B font at several sizes, blurs, noise levels and small turns,
// cuts the renderings with the same row finder the reader uses at run time, averages the cells
// of each character and writes the averages as a C++ source compiled into the library.
//
// usage: ostrel_make_ocrb_glyphs OCRB.otf output.cpp

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include <opencv2/freetype.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/GlyphRows.hpp"

namespace {

using ostrel::platform::findGlyphRows;
using ostrel::platform::kGlyphCellPixels;

const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789<";
constexpr int kLineLength = 40;
constexpr int kLinesPerPicture = 3;

// Advance over capital height, measured on a large rendering.
double measurePitchPerHeight(cv::freetype::FreeType2& font) {
  const int size = 200;
  int baseline = 0;
  const cv::Size one = font.getTextSize("H", size, -1, &baseline);
  const cv::Size eleven = font.getTextSize("HHHHHHHHHHH", size, -1, &baseline);
  const double advance = (eleven.width - one.width) / 10.0;
  cv::Mat canvas(size * 2, size * 2, CV_8UC3, cv::Scalar::all(255));
  font.putText(canvas, "H", {size / 2, size + size / 2}, size, cv::Scalar::all(0), -1,
               cv::LINE_AA, true);
  cv::Mat grey, ink;
  cv::cvtColor(canvas, grey, cv::COLOR_BGR2GRAY);
  cv::threshold(grey, ink, 128, 255, cv::THRESH_BINARY_INV);
  const cv::Rect box = cv::boundingRect(ink);
  if (box.height <= 0 || advance <= 0) return 0;
  return advance / box.height;
}

std::string randomLine(std::mt19937& random) {
  std::string line = kAlphabet;
  while (line.size() < kLineLength) line += kAlphabet[random() % kAlphabet.size()];
  std::shuffle(line.begin(), line.end(), random);
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " OCRB.otf output.cpp\n";
    return 2;
  }
  auto font = cv::freetype::createFreeType2();
  try {
    font->loadFontData(argv[1], 0);
  } catch (const cv::Exception& e) {
    std::cerr << "cannot load the font " << argv[1] << ": " << e.what() << "\n";
    return 1;
  }
  const double pitchPerHeight = measurePitchPerHeight(*font);
  if (!(pitchPerHeight > 0.5 && pitchPerHeight < 2)) {
    std::cerr << "implausible advance/height ratio " << pitchPerHeight << "\n";
    return 1;
  }

  std::mt19937 random(20261207);
  std::vector<std::vector<double>> sums(kAlphabet.size(), std::vector<double>(kGlyphCellPixels, 0));
  std::vector<int> counts(kAlphabet.size(), 0);
  int rowsUsed = 0, rowsRejected = 0;
  for (int size : {17, 20, 23, 27, 32, 38, 45}) {
    for (double sigma : {0.0, 0.7, 1.2, 1.7}) {
      for (double degrees : {-3.0, 0.0, 3.0}) {
        std::vector<std::string> lines;
        for (int i = 0; i < kLinesPerPicture; ++i) lines.push_back(randomLine(random));
        int baseline = 0;
        const cv::Size text = font->getTextSize(lines[0], size, -1, &baseline);
        const int margin = size * 2;
        cv::Mat canvas(margin * 2 + size * 2 * kLinesPerPicture, text.width + margin * 2, CV_8UC3,
                       cv::Scalar::all(235));
        for (int i = 0; i < kLinesPerPicture; ++i) {
          font->putText(canvas, lines[static_cast<std::size_t>(i)], {margin, margin + size * (2 * i + 1)},
                        size, cv::Scalar::all(30), -1, cv::LINE_AA, true);
        }
        cv::Mat grey;
        cv::cvtColor(canvas, grey, cv::COLOR_BGR2GRAY);
        const cv::Mat turn = cv::getRotationMatrix2D(cv::Point2f(grey.cols / 2.f, grey.rows / 2.f),
                                                     degrees, 1.0);
        cv::warpAffine(grey, grey, turn, grey.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        if (sigma > 0) cv::GaussianBlur(grey, grey, cv::Size(), sigma);
        cv::Mat noise(grey.size(), CV_16S);
        cv::randn(noise, 0, 4);
        cv::Mat noisy;
        grey.convertTo(noisy, CV_16S);
        noisy += noise;
        noisy.convertTo(grey, CV_8U);

        const auto rows = findGlyphRows(grey, pitchPerHeight);
        for (std::size_t r = 0; r < lines.size(); ++r) {
          if (rows.size() != lines.size() || rows[r].cells.size() != lines[r].size()) {
            ++rowsRejected;
            continue;
          }
          ++rowsUsed;
          for (std::size_t i = 0; i < lines[r].size(); ++i) {
            const cv::Mat& cell = rows[r].cells[i];
            if (cell.empty()) continue;
            const auto glyph = kAlphabet.find(lines[r][i]);
            const float* values = cell.ptr<float>(0);
            for (int p = 0; p < kGlyphCellPixels; ++p) sums[glyph][static_cast<std::size_t>(p)] += values[p];
            ++counts[glyph];
          }
        }
      }
    }
  }
  std::cerr << "glyph templates: " << rowsUsed << " rows used, " << rowsRejected
            << " rows not cut into the right number of cells\n";
  if (rowsUsed < 3 * rowsRejected) {
    std::cerr << "too many rows were cut wrongly; the row finder does not match the font\n";
    return 1;
  }

  std::ofstream out(argv[2]);
  out << "// Generated at build time by ostrel_make_ocrb_glyphs from the OCR-B font. Do not edit.\n"
      << "#include \"platform/vision/OCRBGlyphTemplates.hpp\"\n\n"
      << "namespace ostrel::platform {\n\n"
      << "const double kOCRBPitchPerHeight = " << pitchPerHeight << ";\n\n"
      << "const char kOCRBGlyphAlphabet[kOCRBGlyphCount + 1] = \"" << kAlphabet << "\";\n\n"
      << "const float kOCRBGlyphTemplates[kOCRBGlyphCount][kGlyphCellPixels] = {\n";
  out.precision(6);
  for (std::size_t g = 0; g < kAlphabet.size(); ++g) {
    if (counts[g] == 0) {
      std::cerr << "no sample of '" << kAlphabet[g] << "'\n";
      return 1;
    }
    std::vector<double> mean(kGlyphCellPixels);
    double centre = 0, norm = 0;
    for (int p = 0; p < kGlyphCellPixels; ++p) centre += sums[g][static_cast<std::size_t>(p)] / counts[g];
    centre /= kGlyphCellPixels;
    for (int p = 0; p < kGlyphCellPixels; ++p) {
      mean[static_cast<std::size_t>(p)] = sums[g][static_cast<std::size_t>(p)] / counts[g] - centre;
      norm += mean[static_cast<std::size_t>(p)] * mean[static_cast<std::size_t>(p)];
    }
    norm = std::sqrt(norm);
    out << "  {  // '" << kAlphabet[g] << "', " << counts[g] << " samples\n   ";
    for (int p = 0; p < kGlyphCellPixels; ++p) {
      out << ' ' << static_cast<float>(mean[static_cast<std::size_t>(p)] / norm) << "f,";
      if (p % 8 == 7) out << "\n   ";
    }
    out << "},\n";
  }
  out << "};\n\n}  // namespace ostrel::platform\n";
  out.close();
  if (!out) {
    std::cerr << "cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
