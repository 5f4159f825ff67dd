#include "ui/SheetDrag.hpp"

namespace ostrel {

using namespace platform;

namespace {

void springBack(const std::shared_ptr<View>& sheet, Point origin) {
  std::weak_ptr<View> weakSheet = sheet;
  View::animate(0.3, 0, 0.75, 3.0, AnimationOptions{}, [weakSheet, origin] {
    if (auto root = weakSheet.lock()) root->setFrame({origin, root->frame().size});
  });
}

}  // namespace

void dragSheet(const std::shared_ptr<View>& sheet, PanGestureRecognizer& recognizer,
               Point& origin, double closeDistance, const std::function<void()>& close) {
  if (!sheet) return;
  switch (recognizer.state()) {
    case GestureState::began:
      origin = sheet->frame().origin;
      break;
    case GestureState::changed: {
      double t = recognizer.translation(sheet.get()).y;
      if (t > 0) {
        Rect f = sheet->frame();
        sheet->setFrame({f.minX(), origin.y + t, f.width(), f.height()});
      }
      break;
    }
    case GestureState::ended:
      if (recognizer.translation(sheet.get()).y > closeDistance) {
        close();
      } else {
        springBack(sheet, origin);
      }
      break;
    case GestureState::cancelled:
    case GestureState::failed:
      // An interrupted drag must not leave the sheet half way down.
      springBack(sheet, origin);
      break;
    default:
      break;
  }
}

}  // namespace ostrel
