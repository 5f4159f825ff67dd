// Build-time generator of the zone reader's glyph classifier. It prints random lines of the 37
// characters of the zone alphabet in both OCR-B cuts (regular and "Sharp") the way printers and
// cameras vary them: glyphs 0.84-1.03 of the font's size at its own pitch, strokes thinner and
// bolder, sub-pixel placement, drawn smoothly or dot by dot at a printer's resolution, on plain
// paper or over a document's security print (wavy lines, hatching, specks, a tint) lit unevenly, in
// black or grey ink, exposed well or not, a glare spot, a tilt out of the picture, a turn,
// defocus, a hand's shake, noise, the phone's sharpening and JPEG losses. It cuts the
// renderings with the same row finder the reader uses at run time, and from the cells of each
// character computes
//  - the average cell (the template, whose correlation with a cell is the match confidence), and
//  - a small network that reads a cell: one hidden layer of rectified units over the cell's
//    features and a score per character, trained on the cross entropy. A linear rule over the
//    same features mixes look-alikes (O/0, D/0, B/8, R/B, T/Y...) on small, blurred print that
//    the hidden layer tells apart.
// A held-out set, printed from seeds of its own, is read with the result and its confusion
// reported. Everything is written as a C++ source compiled into the library.
//
// usage: ostrel_make_ocrb_glyphs OCRB.otf OCRBS.otf output.cpp

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/freetype.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/vision/GlyphRows.hpp"
#include "platform/vision/OCRBGlyphTemplates.hpp"

namespace {

using ostrel::platform::findGlyphRows;
using ostrel::platform::kGlyphCellPixels;
using ostrel::platform::kGlyphFeatureCount;
using ostrel::platform::kOCRBGlyphHiddenUnits;

const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789<";
constexpr int kLineLength = 40;
constexpr int kLinesPerPicture = 3;
constexpr int kTrainingPictures = 5040;
constexpr int kHeldOutPictures = 90;
constexpr int kEpochs = 20;
constexpr int kSupersample = 3;
struct OcrbFace {
  cv::Ptr<cv::freetype::FreeType2> font;
  double advancePerSize = 0;  // the fixed advance over the font size
  double capPerSize = 0;      // the capital height over the font size
};

bool loadFace(const char* path, OcrbFace& face) {
  face.font = cv::freetype::createFreeType2();
  try {
    face.font->loadFontData(path, 0);
  } catch (const cv::Exception& e) {
    std::cerr << "cannot load the font " << path << ": " << e.what() << "\n";
    return false;
  }
  const int size = 200;
  int baseline = 0;
  const cv::Size one = face.font->getTextSize("H", size, -1, &baseline);
  const cv::Size eleven = face.font->getTextSize("HHHHHHHHHHH", size, -1, &baseline);
  face.advancePerSize = (eleven.width - one.width) / 10.0 / size;
  // cv::freetype draws on colour pictures only.
  cv::Mat canvas(size * 2, size * 2, CV_8UC3, cv::Scalar::all(255));
  face.font->putText(canvas, "H", {size / 2, size + size / 2}, size, cv::Scalar::all(0), -1, cv::LINE_AA, true);
  cv::Mat grey, ink;
  cv::cvtColor(canvas, grey, cv::COLOR_BGR2GRAY);
  cv::threshold(grey, ink, 128, 255, cv::THRESH_BINARY_INV);
  face.capPerSize = cv::boundingRect(ink).height / double(size);
  if (!(face.capPerSize > 0.3 && face.advancePerSize > 0.3)) {
    std::cerr << "implausible metrics of the font " << path << "\n";
    return false;
  }
  return true;
}

// Every character once, the rest drawn as zones mix them: some rows mostly digits (dates,
// numbers), some mostly letters (names), some both, with runs of fillers. The row's capital
// height, which glyphs are measured against, is the mix's.
std::string randomLine(std::mt19937& random) {
  static const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ", digits = "0123456789";
  std::string line = random() % 3 == 0 ? kAlphabet : "";
  const unsigned kind = random() % 3;
  while (line.size() < kLineLength) {
    const unsigned roll = random() % 10;
    if (roll == 0) line += '<';
    else if (kind == 0) line += roll < 8 ? digits[random() % digits.size()] : letters[random() % letters.size()];
    else if (kind == 1) line += roll < 8 ? letters[random() % letters.size()] : digits[random() % digits.size()];
    else line += kAlphabet[random() % kAlphabet.size()];
  }
  line.resize(kLineLength);
  std::shuffle(line.begin(), line.end(), random);
  return line;
}

// The card turned in space and photographed from `focal` pixels: where each point of the level
// picture lands.
cv::Matx33d photographed(double tilt, double nod, double turn, double focal, cv::Point2d centre, cv::Point2d shift) {
  const double d = std::numbers::pi / 180;
  const double a = tilt * d, b = nod * d, c = turn * d;
  const cv::Matx33d ry(std::cos(a), 0, std::sin(a), 0, 1, 0, -std::sin(a), 0, std::cos(a));
  const cv::Matx33d rx(1, 0, 0, 0, std::cos(b), -std::sin(b), 0, std::sin(b), std::cos(b));
  const cv::Matx33d rz(std::cos(c), -std::sin(c), 0, std::sin(c), std::cos(c), 0, 0, 0, 1);
  const cv::Matx33d r = rz * ry * rx;
  const cv::Matx33d plane(r(0, 0), r(0, 1), 0, r(1, 0), r(1, 1), 0, r(2, 0), r(2, 1), focal);
  const cv::Matx33d k(focal, 0, centre.x + shift.x, 0, focal, centre.y + shift.y, 0, 0, 1);
  const cv::Matx33d toCentre(1, 0, -centre.x, 0, 1, -centre.y, 0, 0, 1);
  return k * plane * toCentre;
}

// What a document prints under its zone, drawn at random over the picture as a darkness
// (0 none, 255 full) at the picture's own scale, `cap` pixels to the capital: families of
// wavy lines as security printing draws them, a fine hatch, specks, and a blotchy tint. Real
// pages carry such print under and around the zone line; a cell cut there holds some of it.
cv::Mat printedBackground(cv::Size size, double cap, std::mt19937& random) {
  std::uniform_real_distribution<double> unit(0, 1);
  cv::Mat background(size, CV_8U, cv::Scalar(0));
  const double diagonal = std::hypot(size.width, size.height);
  const cv::Point2d centre(size.width / 2.0, size.height / 2.0);
  auto thickness = [&](double low, double high) {
    return std::max(1, static_cast<int>(std::lround(cap * (low + (high - low) * unit(random)))));
  };
  // Lines across the picture at `angle`, `spacing` apart, each a wave of `amplitude` over
  // `wavelength`; the phase moves from line to line as guilloches do.
  auto drawWaves = [&](double angle, double spacing, double amplitude, double wavelength, int width,
                       int darkness) {
    const cv::Point2d along(std::cos(angle), std::sin(angle)), across(-along.y, along.x);
    const double phaseStep = 2 * std::numbers::pi * unit(random) * 0.3;
    const double phase0 = 2 * std::numbers::pi * unit(random);
    const int steps = std::max(8, static_cast<int>(diagonal / std::max(2.0, wavelength / 12)));
    std::vector<std::vector<cv::Point>> curves;
    int k = 0;
    for (double offset = -diagonal / 2 + spacing * unit(random); offset < diagonal / 2; offset += spacing, ++k) {
      std::vector<cv::Point> curve;
      for (int i = 0; i <= steps; ++i) {
        const double t = -diagonal / 2 + diagonal * i / steps;
        const double wave = amplitude * std::sin(2 * std::numbers::pi * t / wavelength + phase0 + phaseStep * k);
        const cv::Point2d p = centre + along * t + across * (offset + wave);
        curve.emplace_back(static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y)));
      }
      curves.push_back(std::move(curve));
    }
    cv::polylines(background, curves, false, cv::Scalar(darkness), width, cv::LINE_AA);
  };
  if (unit(random) < 0.35) return background;  // plain paper
  const int families = 1 + static_cast<int>(random() % 2);
  for (int f = 0; f < families; ++f) {
    const double angle = std::numbers::pi * (unit(random) - 0.5) * 0.6;
    drawWaves(angle, cap * (0.3 + 1.4 * unit(random)), cap * 1.2 * unit(random), cap * (1 + 8 * unit(random)),
              thickness(0.03, 0.14), 120 + static_cast<int>(135 * unit(random)));
  }
  if (unit(random) < 0.3) {
    // A fine straight hatch at any angle.
    drawWaves(std::numbers::pi * unit(random), cap * (0.15 + 0.5 * unit(random)), 0, cap, thickness(0.02, 0.08),
              80 + static_cast<int>(120 * unit(random)));
  }
  if (unit(random) < 0.4) {
    // Specks of toner or microprint dots.
    const int specks = static_cast<int>(size.area() / (cap * cap) * 0.3 * unit(random));
    for (int i = 0; i < specks; ++i) {
      const cv::Point p(static_cast<int>(random() % static_cast<unsigned>(size.width)),
                        static_cast<int>(random() % static_cast<unsigned>(size.height)));
      cv::circle(background, p, thickness(0.02, 0.1), cv::Scalar(100 + static_cast<int>(155 * unit(random))), -1,
                 cv::LINE_AA);
    }
  }
  if (unit(random) < 0.4) {
    // A blotchy tint, a few capitals across.
    cv::Mat blotches(std::max(2, static_cast<int>(size.height / (2 * cap))),
                     std::max(2, static_cast<int>(size.width / (2 * cap))), CV_32F);
    cv::RNG blotchSource(random());
    blotchSource.fill(blotches, cv::RNG::UNIFORM, 0, 90 * unit(random));
    cv::resize(blotches, blotches, size, 0, 0, cv::INTER_CUBIC);
    cv::Mat tint;
    blotches.convertTo(tint, CV_8U);
    background = cv::max(background, tint);
  }
  return background;
}

struct PrintedPicture {
  cv::Mat grey;
  // The middle of each line's first and last glyphs, in `grey`.
  std::vector<cv::Point2d> firstGlyphs, lastGlyphs;
};

// One picture of `lines` in `face`, varied at random; grey, dark print on light.
PrintedPicture printPicture(OcrbFace& face, const std::vector<std::string>& lines, std::mt19937& random) {
  std::uniform_real_distribution<double> unit(0, 1);
  const double cap = 10 + 30 * std::pow(unit(random), 1.3);      // capital height, pixels
  const double glyphScale = 0.84 + 0.19 * unit(random);
  const double weightRoll = unit(random);
  const double weight = weightRoll < 0.3 ? 0 : -0.03 + 0.08 * unit(random);  // per side, in caps
  const double size = cap / face.capPerSize;
  const double pitch = face.advancePerSize * size * kSupersample;
  const int glyphSize = std::max(4, static_cast<int>(std::lround(size * glyphScale * kSupersample)));
  const double glyphAdvance = face.advancePerSize * glyphSize;
  const double lineStep = 1.75 * cap * kSupersample;
  const double margin = 2.5 * cap * kSupersample;
  const int width = static_cast<int>(2 * margin + pitch * kLineLength);
  const int height = static_cast<int>(2 * margin + lineStep * kLinesPerPicture);
  cv::Mat colour(height, width, CV_8UC3, cv::Scalar::all(255));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const double baseline = margin + lineStep * double(i) + 0.5 * (lineStep + cap * kSupersample);
    for (std::size_t k = 0; k < lines[i].size(); ++k) {
      const double x = margin + pitch * double(k) + (pitch - glyphAdvance) / 2 + unit(random) - 0.5;
      face.font->putText(colour, std::string(1, lines[i][k]),
                         {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(baseline))},
                         glyphSize, cv::Scalar::all(0), -1, cv::LINE_AA, true);
    }
  }
  cv::Mat fine;
  cv::cvtColor(colour, fine, cv::COLOR_BGR2GRAY);
  const int radius = static_cast<int>(std::lround(std::abs(weight) * cap * kSupersample));
  if (radius > 0) {
    const cv::Mat disc = cv::getStructuringElement(cv::MORPH_ELLIPSE, {2 * radius + 1, 2 * radius + 1});
    // Ink is dark: eroding the picture thickens the strokes.
    if (weight > 0) cv::erode(fine, fine, disc);
    else cv::dilate(fine, fine, disc);
  }
  if (unit(random) < 0.4) {
    // Printed dot by dot: the glyphs rasterised at a printer's resolution, 20-32 dots to the
    // capital, each dot inked or not; where the rasteriser draws the line between them makes the
    // strokes thinner or bolder by a dot.
    const double scale = (20 + 12 * unit(random)) / (cap * kSupersample);
    cv::Mat dots;
    cv::resize(fine, dots, cv::Size(), scale, scale, cv::INTER_AREA);
    cv::threshold(dots, dots, 90 + 80 * unit(random), 255, cv::THRESH_BINARY);
    cv::resize(dots, fine, fine.size(), 0, 0, cv::INTER_NEAREST);
  }
  const cv::Size levelSize(width / kSupersample, height / kSupersample);
  cv::Mat level, background;
  cv::resize(fine, level, levelSize, 0, 0, cv::INTER_AREA);
  cv::resize(printedBackground(fine.size(), cap * kSupersample, random), background, levelSize, 0, 0,
             cv::INTER_AREA);
  // Exposure and the ink's own lightness: from black print on a well-lit page to grey print on
  // an underexposed one, whose contrast is a few tens of levels.
  const double paper = 110 + 140 * unit(random);
  const double ink = paper * (unit(random) < 0.5 ? 0.05 + 0.25 * unit(random) : 0.3 + 0.25 * unit(random));
  // The paper under the print darkened by the background by up to `depth` of the print's contrast,
  // lit a little unevenly; the glyphs' ink over it.
  const double depth = 0.05 + 0.4 * unit(random), slope = 0.3 * (unit(random) - 0.5);
  cv::Mat coverage, paperLevel;
  level.convertTo(coverage, CV_32F, -1.0 / 255.0, 1.0);
  background.convertTo(paperLevel, CV_32F, -depth * (paper - ink) / 255.0, paper);
  for (int r = 0; r < paperLevel.rows; ++r) {
    float* row = paperLevel.ptr<float>(r);
    for (int c = 0; c < paperLevel.cols; ++c) {
      row[c] *= static_cast<float>(1 + slope * (c - paperLevel.cols / 2.0) / paperLevel.cols);
    }
  }
  level = paperLevel.mul(1 - coverage) + coverage * ink;
  const cv::Point2d centre(level.cols / 2.0, level.rows / 2.0);
  const cv::Matx33d h = photographed(8 * (2 * unit(random) - 1), 3 * (2 * unit(random) - 1),
                                     5 * (2 * unit(random) - 1), 1.2 * level.cols, centre,
                                     {unit(random), unit(random)});
  cv::Mat photo;
  cv::warpPerspective(level, photo, cv::Mat(h), level.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                      cv::Scalar(paper));
  if (unit(random) < 0.35) {
    // Glare on the laminate: a bright spot a few capitals across, added to the light the print
    // returns and clipped where the sensor saturates.
    const double spot = cap * (2 + 10 * unit(random)), strength = paper * (0.2 + unit(random));
    const cv::Point2d at(photo.cols * unit(random), photo.rows * unit(random));
    for (int r = 0; r < photo.rows; ++r) {
      float* row = photo.ptr<float>(r);
      for (int c = 0; c < photo.cols; ++c) {
        const double d2 = (c - at.x) * (c - at.x) + (r - at.y) * (r - at.y);
        row[c] = static_cast<float>(std::min(255.0, row[c] + strength * std::exp(-d2 / (2 * spot * spot))));
      }
    }
  }
  const double sigma = 1.6 * unit(random);
  if (sigma > 0.2) cv::GaussianBlur(photo, photo, cv::Size(), sigma);
  if (unit(random) < 0.5) {
    // A hand's shake: the picture smeared along a stroke of 1-5 pixels.
    const double length = 1 + 4 * unit(random), angle = std::numbers::pi * unit(random);
    const int side = 2 * static_cast<int>(std::ceil(length / 2)) + 1;
    const cv::Point2d middle((side - 1) / 2.0, (side - 1) / 2.0);
    const cv::Point2d half(0.5 * length * std::cos(angle), 0.5 * length * std::sin(angle));
    cv::Mat stroke = cv::Mat::zeros(side, side, CV_32F);
    cv::line(stroke, cv::Point(middle - half), cv::Point(middle + half), cv::Scalar(1), 1, cv::LINE_AA);
    stroke /= cv::sum(stroke)[0];
    cv::filter2D(photo, photo, -1, stroke);
  }
  cv::Mat noise(photo.size(), CV_32F);
  cv::RNG noiseSource(random());
  noiseSource.fill(noise, cv::RNG::NORMAL, 0, 1 + 8 * unit(random));
  photo += noise;
  if (unit(random) < 0.5) {
    // The phone's sharpening, which rings around strokes and lifts the noise with them.
    cv::Mat soft;
    cv::GaussianBlur(photo, soft, cv::Size(), 1 + 0.6 * unit(random));
    const double amount = 0.3 + 1.2 * unit(random);
    photo = photo * (1 + amount) - soft * amount;
  }
  cv::Mat grey;
  photo.convertTo(grey, CV_8U);
  if (unit(random) < 0.7) {
    std::vector<std::uint8_t> jpeg;
    cv::imencode(".jpg", grey, jpeg, {cv::IMWRITE_JPEG_QUALITY, 35 + static_cast<int>(55 * unit(random))});
    grey = cv::imdecode(jpeg, cv::IMREAD_GRAYSCALE);
  }
  PrintedPicture printed{grey, {}, {}};
  auto photographedAt = [&h](double x, double y) {
    const cv::Vec3d at = h * cv::Vec3d(x, y, 1);
    return cv::Point2d(at[0] / at[2], at[1] / at[2]);
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const double middle = (margin + lineStep * (double(i) + 0.5)) / kSupersample;
    const double first = (margin + pitch / 2) / kSupersample;
    const double last = first + pitch * double(lines[i].size() - 1) / kSupersample;
    printed.firstGlyphs.push_back(photographedAt(first, middle));
    printed.lastGlyphs.push_back(photographedAt(last, middle));
  }
  return printed;
}

struct CellSet {
  cv::Mat samples = cv::Mat(0, kGlyphFeatureCount, CV_32F);
  std::vector<int> labels;
  int rowsUsed = 0, rowsRejected = 0;
};

// Each picture is drawn from a seed of its own, so the cells come out the same in the same
// order however many threads print them; each thread has its own fonts (a FreeType face is not
// shared between threads).
bool collect(const char* const fontPaths[2], int pictures, std::uint32_t seed, double pitchPerHeight, CellSet& set) {
  struct Picture {
    cv::Mat samples = cv::Mat(0, kGlyphFeatureCount, CV_32F);
    std::vector<int> labels;
    int rowsUsed = 0, rowsRejected = 0;
  };
  std::vector<Picture> made(static_cast<std::size_t>(pictures));
  const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    std::vector<OcrbFace> faces(2);
    if (!loadFace(fontPaths[0], faces[0]) || !loadFace(fontPaths[1], faces[1])) {
      failed = true;
      return;
    }
    for (int p = next++; p < pictures; p = next++) {
      std::seed_seq seeds{seed, static_cast<std::uint32_t>(p)};
      std::mt19937 random(seeds);
      std::vector<std::string> lines;
      for (int i = 0; i < kLinesPerPicture; ++i) lines.push_back(randomLine(random));
      const PrintedPicture printed = printPicture(faces[static_cast<std::size_t>(p) % faces.size()], lines, random);
      const auto rows = findGlyphRows(printed.grey, pitchPerHeight, ostrel::platform::RowReach::pastBands);
      Picture& picture = made[static_cast<std::size_t>(p)];
      for (std::size_t r = 0; r < lines.size(); ++r) {
        // The line's row is the one found across its middle; the background's print may make
        // rows of its own, and may run on a line's row past its ends, where the cells it adds
        // are left out. A row whose ends do not tell where the line lies in it is not used.
        const cv::Point2d first = printed.firstGlyphs[r], last = printed.lastGlyphs[r];
        const cv::Point2d at = (first + last) / 2;
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& found) {
          return found.box.contains(cv::Point2f(at)) &&
                 std::abs(found.box.y + found.box.height / 2 - at.y) < 0.5 * found.capHeight;
        });
        std::ptrdiff_t before = -1, after = -1;
        if (row != rows.end() && row->cells.size() == lines[r].size()) {
          before = after = 0;
        } else if (row != rows.end() && row->pitch > 0) {
          before = std::lround((first.x - row->box.x) / row->pitch - 0.5);
          after = std::lround((row->box.x + row->box.width - last.x) / row->pitch - 0.5);
        }
        const auto lineCells = static_cast<std::ptrdiff_t>(lines[r].size());
        if (before < 0 || after < 0 || before + lineCells + after != static_cast<std::ptrdiff_t>(row->cells.size())) {
          ++picture.rowsRejected;
          continue;
        }
        ++picture.rowsUsed;
        for (std::size_t i = 0; i < lines[r].size(); ++i) {
          const cv::Mat& cell = row->cells[static_cast<std::size_t>(before) + i];
          if (cell.empty()) continue;
          picture.samples.push_back(cell);
          picture.labels.push_back(static_cast<int>(kAlphabet.find(lines[r][i])));
        }
      }
    }
  };
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) running.emplace_back(work);
  for (auto& thread : running) thread.join();
  if (failed) return false;
  for (Picture& picture : made) {
    set.samples.push_back(picture.samples);
    set.labels.insert(set.labels.end(), picture.labels.begin(), picture.labels.end());
    set.rowsUsed += picture.rowsUsed;
    set.rowsRejected += picture.rowsRejected;
  }
  return true;
}

// A small network over a cell's features: one hidden layer of rectified units and a softmax
// over the characters, trained by minibatch gradient descent with momentum on the cross
// entropy. Its nonlinearity separates the look-alikes a linear rule mixes on small, blurred
// print. The features are standardised over the training cells; the standardisation is folded
// into the first layer when written out.
struct Network {
  cv::Mat w1, b1;  // features x hidden, 1 x hidden
  cv::Mat w2, b2;  // hidden x classes, 1 x classes

  int classify(const float* x) const {
    const int hidden = w1.cols, classes = w2.cols;
    std::vector<float> h(static_cast<std::size_t>(hidden));
    for (int j = 0; j < hidden; ++j) h[static_cast<std::size_t>(j)] = b1.at<float>(0, j);
    for (int p = 0; p < w1.rows; ++p) {
      const float* w = w1.ptr<float>(p);
      for (int j = 0; j < hidden; ++j) h[static_cast<std::size_t>(j)] += x[p] * w[j];
    }
    int best = 0;
    float bestScore = -1e30f;
    for (int c = 0; c < classes; ++c) {
      float score = b2.at<float>(0, c);
      for (int j = 0; j < hidden; ++j) score += std::max(0.f, h[static_cast<std::size_t>(j)]) * w2.at<float>(j, c);
      if (score > bestScore) best = c, bestScore = score;
    }
    return best;
  }
};

Network trainNetwork(const CellSet& set, int classes, int hidden, int epochs, std::uint32_t seed) {
  const int n = kGlyphFeatureCount, count = set.samples.rows;
  cv::Mat mean, deviation;
  cv::reduce(set.samples, mean, 0, cv::REDUCE_AVG);
  cv::Mat centred = set.samples - cv::repeat(mean, count, 1);
  cv::reduce(centred.mul(centred), deviation, 0, cv::REDUCE_AVG);
  cv::sqrt(deviation, deviation);
  deviation += 1e-3f;
  const cv::Mat x = centred / cv::repeat(deviation, count, 1);

  cv::RNG rng(seed);
  Network net;
  net.w1.create(n, hidden, CV_32F);
  rng.fill(net.w1, cv::RNG::NORMAL, 0, std::sqrt(2.0 / n));
  net.b1 = cv::Mat::zeros(1, hidden, CV_32F);
  net.w2.create(hidden, classes, CV_32F);
  rng.fill(net.w2, cv::RNG::NORMAL, 0, std::sqrt(1.0 / hidden));
  net.b2 = cv::Mat::zeros(1, classes, CV_32F);
  cv::Mat v1 = cv::Mat::zeros(net.w1.size(), CV_32F), vb1 = cv::Mat::zeros(net.b1.size(), CV_32F);
  cv::Mat v2 = cv::Mat::zeros(net.w2.size(), CV_32F), vb2 = cv::Mat::zeros(net.b2.size(), CV_32F);

  const int batch = 128;
  const double rate = 0.05, momentum = 0.9, decay = 1e-4;
  std::vector<int> order(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) order[static_cast<std::size_t>(i)] = i;
  std::mt19937 shuffle(seed);
  const int steps = epochs * (count / batch);
  int step = 0;
  cv::Mat xb(batch, n, CV_32F), target(batch, classes, CV_32F);
  for (int epoch = 0; epoch < epochs; ++epoch) {
    std::shuffle(order.begin(), order.end(), shuffle);
    double loss = 0;
    for (int start = 0; start + batch <= count; start += batch, ++step) {
      target.setTo(0);
      for (int b = 0; b < batch; ++b) {
        const int i = order[static_cast<std::size_t>(start + b)];
        x.row(i).copyTo(xb.row(b));
        target.at<float>(b, set.labels[static_cast<std::size_t>(i)]) = 1;
      }
      cv::Mat z1 = xb * net.w1 + cv::repeat(net.b1, batch, 1);
      cv::Mat h = cv::max(z1, 0);
      cv::Mat z2 = h * net.w2 + cv::repeat(net.b2, batch, 1);
      cv::Mat grad(batch, classes, CV_32F);
      for (int b = 0; b < batch; ++b) {
        const float* z = z2.ptr<float>(b);
        float top = z[0];
        for (int c = 1; c < classes; ++c) top = std::max(top, z[c]);
        double sum = 0;
        for (int c = 0; c < classes; ++c) sum += std::exp(double(z[c] - top));
        for (int c = 0; c < classes; ++c) {
          const double p = std::exp(double(z[c] - top)) / sum;
          grad.at<float>(b, c) = static_cast<float>((p - target.at<float>(b, c)) / batch);
          if (target.at<float>(b, c) > 0) loss -= std::log(std::max(p, 1e-12));
        }
      }
      cv::Mat dh = grad * net.w2.t();
      cv::Mat active;
      cv::compare(z1, 0, active, cv::CMP_GT);
      cv::Mat dz1 = cv::Mat::zeros(dh.size(), CV_32F);
      dh.copyTo(dz1, active);
      cv::Mat dw2 = h.t() * grad, dw1 = xb.t() * dz1, db2, db1;
      cv::reduce(grad, db2, 0, cv::REDUCE_SUM);
      cv::reduce(dz1, db1, 0, cv::REDUCE_SUM);
      const double lr = rate * 0.5 * (1 + std::cos(std::numbers::pi * step / steps));
      v1 = momentum * v1 - lr * (dw1 + decay * net.w1);
      v2 = momentum * v2 - lr * (dw2 + decay * net.w2);
      vb1 = momentum * vb1 - lr * db1;
      vb2 = momentum * vb2 - lr * db2;
      net.w1 += v1, net.w2 += v2, net.b1 += vb1, net.b2 += vb2;
    }
    if (epoch + 1 == epochs) std::cerr << "glyph classifier: cross entropy " << loss / count << " in the last epoch\n";
  }
  // Fold the standardisation into the first layer.
  for (int p = 0; p < n; ++p) {
    const float scale = 1.f / deviation.at<float>(0, p);
    for (int j = 0; j < hidden; ++j) {
      net.w1.at<float>(p, j) *= scale;
      net.b1.at<float>(0, j) -= mean.at<float>(0, p) * net.w1.at<float>(p, j);
    }
  }
  return net;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: " << argv[0] << " OCRB.otf OCRBS.otf output.cpp\n";
    return 2;
  }
  std::vector<OcrbFace> faces(2);
  if (!loadFace(argv[1], faces[0]) || !loadFace(argv[2], faces[1])) return 1;
  // The reader looks for the regular cut's advance over capital height; the Sharp cut shares
  // the pitch and nearly the height.
  const double pitchPerHeight = faces[0].advancePerSize / faces[0].capPerSize;

  CellSet training, heldOut;
  const char* const fontPaths[2] = {argv[1], argv[2]};
  if (!collect(fontPaths, kTrainingPictures, 20261207, pitchPerHeight, training) ||
      !collect(fontPaths, kHeldOutPictures, 77031, pitchPerHeight, heldOut)) {
    return 1;
  }
  std::cerr << "glyph classifier: " << training.rowsUsed << " rows used, " << training.rowsRejected
            << " rows not cut into the right number of cells, " << training.samples.rows << " cells\n";
  if (training.rowsUsed < 3 * training.rowsRejected) {
    std::cerr << "too many rows were cut wrongly; the row finder does not match the font\n";
    return 1;
  }

  const int classes = static_cast<int>(kAlphabet.size());
  const int n = kGlyphFeatureCount;
  cv::Mat means = cv::Mat::zeros(classes, n, CV_64F);
  std::vector<int> counts(kAlphabet.size(), 0);
  for (int i = 0; i < training.samples.rows; ++i) {
    cv::Mat sample;
    training.samples.row(i).convertTo(sample, CV_64F);
    means.row(training.labels[static_cast<std::size_t>(i)]) += sample;
    ++counts[static_cast<std::size_t>(training.labels[static_cast<std::size_t>(i)])];
  }
  for (int g = 0; g < classes; ++g) {
    if (counts[static_cast<std::size_t>(g)] < 20) {
      std::cerr << "too few samples of '" << kAlphabet[static_cast<std::size_t>(g)] << "'\n";
      return 1;
    }
    means.row(g) /= counts[static_cast<std::size_t>(g)];
  }

  const Network network = trainNetwork(training, classes, kOCRBGlyphHiddenUnits, kEpochs, 20261208);
  auto report = [&](const CellSet& set, const char* name) {
    int errors = 0;
    std::map<int, std::map<int, int>> misread;
    for (int i = 0; i < set.samples.rows; ++i) {
      const int read = network.classify(set.samples.ptr<float>(i));
      const int label = set.labels[static_cast<std::size_t>(i)];
      if (read != label) ++errors, ++misread[label][read];
    }
    std::cerr << "glyph classifier: " << errors << " of " << set.samples.rows << " " << name
              << " cells misread\n";
    return std::pair{errors, misread};
  };
  report(training, "training");
  const auto [heldOutErrors, misread] = report(heldOut, "held-out");
  std::cerr << "held-out cells misread, printed: read (count)\n";
  for (const auto& [label, reads] : misread) {
    std::cerr << "  " << kAlphabet[static_cast<std::size_t>(label)] << ":";
    for (const auto& [read, count] : reads) std::cerr << " " << kAlphabet[static_cast<std::size_t>(read)] << " " << count;
    std::cerr << "\n";
  }
  if (heldOutErrors * 20 > heldOut.samples.rows) {
    std::cerr << "the classifier misreads more than 5 % of the held-out cells\n";
    return 1;
  }

  std::ofstream out(argv[3]);
  out.precision(7);
  out << std::scientific;
  auto writeFloats = [&](const float* row, int count) {
    for (int p = 0; p < count; ++p) {
      out << ' ' << row[p] << "f,";
      if (p % 8 == 7) out << "\n   ";
    }
  };
  out << "// Generated at build time by ostrel_make_ocrb_glyphs from the OCR-B fonts. Do not edit.\n"
      << "#include \"platform/vision/OCRBGlyphTemplates.hpp\"\n\n"
      << "namespace ostrel::platform {\n\n"
      << "const double kOCRBPitchPerHeight = " << pitchPerHeight << ";\n\n"
      << "const char kOCRBGlyphAlphabet[kOCRBGlyphCount + 1] = \"" << kAlphabet << "\";\n\n"
      << "const float kOCRBGlyphTemplates[kOCRBGlyphCount][kGlyphCellPixels] = {\n";
  for (int g = 0; g < classes; ++g) {
    cv::Mat mean = means.row(g).colRange(0, kGlyphCellPixels).clone();
    mean -= cv::mean(mean)[0];
    mean /= std::max(1e-9, cv::norm(mean));
    out << "  {  // '" << kAlphabet[static_cast<std::size_t>(g)] << "', "
        << counts[static_cast<std::size_t>(g)] << " samples\n   ";
    cv::Mat template32;
    mean.convertTo(template32, CV_32F);
    writeFloats(template32.ptr<float>(0), kGlyphCellPixels);
    out << "},\n";
  }
  out << "};\n\nconst float kOCRBGlyphHiddenWeights[kGlyphFeatureCount][kOCRBGlyphHiddenUnits] = {\n";
  for (int p = 0; p < n; ++p) {
    out << "  {";
    writeFloats(network.w1.ptr<float>(p), network.w1.cols);
    out << "},\n";
  }
  out << "};\n\nconst float kOCRBGlyphHiddenBias[kOCRBGlyphHiddenUnits] = {\n   ";
  writeFloats(network.b1.ptr<float>(0), network.b1.cols);
  out << "};\n\nconst float kOCRBGlyphOutputWeights[kOCRBGlyphHiddenUnits][kOCRBGlyphCount] = {\n";
  for (int j = 0; j < network.w2.rows; ++j) {
    out << "  {";
    writeFloats(network.w2.ptr<float>(j), network.w2.cols);
    out << "},\n";
  }
  out << "};\n\nconst float kOCRBGlyphOutputBias[kOCRBGlyphCount] = {\n   ";
  writeFloats(network.b2.ptr<float>(0), network.b2.cols);
  out << "};\n\n}  // namespace ostrel::platform\n";
  out.close();
  if (!out) {
    std::cerr << "cannot write " << argv[3] << "\n";
    return 1;
  }
  return 0;
}
