#pragma once

#include <functional>
#include <memory>

#include "platform/ui/GestureRecognizer.hpp"
#include "platform/ui/View.hpp"

namespace ostrel {

// How the library's bottom sheets follow a drag on their view: the sheet moves down with the
// finger (never up), a release more than `closeDistance` points down closes it, and any other
// end (a shorter drag, an upward one, an interrupted one) springs it back to where the drag
// began (0.3 s, damping 0.75, initial velocity 3.0). `origin` keeps the sheet's origin from
// the beginning of the drag to its end.
void dragSheet(const std::shared_ptr<platform::View>& sheet,
               platform::PanGestureRecognizer& recognizer, platform::Point& origin,
               double closeDistance, const std::function<void()>& close);

}  // namespace ostrel
