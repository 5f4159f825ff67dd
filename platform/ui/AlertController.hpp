#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/Geometry.hpp"
#include "platform/ui/ViewController.hpp"

namespace ostrel::platform {

class View;

enum class AlertControllerStyle { actionSheet = 0, alert = 1 };
enum class AlertActionStyle { defaultStyle = 0, cancel = 1, destructive = 2 };

struct AlertAction {
  std::string title;
  AlertActionStyle style = AlertActionStyle::defaultStyle;
  std::function<void()> handler;
};

// Where an action sheet's popover points on a pad.
struct PopoverAnchor {
  std::weak_ptr<View> sourceView;
  Rect sourceRect;
  // Raw arrow directions: up 1, down 2, left 4, right 8.
  unsigned permittedArrowDirections = 0;
};

// The system's alert or action sheet, presented as any controller. Taking an action dismisses
// it, then runs the action's handler.
class AlertController : public ViewController {
 public:
  static std::shared_ptr<AlertController> make(std::optional<std::string> title,
                                               std::optional<std::string> message,
                                               AlertControllerStyle style);

  const std::optional<std::string>& alertTitle() const { return title_; }
  const std::optional<std::string>& message() const { return message_; }
  AlertControllerStyle preferredStyle() const { return style_; }
  void addAction(AlertAction action) { actions_.push_back(std::move(action)); }
  const std::vector<AlertAction>& actions() const { return actions_; }

  // The popover anchor of an action sheet on a pad; nothing otherwise.
  PopoverAnchor* popoverPresentationController();

  // The user takes the first action titled `title`; false when there is none.
  bool performAction(const std::string& title);

 private:
  std::optional<std::string> title_;
  std::optional<std::string> message_;
  AlertControllerStyle style_ = AlertControllerStyle::alert;
  std::vector<AlertAction> actions_;
  std::optional<PopoverAnchor> popover_;
};

}  // namespace ostrel::platform
