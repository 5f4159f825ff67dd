#pragma once

#include <memory>
#include <vector>

#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/Nib.hpp"
#include "platform/ui/View.hpp"

namespace ostrel {

// The two blocks the guide pages share, for their nib builders: a checklist of tips with a tick
// beside each line, and a row of pictures of what to avoid with their captions. Each block is a
// heading at `top` followed by its content, laid across `width` with margins of 20.

struct GuideChecklist {
  std::shared_ptr<platform::Label> heading;
  std::vector<std::shared_ptr<platform::Label>> lines;
  std::vector<std::shared_ptr<platform::ImageView>> ticks;
};
// Four lines, 30 points apart.
GuideChecklist addGuideChecklist(platform::NibLoader& nib,
                                 const std::shared_ptr<platform::View>& parent, double top,
                                 double width);

struct GuideExamples {
  std::shared_ptr<platform::Label> heading;
  std::vector<std::shared_ptr<platform::ImageView>> pictures;
  std::vector<std::shared_ptr<platform::Label>> captions;
};
// Three columns, each a picture `pictureHeight` high with a caption below it.
GuideExamples addGuideExamples(platform::NibLoader& nib,
                               const std::shared_ptr<platform::View>& parent, double top,
                               double width, double pictureHeight);

}  // namespace ostrel
