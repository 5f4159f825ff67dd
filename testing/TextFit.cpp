#include "testing/TextFit.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

#include "platform/ui/Label.hpp"
#include "platform/ui/Text.hpp"

namespace ostrel::testing {

using namespace platform;

namespace {

bool shown(const View& view) {
  for (const View* v = &view; v; v = v->superview().get()) {
    if (v->isHidden() || v->alpha() <= 0.01) return false;
  }
  return true;
}

std::string describe(const std::string& text, Size needed, Size given) {
  std::ostringstream out;
  out << "'" << text << "' needs " << std::ceil(needed.width) << " x " << std::ceil(needed.height)
      << " in " << given.width << " x " << given.height;
  return out.str();
}

}  // namespace

std::vector<std::string> labelsCutShort(const View& root) {
  std::vector<std::string> cut;
  const TextMeasurer& measurer = TextMeasurer::shared();
  std::function<void(const View&)> visit = [&](const View& view) {
    if (auto label = dynamic_cast<const Label*>(&view); label && shown(*label)) {
      const std::string text = label->text().value_or("");
      const Rect box = label->textRect(label->bounds());
      Font font = label->font();
      if (const auto& attributed = label->attributedText(); attributed && attributed->font)
        font = *attributed->font;
      if (!text.empty() && box.width() > 0 && box.height() > 0) {
        if (label->numberOfLines() == 1) {
          const double line = measurer.lineWidth(text, font);
          const double room = label->adjustsFontSizeToFitWidth ? 2 * box.width() : box.width();
          if (line > room + 0.5) cut.push_back(describe(text, {line, 0}, box.size));
        } else {
          const Size all = measurer.boundingSize(text, font, {box.width(), 0}, 0);
          const Size allowed =
              measurer.boundingSize(text, font, {box.width(), 0}, label->numberOfLines());
          // A line of ink may reach past the frame as labels draw it; a lost line may not.
          const double lineHeight = measurer.boundingSize("A", font, {0, 0}, 1).height;
          if (allowed.height + 1 < all.height || all.height > box.height() + lineHeight / 2)
            cut.push_back(describe(text, all, box.size));
        }
      }
    }
    for (const auto& child : view.subviews()) visit(*child);
  };
  visit(root);
  return cut;
}

bool framesOverlap(const View& a, const View& b, double slack) {
  const Rect ra = a.convertRectTo(a.bounds(), nullptr);
  const Rect rb = b.convertRectTo(b.bounds(), nullptr);
  const double w = std::min(ra.maxX(), rb.maxX()) - std::max(ra.minX(), rb.minX());
  const double h = std::min(ra.maxY(), rb.maxY()) - std::max(ra.minY(), rb.minY());
  return w > slack && h > slack;
}

}  // namespace ostrel::testing
