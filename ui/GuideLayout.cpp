#include "ui/GuideLayout.hpp"

namespace ostrel {

using namespace platform;

namespace {

constexpr double kMargin = 20;
constexpr double kHeadingGap = 30;

std::shared_ptr<Label> addHeading(NibLoader& nib, const std::shared_ptr<View>& parent, double top,
                                  double width) {
  auto heading = nib.makeView<Label>(Rect{kMargin, top, width - 2 * kMargin, 22});
  heading->setFont(Font::systemFont(16, FontWeight::semibold));
  parent->addSubview(heading);
  return heading;
}

}  // namespace

GuideChecklist addGuideChecklist(NibLoader& nib, const std::shared_ptr<View>& parent, double top,
                                 double width) {
  GuideChecklist block;
  block.heading = addHeading(nib, parent, top, width);
  for (int i = 0; i < 4; ++i) {
    double y = top + kHeadingGap + i * 30;
    auto tick = nib.makeView<ImageView>(Rect{kMargin, y, 20, 20});
    auto line = nib.makeView<Label>(Rect{48, y, width - 48 - kMargin, 22});
    line->setFont(Font::systemFont(14));
    line->setNumberOfLines(0);
    parent->addSubview(tick);
    parent->addSubview(line);
    block.lines.push_back(line);
    block.ticks.push_back(tick);
  }
  return block;
}

GuideExamples addGuideExamples(NibLoader& nib, const std::shared_ptr<View>& parent, double top,
                               double width, double pictureHeight) {
  GuideExamples block;
  block.heading = addHeading(nib, parent, top, width);
  const double y = top + kHeadingGap;
  const double column = (width - 2 * kMargin - 2 * 10) / 3;
  for (int i = 0; i < 3; ++i) {
    double x = kMargin + i * (column + 10);
    auto picture = nib.makeView<ImageView>(Rect{x, y, column, pictureHeight});
    picture->setContentMode(ContentMode::scaleAspectFit);
    auto caption = nib.makeView<Label>(Rect{x, y + pictureHeight + 6, column, 36});
    caption->setFont(Font::systemFont(12));
    caption->setNumberOfLines(0);
    caption->textAlignment = TextAlignment::center;
    parent->addSubview(picture);
    parent->addSubview(caption);
    block.pictures.push_back(picture);
    block.captions.push_back(caption);
  }
  return block;
}

}  // namespace ostrel
