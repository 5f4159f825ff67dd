#pragma once

#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "core/OSLAppearance.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/NavigationController.hpp"
#include "platform/ui/PangoText.hpp"
#include "platform/ui/Renderer.hpp"
#include "platform/ui/View.hpp"
#include "platform/ui/Window.hpp"
#include "testing/LanguageDictionary.hpp"
#include "testing/PixelProbe.hpp"
#include "testing/StatePictures.hpp"
#include "ui/ViewExtensions.hpp"

namespace ostrel::screen_states_test {

using namespace platform;

// Every state's picture goes to one folder of the build: "<screen>-<state>.png".
inline testing::StatePictures& pictures() {
  static testing::StatePictures shared(OSTREL_STATE_PICTURES);
  return shared;
}

// A screen fixture `Base` turned into one that shows what a person sees: text measured and
// drawn with Pango, and the language dictionary the server serves instead of "[key]" texts.
template <class Base>
class Drawn : public Base {
 protected:
  explicit Drawn(const std::string& language = "vi") {
    PangoTextMeasurer::install();
    setLanguageDictionary(testing::defaultLanguageDictionary(language));
  }
  ~Drawn() override { TextMeasurer::install(nullptr); }

  // A text missing from the dictionary shows as an empty label.
  void TearDown() override {
    Base::TearDown();
    std::string keys;
    for (const auto& key : missing_.keys()) keys += " " + key;
    EXPECT_TRUE(keys.empty()) << "looked up but not in the dictionary:" << keys;
  }

  // Pictures the window as it is now.
  ImagePtr take(const std::string& screen, const std::string& state) {
    return pictures().take(screen, state);
  }

 private:
  testing::MissingKeyRecorder missing_;
};

// The first view under `root` (itself included), depth first, that is a `T` and meets `test`.
template <class T>
std::shared_ptr<T> findView(const std::shared_ptr<View>& root,
                            const std::function<bool(const T&)>& test = nullptr) {
  if (!root) return nullptr;
  if (auto found = std::dynamic_pointer_cast<T>(root); found && (!test || test(*found))) {
    return found;
  }
  for (const auto& child : root->subviews()) {
    if (auto found = findView<T>(child, test)) return found;
  }
  return nullptr;
}

// The label under `root` showing exactly `text`, if one is on show.
inline std::shared_ptr<Label> labelShowing(const std::shared_ptr<View>& root,
                                           const std::string& text) {
  return findView<Label>(root, [&](const Label& label) {
    return label.text() == text && !label.isHidden() && label.window();
  });
}

inline Color mainColor() {
  return colorFromHex(currentAppearance()->mainColor);
}

// Whether the view, drawn alone, covers every pixel of its bounds: nothing under a screen
// with such a root view can show through it.
inline ::testing::AssertionResult coversItsBounds(const View& view) {
  auto picture = snapshot(view, 1);
  if (!picture) return ::testing::AssertionFailure() << "nothing drawn";
  const cv::Mat& bitmap = picture->bitmap();
  int seeThrough = 0;
  for (int y = 0; y < bitmap.rows; ++y) {
    for (int x = 0; x < bitmap.cols; ++x) seeThrough += bitmap.at<cv::Vec4b>(y, x)[3] < 255;
  }
  if (seeThrough == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << seeThrough << " of " << bitmap.total() << " points are not opaque";
}

// Whether the window looks the same with `beneath` hidden: nothing of it shows.
inline ::testing::AssertionResult hidesBeneath(View& beneath) {
  auto with = pictures().look();
  const bool wasHidden = beneath.isHidden();
  beneath.setHidden(true);
  auto without = pictures().look();
  beneath.setHidden(wasHidden);
  if (!with || !without) return ::testing::AssertionFailure() << "nothing drawn";
  cv::Mat difference;
  cv::absdiff(with->bitmap(), without->bitmap(), difference);
  cv::Mat gray;
  cv::cvtColor(difference, gray, cv::COLOR_BGRA2GRAY);
  const int shown = cv::countNonZero(gray > 8);
  if (shown == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << shown << " pixels of the screen beneath show through";
}

// Whether `label`'s text is drawn whole in `screen`: no tail cut, no line lost, no mark
// above the letters clipped.
inline ::testing::AssertionResult drawnWhole(const Image& screen, const Label& label) {
  if (label.text().value_or("").empty() && !label.attributedText()) {
    return ::testing::AssertionFailure() << "the label has no text";
  }
  auto text = testing::drawnText(screen, label);
  if (!text.whole) {
    return ::testing::AssertionFailure()
           << "\"" << label.text().value_or("") << "\" cannot be seen on its background";
  }
  if (testing::isDrawnWhole(text)) return ::testing::AssertionSuccess();
  auto describe = [](const std::optional<Rect>& r) {
    if (!r) return std::string("none");
    return std::to_string(r->width()) + " x " + std::to_string(r->height());
  };
  return ::testing::AssertionFailure()
         << "\"" << label.text().value_or("(attributed)") << "\" drawn "
         << describe(text.onScreen) << " but whole it is " << describe(text.whole);
}

// Whether the navigation bar shows ink (a title, items) in its left, middle and right parts.
inline ::testing::AssertionResult barShowsItems(const Image& screen, const View& bar,
                                                bool left, bool title, bool right) {
  const Rect frame = bar.convertRectTo(bar.bounds(), nullptr);
  const Color background = testing::dominantColor(screen, frame);
  const double w = frame.width();
  auto inked = [&](double from, double to) {
    return testing::inkBoundsWithin(
               screen, {frame.minX() + from * w, frame.minY(), (to - from) * w, frame.height()},
               background, 0.25)
        .has_value();
  };
  std::string missing;
  if (left && !inked(0, 0.2)) missing += " leading item";
  if (title && !inked(0.3, 0.7)) missing += " title";
  if (right && !inked(0.8, 1)) missing += " trailing item";
  if (missing.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the bar shows no" << missing;
}

}  // namespace ostrel::screen_states_test
