#pragma once

#include <optional>

#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/media/Image.hpp"
#include "platform/ui/Text.hpp"

namespace ostrel::platform {
class Label;
}

namespace ostrel::testing {

// The colour of the pixel under `point` (points, through the image's scale), straight alpha.
platform::Color pixelAt(const platform::Image& image, platform::Point point);
// The smallest rectangle (points) holding every pixel that differs from `background` by more
// than `tolerance` on some component; nothing when none does.
std::optional<platform::Rect> inkBounds(const platform::Image& image, platform::Color background,
                                        double tolerance = 0.1);
// The same, looking only at the pixels inside `area` (points, cut to the picture).
std::optional<platform::Rect> inkBoundsWithin(const platform::Image& image, platform::Rect area,
                                              platform::Color background,
                                              double tolerance = 0.1);
// The colour most pixels of `area` have (components rounded to 1/32), e.g. what a label's
// text is drawn on.
platform::Color dominantColor(const platform::Image& image, platform::Rect area);
// The share (0...1) of the pixels of `area` within `tolerance` of `color`.
double shareOfColor(const platform::Image& image, platform::Rect area, platform::Color color,
                    double tolerance = 0.1);
// The tallest run of whole pixel rows of `area` (in points) in which every pixel is within
// `tolerance` of `background`: a blank band.
double tallestBlankBand(const platform::Image& image, platform::Rect area,
                        platform::Color background, double tolerance = 0.03);

// How a label's text came out in a picture of its window, next to the same text drawn alone
// with all the room it wants (as many lines as it takes at the label's width).
struct DrawnText {
  std::optional<platform::Rect> onScreen;  // ink around the label's frame, window points
  std::optional<platform::Rect> whole;     // ink of the text drawn alone, label points
  bool scaledToFit = false;  // a one-line label that shrinks its text: `whole` is that line
};
// `screen` is a picture of `label`'s window. The ink is looked for in the label's frame grown
// by `reach` points on every side (marks may be drawn past a label's bounds).
DrawnText drawnText(const platform::Image& screen, const platform::Label& label,
                    double reach = 6);
// Whether the text came out whole: its ink as tall and as wide as the text drawn alone,
// within `slack` points (for a label that shrinks its line, the same shape within 6 %). A tail
// cut to "…", a line too few or a mark clipped at the top fails.
bool isDrawnWhole(const DrawnText& text, double slack = 1);

// How far the highest ink in `region` (points) rises above the top that most inked columns
// share: over a line of capitals, the height of the marks stacked on them ("Ễ" over "NGUY").
// Nothing when the region holds no ink.
std::optional<double> inkRiseAboveCapitals(const platform::Image& image, platform::Rect region,
                                           platform::Color background, double tolerance = 0.3);
// The same rise as the fonts give it for `capitals` set in `font`, uncut.
double stackedMarkRise(const std::string& capitals, const platform::Font& font);

}  // namespace ostrel::testing
