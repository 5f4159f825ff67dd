// Build-time generator of the zone reader's glyph classifier. It renders random lines of the 37
// characters of the zone alphabet in the OCR-B font at several sizes, blurs, noise levels, JPEG
// losses and small turns, cuts the renderings with the same row finder the reader uses at run
// time, and from the cells of each character computes
//  - the average cell (the template, whose correlation with a cell is the match confidence), and
//  - a linear discriminant: one weight vector and bias per character under the cells' pooled
//    covariance, which tells apart look-alikes such as "0" and "O" that plain correlation mixes.
// Both are written as a C++ source compiled into the library.
//
// usage: ostrel_make_ocrb_glyphs OCRB.otf output.cpp

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include <opencv2/freetype.hpp>
#include <opencv2/imgcodecs.hpp>
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
  cv::Mat samples(0, kGlyphCellPixels, CV_32F);
  std::vector<int> labels;
  int rowsUsed = 0, rowsRejected = 0;
  for (int size : {17, 19, 21, 24, 27, 31, 36, 42}) {
    for (double sigma : {0.0, 0.6, 1.0, 1.4, 1.8}) {
      for (double degrees : {-4.0, 0.0, 4.0}) {
        const int quality = (rowsUsed + rowsRejected) % 2 == 0 ? 0 : 60;
        std::vector<std::string> lines;
        for (int i = 0; i < kLinesPerPicture; ++i) lines.push_back(randomLine(random));
        int baseline = 0;
        const cv::Size text = font->getTextSize(lines[0], size, -1, &baseline);
        const int margin = size * 2;
        cv::Mat canvas(margin * 2 + size * 2 * kLinesPerPicture, text.width + margin * 2, CV_8UC3,
                       cv::Scalar::all(215 + static_cast<double>(random() % 30)));
        for (int i = 0; i < kLinesPerPicture; ++i) {
          font->putText(canvas, lines[static_cast<std::size_t>(i)], {margin, margin + size * (2 * i + 1)},
                        size, cv::Scalar::all(20 + static_cast<double>(random() % 50)), -1, cv::LINE_AA, true);
        }
        cv::Mat grey;
        cv::cvtColor(canvas, grey, cv::COLOR_BGR2GRAY);
        const cv::Mat turn = cv::getRotationMatrix2D(cv::Point2f(grey.cols / 2.f, grey.rows / 2.f),
                                                     degrees + (random() % 100) / 100.0 - 0.5, 1.0);
        cv::warpAffine(grey, grey, turn, grey.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        if (sigma > 0) cv::GaussianBlur(grey, grey, cv::Size(), sigma);
        cv::Mat noise(grey.size(), CV_16S);
        cv::randn(noise, 0, 2 + static_cast<double>(random() % 6));
        cv::Mat noisy;
        grey.convertTo(noisy, CV_16S);
        noisy += noise;
        noisy.convertTo(grey, CV_8U);
        if (quality > 0) {
          std::vector<std::uint8_t> jpeg;
          cv::imencode(".jpg", grey, jpeg, {cv::IMWRITE_JPEG_QUALITY, quality});
          grey = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
        }

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
            samples.push_back(cell.reshape(1, 1));
            labels.push_back(static_cast<int>(kAlphabet.find(lines[r][i])));
          }
        }
      }
    }
  }
  std::cerr << "glyph classifier: " << rowsUsed << " rows used, " << rowsRejected
            << " rows not cut into the right number of cells, " << samples.rows << " cells\n";
  if (rowsUsed < 3 * rowsRejected) {
    std::cerr << "too many rows were cut wrongly; the row finder does not match the font\n";
    return 1;
  }

  const int classes = static_cast<int>(kAlphabet.size());
  cv::Mat means = cv::Mat::zeros(classes, kGlyphCellPixels, CV_64F);
  std::vector<int> counts(kAlphabet.size(), 0);
  cv::Mat samples64;
  samples.convertTo(samples64, CV_64F);
  for (int i = 0; i < samples64.rows; ++i) {
    means.row(labels[static_cast<std::size_t>(i)]) += samples64.row(i);
    ++counts[static_cast<std::size_t>(labels[static_cast<std::size_t>(i)])];
  }
  for (int g = 0; g < classes; ++g) {
    if (counts[static_cast<std::size_t>(g)] < 20) {
      std::cerr << "too few samples of '" << kAlphabet[static_cast<std::size_t>(g)] << "'\n";
      return 1;
    }
    means.row(g) /= counts[static_cast<std::size_t>(g)];
  }
  // Pooled within-class covariance, shrunk towards a multiple of the identity so that pixels
  // that never vary in training cannot dominate.
  cv::Mat centred = samples64.clone();
  for (int i = 0; i < centred.rows; ++i) centred.row(i) -= means.row(labels[static_cast<std::size_t>(i)]);
  cv::Mat covariance;
  cv::mulTransposed(centred, covariance, true);
  covariance /= std::max(1, centred.rows - classes);
  const double shrink = 0.02 * cv::trace(covariance)[0] / kGlyphCellPixels;
  covariance += cv::Mat::eye(kGlyphCellPixels, kGlyphCellPixels, CV_64F) * shrink;
  cv::Mat weights;  // kGlyphCellPixels x classes
  if (!cv::solve(covariance, means.t(), weights, cv::DECOMP_CHOLESKY)) {
    std::cerr << "the cell covariance cannot be inverted\n";
    return 1;
  }
  weights = weights.t();  // classes x kGlyphCellPixels
  std::vector<double> bias(kAlphabet.size());
  for (int g = 0; g < classes; ++g) bias[static_cast<std::size_t>(g)] = -0.5 * weights.row(g).dot(means.row(g));

  int trainingErrors = 0;
  for (int i = 0; i < samples64.rows; ++i) {
    int best = 0;
    double bestScore = -1e300;
    for (int g = 0; g < classes; ++g) {
      const double score = weights.row(g).dot(samples64.row(i)) + bias[static_cast<std::size_t>(g)];
      if (score > bestScore) bestScore = score, best = g;
    }
    trainingErrors += best != labels[static_cast<std::size_t>(i)];
  }
  std::cerr << "glyph classifier: " << trainingErrors << " of " << samples64.rows
            << " training cells misread\n";

  std::ofstream out(argv[2]);
  auto writeRow = [&](const cv::Mat& row) {
    for (int p = 0; p < kGlyphCellPixels; ++p) {
      out << ' ' << static_cast<float>(row.at<double>(0, p)) << "f,";
      if (p % 8 == 7) out << "\n   ";
    }
  };
  out << "// Generated at build time by ostrel_make_ocrb_glyphs from the OCR-B font. Do not edit.\n"
      << "#include \"platform/vision/OCRBGlyphTemplates.hpp\"\n\n"
      << "namespace ostrel::platform {\n\n"
      << "const double kOCRBPitchPerHeight = " << std::scientific << pitchPerHeight << ";\n\n"
      << "const char kOCRBGlyphAlphabet[kOCRBGlyphCount + 1] = \"" << kAlphabet << "\";\n\n"
      << "const float kOCRBGlyphTemplates[kOCRBGlyphCount][kGlyphCellPixels] = {\n";
  out.precision(7);
  out << std::scientific;
  for (int g = 0; g < classes; ++g) {
    cv::Mat mean = means.row(g) - cv::mean(means.row(g))[0];
    mean /= std::max(1e-9, cv::norm(mean));
    out << "  {  // '" << kAlphabet[static_cast<std::size_t>(g)] << "', "
        << counts[static_cast<std::size_t>(g)] << " samples\n   ";
    writeRow(mean);
    out << "},\n";
  }
  out << "};\n\n"
      << "const float kOCRBGlyphWeights[kOCRBGlyphCount][kGlyphCellPixels] = {\n";
  for (int g = 0; g < classes; ++g) {
    out << "  {  // '" << kAlphabet[static_cast<std::size_t>(g)] << "'\n   ";
    writeRow(weights.row(g));
    out << "},\n";
  }
  out << "};\n\n"
      << "const float kOCRBGlyphBias[kOCRBGlyphCount] = {";
  for (double b : bias) out << static_cast<float>(b) << "f, ";
  out << "};\n\n}  // namespace ostrel::platform\n";
  out.close();
  if (!out) {
    std::cerr << "cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
