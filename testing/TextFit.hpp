#pragma once

// Whether the texts a screen shows fit the places its layout gives them: a label whose text
// ends in an ellipsis or loses lines, or runs into a control beside it, is what a user reads
// as a broken screen.

#include <string>
#include <vector>

#include "platform/ui/View.hpp"

namespace ostrel::testing {

// The visible labels under `root` whose text does not fit their frame: a one-line label whose
// line is longer than its width (unless it may shrink to half its size to fit), a wrapping
// label whose lines are taller than its height or more than its line limit. One description per
// label ("'text' needs 212 x 17 in 180 x 17"), in the tree's order. Measured with the installed
// text measurer.
std::vector<std::string> labelsCutShort(const platform::View& root);

// Whether the two views' frames, in window coordinates, overlap by more than `slack` points.
bool framesOverlap(const platform::View& a, const platform::View& b, double slack = 0.5);

}  // namespace ostrel::testing
