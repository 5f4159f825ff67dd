// Draws the pictures of the resource bundle (icons, guide pictures, tick, the head-movement
// animations) so that the bundle holds only pictures of our own making. Run it from the
// repository root, or give the bundle folder as the argument.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "testing/GifWriter.hpp"

namespace {

namespace fs = std::filesystem;

cv::Scalar rgba(int r, int g, int b, int a = 255) {
  return {double(r), double(g), double(b), double(a)};
}

cv::Mat canvas(int w, int h) {
  return cv::Mat(h, w, CV_8UC4, cv::Scalar(0, 0, 0, 0));
}

bool savePng(const fs::path& dir, const std::string& name, const cv::Mat& rgbaImage) {
  cv::Mat bgra;
  cv::cvtColor(rgbaImage, bgra, cv::COLOR_RGBA2BGRA);
  return cv::imwrite((dir / (name + ".png")).string(), bgra);
}

cv::Mat closeIcon() {
  auto m = canvas(66, 66);
  cv::line(m, {15, 15}, {51, 51}, rgba(40, 40, 40), 6, cv::LINE_AA);
  cv::line(m, {51, 15}, {15, 51}, rgba(40, 40, 40), 6, cv::LINE_AA);
  return m;
}

cv::Mat roundIcon(cv::Scalar fill, const std::string& glyph) {
  auto m = canvas(150, 150);
  cv::circle(m, {75, 75}, 70, fill, cv::FILLED, cv::LINE_AA);
  if (glyph == "!") {
    cv::line(m, {75, 35}, {75, 90}, rgba(255, 255, 255), 14, cv::LINE_AA);
    cv::circle(m, {75, 112}, 8, rgba(255, 255, 255), cv::FILLED, cv::LINE_AA);
  } else if (glyph == "clock") {
    cv::circle(m, {75, 75}, 45, rgba(255, 255, 255), 8, cv::LINE_AA);
    cv::line(m, {75, 75}, {75, 45}, rgba(255, 255, 255), 8, cv::LINE_AA);
    cv::line(m, {75, 75}, {98, 85}, rgba(255, 255, 255), 8, cv::LINE_AA);
  } else if (glyph == "x") {
    cv::line(m, {50, 50}, {100, 100}, rgba(255, 255, 255), 12, cv::LINE_AA);
    cv::line(m, {100, 50}, {50, 100}, rgba(255, 255, 255), 12, cv::LINE_AA);
  }
  return m;
}

// The gender choice: a ring, filled with a tick when chosen (drawn black so it can be tinted).
cv::Mat choice(bool checked) {
  auto m = canvas(60, 60);
  if (checked) {
    cv::circle(m, {30, 30}, 27, rgba(0, 0, 0), cv::FILLED, cv::LINE_AA);
    cv::line(m, {17, 31}, {26, 40}, rgba(0, 0, 0, 0), 5, cv::LINE_8);
    cv::line(m, {26, 40}, {44, 21}, rgba(0, 0, 0, 0), 5, cv::LINE_8);
  } else {
    cv::circle(m, {30, 30}, 26, rgba(150, 156, 166), 3, cv::LINE_AA);
  }
  return m;
}

// A reason whose check could not be decided: a question mark in an amber disc.
cv::Mat questionIcon() {
  auto m = canvas(60, 60);
  cv::circle(m, {30, 30}, 28, rgba(245, 166, 35), cv::FILLED, cv::LINE_AA);
  cv::ellipse(m, {30, 23}, {9, 9}, 0, 180, 405, rgba(255, 255, 255), 5, cv::LINE_AA);
  cv::line(m, {36, 30}, {30, 35}, rgba(255, 255, 255), 5, cv::LINE_AA);
  cv::circle(m, {30, 46}, 3, rgba(255, 255, 255), cv::FILLED, cv::LINE_AA);
  return m;
}

cv::Mat warningIcon() {
  auto m = canvas(300, 300);
  std::vector<cv::Point> triangle{{150, 30}, {280, 260}, {20, 260}};
  cv::fillConvexPoly(m, triangle, rgba(245, 166, 35), cv::LINE_AA);
  cv::line(m, {150, 100}, {150, 190}, rgba(255, 255, 255), 20, cv::LINE_AA);
  cv::circle(m, {150, 225}, 12, rgba(255, 255, 255), cv::FILLED, cv::LINE_AA);
  return m;
}

// White ticks of thickness `t` and length `arm` in the four corners of `m`.
void cornerTicks(cv::Mat& m, int t, int arm) {
  auto white = rgba(255, 255, 255);
  const int w = m.cols, h = m.rows;
  for (int sx : {0, 1})
    for (int sy : {0, 1}) {
      cv::Point corner(sx ? w - t / 2 - 1 : t / 2, sy ? h - t / 2 - 1 : t / 2);
      cv::line(m, corner, corner + cv::Point(sx ? -arm : arm, 0), white, t);
      cv::line(m, corner, corner + cv::Point(0, sy ? -arm : arm), white, t);
    }
}

// The mark in the middle of the card frame: corner ticks round a small cross. It is the same
// upside down, since the mask draws it through the drawing context's own image drawing, which
// lands pictures mirrored top to bottom. 46 x 26 points at scale 3.
cv::Mat centerIcon() {
  auto m = canvas(138, 78);
  auto white = rgba(255, 255, 255);
  const int w = 138, h = 78;
  cornerTicks(m, 6, 24);
  cv::line(m, {w / 2 - 14, h / 2}, {w / 2 + 14, h / 2}, white, 4);
  cv::line(m, {w / 2, h / 2 - 14}, {w / 2, h / 2 + 14}, white, 4);
  return m;
}

// The small error mark of the over-exposure badge: 13 x 13 points at scale 3.
cv::Mat smallErrorIcon() {
  auto m = canvas(39, 39);
  cv::circle(m, {19, 19}, 18, rgba(220, 60, 60), cv::FILLED, cv::LINE_AA);
  cv::line(m, {19, 9}, {19, 23}, rgba(255, 255, 255), 4, cv::LINE_AA);
  cv::circle(m, {19, 30}, 3, rgba(255, 255, 255), cv::FILLED, cv::LINE_AA);
  return m;
}

// The frame laid over the scanner's region: white corner brackets round a faint outline of
// the zone's lines. Stretched to the region, so it stays thin.
cv::Mat scanMrzFrame() {
  auto m = canvas(540, 200);
  cornerTicks(m, 6, 48);
  for (int i = 0; i < 3; ++i)
    cv::line(m, {40, 60 + i * 40}, {500, 60 + i * 40}, rgba(255, 255, 255, 90), 3, cv::LINE_AA);
  return m;
}

// The back of a card with its zone, above the scanner's hint: 48 x 38 points at scale 3.
cv::Mat scanBackCardIcon() {
  auto m = canvas(144, 114);
  cv::rectangle(m, {6, 6}, {137, 107}, rgba(255, 255, 255), 5, cv::LINE_AA);
  cv::rectangle(m, {20, 22}, {46, 44}, rgba(255, 255, 255), cv::FILLED);
  for (int i = 0; i < 3; ++i)
    cv::line(m, {20, 66 + i * 13}, {124, 66 + i * 13}, rgba(255, 255, 255), 5);
  return m;
}

// The torch button's lightning bolt, filled when on: 40 x 44 points at scale 3.
cv::Mat flashIcon(bool on) {
  auto m = canvas(120, 132);
  std::vector<cv::Point> bolt{{70, 16}, {34, 74}, {60, 74}, {50, 118}, {88, 56}, {62, 56}};
  if (on)
    cv::fillPoly(m, std::vector<std::vector<cv::Point>>{bolt}, rgba(255, 214, 10), cv::LINE_AA);
  else
    cv::polylines(m, bolt, true, rgba(255, 255, 255), 5, cv::LINE_AA);
  return m;
}

// The back chevron: 40 x 44 points at scale 3.
cv::Mat backIcon() {
  auto m = canvas(120, 132);
  cv::line(m, {72, 36}, {42, 66}, rgba(255, 255, 255), 8, cv::LINE_AA);
  cv::line(m, {42, 66}, {72, 96}, rgba(255, 255, 255), 8, cv::LINE_AA);
  return m;
}

// The shutter button of the capture screens: a ring around a disc with a camera body cut in it,
// 72 x 72 points at scale 3, drawn in black so the button tints it.
cv::Mat cameraIcon() {
  auto m = canvas(216, 216);
  auto black = rgba(0, 0, 0);
  cv::circle(m, {108, 108}, 100, black, 10, cv::LINE_AA);
  cv::circle(m, {108, 108}, 84, black, cv::FILLED, cv::LINE_AA);
  auto clear = rgba(0, 0, 0, 0);
  cv::rectangle(m, {62, 80}, {154, 146}, clear, cv::FILLED, cv::LINE_AA);
  cv::rectangle(m, {90, 68}, {126, 82}, clear, cv::FILLED, cv::LINE_AA);
  cv::circle(m, {108, 113}, 22, black, cv::FILLED, cv::LINE_AA);
  cv::circle(m, {108, 113}, 12, clear, cv::FILLED, cv::LINE_AA);
  return m;
}

// The antenna row's icon: a phone with a card laid on its back and the waves of the field,
// drawn in black so the screen tints it.
cv::Mat nfcGuideIcon() {
  auto m = canvas(72, 72);
  auto black = rgba(0, 0, 0);
  cv::rectangle(m, {14, 6}, {46, 66}, black, 4, cv::LINE_AA);
  cv::rectangle(m, {26, 24}, {64, 46}, black, cv::FILLED, cv::LINE_AA);
  for (int r : {8, 14}) cv::ellipse(m, {40, 35}, {r, r}, 0, -50, 50, black, 3, cv::LINE_AA);
  return m;
}

// The chip result's status icon: a green disc with a white tick.
cv::Mat doneIcon() {
  auto m = canvas(150, 150);
  cv::circle(m, {75, 75}, 70, rgba(26, 187, 108), cv::FILLED, cv::LINE_AA);
  cv::line(m, {44, 78}, {66, 100}, rgba(255, 255, 255), 12, cv::LINE_AA);
  cv::line(m, {66, 100}, {108, 52}, rgba(255, 255, 255), 12, cv::LINE_AA);
  return m;
}

// The chip result's background: confetti over a transparent banner.
cv::Mat congratulation() {
  auto m = canvas(600, 240);
  const std::vector<cv::Scalar> colours{rgba(26, 187, 108), rgba(50, 112, 234), rgba(255, 196, 0),
                                        rgba(236, 42, 42)};
  for (int i = 0; i < 48; ++i) {
    const int x = (i * 97) % 580 + 10;
    const int y = (i * 53) % 220 + 10;
    const auto& c = colours[static_cast<std::size_t>(i) % colours.size()];
    if (i % 3 == 0) {
      cv::circle(m, {x, y}, 5, c, cv::FILLED, cv::LINE_AA);
    } else {
      cv::line(m, {x, y}, {x + 10, y + (i % 2 ? 6 : -6)}, c, 4, cv::LINE_AA);
    }
  }
  return m;
}

// The camera switch: a camera body with two turning arrows, 30 x 30 points at scale 3.
cv::Mat switchCameraIcon() {
  auto m = canvas(90, 90);
  cv::rectangle(m, {12, 28}, {78, 72}, rgba(255, 255, 255), 5, cv::LINE_AA);
  cv::rectangle(m, {32, 18}, {58, 28}, rgba(255, 255, 255), cv::FILLED);
  cv::ellipse(m, {45, 50}, {13, 13}, 0, 200, 340, rgba(255, 255, 255), 4, cv::LINE_AA);
  cv::ellipse(m, {45, 50}, {13, 13}, 0, 20, 160, rgba(255, 255, 255), 4, cv::LINE_AA);
  cv::line(m, {58, 46}, {58, 38}, rgba(255, 255, 255), 4, cv::LINE_AA);
  cv::line(m, {32, 54}, {32, 62}, rgba(255, 255, 255), 4, cv::LINE_AA);
  return m;
}

// The photo library: a framed landscape, 28 x 28 points at scale 3.
cv::Mat galleryIcon() {
  auto m = canvas(84, 84);
  cv::rectangle(m, {8, 14}, {76, 70}, rgba(40, 40, 40), 5, cv::LINE_AA);
  std::vector<cv::Point> hills{{14, 64}, {34, 40}, {48, 54}, {58, 44}, {70, 64}};
  cv::fillPoly(m, std::vector<std::vector<cv::Point>>{hills}, rgba(40, 40, 40), cv::LINE_AA);
  cv::circle(m, {60, 28}, 6, rgba(40, 40, 40), cv::FILLED, cv::LINE_AA);
  return m;
}

// A QR code crossed out, for the invalid-code alert.
cv::Mat scanQRCodeErrorIcon() {
  auto m = canvas(150, 150);
  const auto dark = rgba(40, 40, 40);
  for (cv::Point corner : {cv::Point{20, 20}, cv::Point{90, 20}, cv::Point{20, 90}}) {
    cv::rectangle(m, corner, corner + cv::Point{40, 40}, dark, 6);
    cv::rectangle(m, corner + cv::Point{13, 13}, corner + cv::Point{27, 27}, dark, cv::FILLED);
  }
  cv::rectangle(m, {95, 95}, {110, 110}, dark, cv::FILLED);
  cv::rectangle(m, {115, 115}, {130, 130}, dark, cv::FILLED);
  cv::circle(m, {110, 110}, 30, rgba(236, 42, 42), cv::FILLED, cv::LINE_AA);
  cv::line(m, {98, 98}, {122, 122}, rgba(255, 255, 255), 7, cv::LINE_AA);
  cv::line(m, {122, 98}, {98, 122}, rgba(255, 255, 255), 7, cv::LINE_AA);
  return m;
}

cv::Mat tick() {
  auto m = canvas(60, 60);
  cv::line(m, {10, 32}, {24, 46}, rgba(0, 0, 0), 7, cv::LINE_AA);
  cv::line(m, {24, 46}, {50, 14}, rgba(0, 0, 0), 7, cv::LINE_AA);
  return m;
}

// A card: a rounded rectangle with a photo square and text lines; `back` draws a chip and MRZ.
cv::Mat card(bool back, bool passport, int flaw) {
  auto m = canvas(520, 330);
  cv::Scalar body = passport ? rgba(40, 70, 130) : rgba(225, 235, 245);
  cv::rectangle(m, {10, 10}, {510, 320}, body, cv::FILLED, cv::LINE_AA);
  cv::rectangle(m, {10, 10}, {510, 320}, rgba(60, 90, 160), 4, cv::LINE_AA);
  if (back) {
    cv::rectangle(m, {40, 60}, {120, 120}, rgba(210, 180, 90), cv::FILLED);
    for (int i = 0; i < 3; ++i)
      cv::rectangle(m, {40, 220 + i * 28}, {480, 236 + i * 28}, rgba(90, 90, 90), cv::FILLED);
  } else {
    cv::rectangle(m, {40, 80}, {170, 250}, rgba(170, 190, 210), cv::FILLED);
    cv::circle(m, {105, 140}, 35, rgba(120, 130, 150), cv::FILLED, cv::LINE_AA);
    for (int i = 0; i < 5; ++i)
      cv::rectangle(m, {200, 90 + i * 34}, {470 - i * 30, 104 + i * 34}, rgba(90, 90, 90),
                    cv::FILLED);
  }
  // The flaws follow the guide's reject texts: 1 blurred, 2 glare, 3 a corner cut off.
  if (flaw == 1) {
    cv::GaussianBlur(m, m, {41, 41}, 14);
  } else if (flaw == 2) {
    // A bright flare washing out the middle of the card, its core white.
    cv::Mat flare = m.clone();
    cv::circle(flare, {300, 150}, 120, rgba(255, 255, 255), cv::FILLED, cv::LINE_AA);
    cv::GaussianBlur(flare, flare, {0, 0}, 28);
    cv::Mat blended = m.clone();
    for (int y = 0; y < m.rows; ++y) {
      for (int x = 0; x < m.cols; ++x) {
        const double d = std::hypot(x - 300.0, y - 150.0);
        const double k = std::clamp(1.0 - d / 170.0, 0.0, 1.0);
        auto& out = blended.at<cv::Vec4b>(y, x);
        const auto& light = flare.at<cv::Vec4b>(y, x);
        if (out[3] == 0) continue;
        for (int c = 0; c < 3; ++c)
          out[c] = cv::saturate_cast<uchar>(out[c] * (1 - k) + std::max<int>(light[c], 250) * k);
      }
    }
    cv::circle(blended, {300, 150}, 45, rgba(255, 255, 255), cv::FILLED, cv::LINE_AA);
    m = blended;
  } else if (flaw == 3) {
    // The top right corner outside the picture: the card's edge runs off at a slant.
    std::vector<cv::Point> lost{{330, 0}, {520, 0}, {520, 200}};
    cv::fillPoly(m, std::vector<std::vector<cv::Point>>{lost}, rgba(0, 0, 0, 0), cv::LINE_8);
    cv::line(m, {340, 10}, {510, 189}, rgba(60, 90, 160), 4, cv::LINE_AA);
  }
  return m;
}

// Scales and lifts the colour of every pixel, as a picture taken in poor or glaring light.
void darken(cv::Mat& m, double gain, double lift) {
  std::vector<cv::Mat> channels;
  cv::split(m, channels);
  for (int c = 0; c < 3; ++c) channels[c].convertTo(channels[c], -1, gain, lift);
  cv::merge(channels, m);
}

cv::Mat face(int flaw, int turnX = 0, int turnY = 0, double tilt = 0) {
  auto m = canvas(300, 300);
  cv::circle(m, {150, 150}, 140, rgba(230, 236, 245), cv::FILLED, cv::LINE_AA);
  cv::Point c{150 + turnX, 140 + turnY};
  cv::ellipse(m, c, {70, 90}, tilt, 0, 360, rgba(240, 200, 170), cv::FILLED, cv::LINE_AA);
  double rad = tilt * CV_PI / 180;
  auto at = [&](int dx, int dy) {
    return cv::Point(c.x + int(dx * std::cos(rad) - dy * std::sin(rad)),
                     c.y + int(dx * std::sin(rad) + dy * std::cos(rad)));
  };
  cv::circle(m, at(-25 + turnX / 3, -20 + turnY / 3), 8, rgba(50, 50, 50), cv::FILLED, cv::LINE_AA);
  cv::circle(m, at(25 + turnX / 3, -20 + turnY / 3), 8, rgba(50, 50, 50), cv::FILLED, cv::LINE_AA);
  cv::line(m, at(-20, 40 + turnY / 3), at(20, 40 + turnY / 3), rgba(150, 70, 70), 5, cv::LINE_AA);
  // The flaws follow the guide's reject texts: 1 too dark, 2 a face mask, 3 sunglasses.
  if (flaw == 1) darken(m, 0.3, 0);
  if (flaw == 2) cv::rectangle(m, {60, 150}, {240, 250}, rgba(120, 170, 220), cv::FILLED);
  if (flaw == 3) cv::rectangle(m, {70, 100}, {230, 140}, rgba(20, 20, 20), cv::FILLED);
  return m;
}

// The guide line's face: an outline of a head with eyes, drawn black so it can be tinted.
cv::Mat faceIcon() {
  auto m = canvas(120, 120);
  const cv::Scalar ink = rgba(40, 40, 40);
  cv::ellipse(m, {60, 60}, {34, 44}, 0, 0, 360, ink, 6, cv::LINE_AA);
  cv::circle(m, {47, 52}, 5, ink, cv::FILLED, cv::LINE_AA);
  cv::circle(m, {73, 52}, 5, ink, cv::FILLED, cv::LINE_AA);
  cv::ellipse(m, {60, 74}, {14, 8}, 0, 20, 160, ink, 5, cv::LINE_AA);
  return m;
}

// The face scaled by `k` about the canvas centre (cropped when larger, on a clear canvas when
// smaller).
cv::Mat scaledFace(double k, int dx = 0) {
  auto source = face(0);
  cv::Mat scaled;
  cv::resize(source, scaled, {}, k, k, cv::INTER_AREA);
  auto m = canvas(300, 300);
  int x = 150 + dx - scaled.cols / 2;
  int y = 150 - scaled.rows / 2;
  cv::Rect into = cv::Rect(x, y, scaled.cols, scaled.rows) & cv::Rect(0, 0, 300, 300);
  cv::Rect from(into.x - x, into.y - y, into.width, into.height);
  scaled(from).copyTo(m(into));
  return m;
}

// The pictures of the vendor liveness screen: what went wrong with the face.
cv::Mat livenessPicture(const std::string& kind) {
  if (kind == "too_dark" || kind == "too_bright") {
    auto m = face(0);
    if (kind == "too_dark") {
      darken(m, 0.3, 0);
    } else {
      darken(m, 0.4, 160);
    }
    return m;
  }
  if (kind == "face_cover") return face(2);
  if (kind == "hold_still") {
    auto m = face(0);
    cv::Mat kernel = cv::Mat::zeros(1, 31, CV_32F) + 1.0f / 31;
    cv::filter2D(m, m, -1, kernel);
    return m;
  }
  if (kind == "angle") return face(0, 45, 0, 15);
  if (kind == "eye_closed") {
    auto m = face(0);
    for (int x : {125, 175}) {
      cv::circle(m, {x, 120}, 10, rgba(240, 200, 170), cv::FILLED, cv::LINE_AA);
      cv::line(m, {x - 10, 122}, {x + 10, 122}, rgba(50, 50, 50), 4, cv::LINE_AA);
    }
    return m;
  }
  if (kind == "too_far") return scaledFace(0.4);
  if (kind == "too_close") return scaledFace(1.8);
  if (kind == "sun_glasses") return face(3);
  if (kind == "multiple_faces") {
    auto left = scaledFace(0.5, -70);
    auto right = scaledFace(0.5, 70);
    cv::Mat m;
    cv::max(left, right, m);
    return m;
  }
  // The general failure: the face crossed out.
  auto m = face(0);
  cv::line(m, {60, 60}, {240, 240}, rgba(220, 60, 60), 16, cv::LINE_AA);
  cv::line(m, {240, 60}, {60, 240}, rgba(220, 60, 60), 16, cv::LINE_AA);
  return m;
}

std::vector<ostrel::testing::GifFrame> movement(int dx, int dy, double tilt) {
  std::vector<ostrel::testing::GifFrame> frames;
  for (int step = 0; step <= 4; ++step) {
    double k = step / 4.0;
    frames.push_back({face(0, int(dx * k), int(dy * k), tilt * k), step == 4 ? 60 : 15});
  }
  return frames;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path("resources/ZAZiZEZ_ADE.bundle");
  if (!fs::is_directory(dir)) {
    std::fprintf(stderr, "no bundle folder at %s\n", dir.string().c_str());
    return 1;
  }
  bool ok = savePng(dir, "icon_close", closeIcon()) &&
            savePng(dir, "icon_alert_timeout", roundIcon(rgba(50, 112, 234), "clock")) &&
            savePng(dir, "icon_alert_error", roundIcon(rgba(220, 60, 60), "!")) &&
            savePng(dir, "qirta_warning", warningIcon()) &&
            savePng(dir, "icon_check_list", tick()) &&
            savePng(dir, "ic_scan_nfc_guide", nfcGuideIcon()) &&
            savePng(dir, "icon_done", doneIcon()) &&
            savePng(dir, "ic_congratulation", congratulation()) &&
            savePng(dir, "icon_center@3x", centerIcon()) &&
            savePng(dir, "ic_error_size_10@3x", smallErrorIcon()) &&
            savePng(dir, "ic_camera@3x", cameraIcon()) &&
            savePng(dir, "ic_guide_front", card(false, false, 0)) &&
            savePng(dir, "ic_guide_id_back", card(true, false, 0)) &&
            savePng(dir, "ic_passport", card(false, true, 0)) &&
            savePng(dir, "ic_guide_liveness", face(0)) &&
            savePng(dir, "checked", choice(true)) && savePng(dir, "uncheck", choice(false)) &&
            savePng(dir, "icon_error", roundIcon(rgba(236, 42, 42), "x")) &&
            savePng(dir, "ic_question_reason", questionIcon()) &&
            savePng(dir, "ic_scan_mrz", scanMrzFrame()) &&
            savePng(dir, "ic_scan_back_card@3x", scanBackCardIcon()) &&
            savePng(dir, "ic_flash_on@3x", flashIcon(true)) &&
            savePng(dir, "ic_flash_off@3x", flashIcon(false)) &&
            savePng(dir, "ic_back@3x", backIcon()) &&
            savePng(dir, "face_icon", faceIcon()) &&
            savePng(dir, "ic_error", roundIcon(rgba(236, 42, 42), "x")) &&
            savePng(dir, "ic_switch_camera@3x", switchCameraIcon()) &&
            savePng(dir, "ic_gallery@3x", galleryIcon()) &&
            savePng(dir, "qirta_scan_qrcode_error", scanQRCodeErrorIcon());
  for (int n = 1; ok && n <= 3; ++n) {
    std::string s = std::to_string(n);
    ok = savePng(dir, "ic_reject_front_" + s, card(false, false, n)) &&
         savePng(dir, "ic_reject_back_" + s, card(true, false, n)) &&
         savePng(dir, "ic_reject_passport_" + s, card(false, true, n)) &&
         savePng(dir, "ic_reject_liveness_" + s, face(n));
  }
  for (const char* kind :
       {"too_dark", "face_cover", "hold_still", "too_bright", "angle", "eye_closed", "too_far",
        "too_close", "sun_glasses", "multiple_faces", "fail"}) {
    if (!ok) break;
    ok = savePng(dir, std::string("liveness_") + kind, livenessPicture(kind));
  }
  struct Move {
    const char* name;
    int dx, dy;
    double tilt;
  };
  for (const Move& move :
       {Move{"turnUp", 0, -40, 0}, Move{"turnDown", 0, 40, 0}, Move{"turnLeft", -45, 0, 0},
        Move{"turnRight", 45, 0, 0}, Move{"tiltLeft", 0, 0, -20}, Move{"tiltRight", 0, 0, 20}}) {
    if (!ok) break;
    auto gif = ostrel::testing::writeGif(movement(move.dx, move.dy, move.tilt));
    ok = gif.has_value();
    if (ok) {
      std::ofstream out(dir / (std::string(move.name) + ".gif"), std::ios::binary);
      out.write(reinterpret_cast<const char*>(gif->data()),
                static_cast<std::streamsize>(gif->size()));
      ok = out.good();
    }
  }
  if (!ok) {
    std::fprintf(stderr, "could not write the pictures\n");
    return 1;
  }
  return 0;
}
