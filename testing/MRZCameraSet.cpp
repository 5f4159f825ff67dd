#include "testing/MRZCameraSet.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

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
