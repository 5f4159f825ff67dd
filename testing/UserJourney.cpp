#include "testing/UserJourney.hpp"

#include <algorithm>

#include "liveness/OSLGuideLivenessAdvanceVC.hpp"
#include "nfcscan/OSLResultNFCVC.hpp"
#include "platform/runtime/Runtime.hpp"
#include "platform/ui/NavigationController.hpp"
#include "results/ConfirmViewController.hpp"
#include "results/OSLResulteKYCVC.hpp"
#include "results/OSLSimpleResultVC.hpp"
#include "ui/OSLAlertVC.hpp"
#include "ui/OSLPopupHolderViewController.hpp"

namespace ostrel::testing {

using platform::ViewController;

namespace {

// Taps `button` when it can be tapped and nothing covers it; says `what`.
bool tapButton(const std::shared_ptr<platform::Control>& button, ScriptedUser& finger,
               const UserJourney::Say& say, const std::string& what) {
  if (!button || !button->isEnabled() || button->isHidden() || !button->window() ||
      !ScriptedUser::reaches(button)) {
    return false;
  }
  say(what);
  finger.tap(button);
  return true;
}

template <class Screen>
std::shared_ptr<Screen> as(const std::shared_ptr<ViewController>& top) {
  return std::dynamic_pointer_cast<Screen>(top);
}

}  // namespace

UserJourney::UserJourney(Say say) : say_(std::move(say)) {}

UserJourney::~UserJourney() { detach(); }

void UserJourney::on(const std::string& name, Step step) {
  auto it = std::find_if(rules_.begin(), rules_.end(),
                         [&](const Rule& rule) { return rule.name == name; });
  if (it != rules_.end()) {
    it->step = std::move(step);
  } else {
    rules_.push_back({name, std::move(step)});
  }
}

void UserJourney::remove(const std::string& name) {
  std::erase_if(rules_, [&](const Rule& rule) { return rule.name == name; });
}

void UserJourney::addCooperativeSteps() {
  addCaptureSteps(*this);
  on("alert", [](const std::shared_ptr<ViewController>& top, ScriptedUser& finger,
                 const Say& say) {
    auto alert = as<OSLAlertVC>(top);
    return alert && tapButton(alert->btnConfirm, finger, say, "confirms the alert");
  });
  on("review", [](const std::shared_ptr<ViewController>& top, ScriptedUser& finger,
                  const Say& say) {
    auto review = as<ConfirmViewController>(top);
    // The fields arrive with the server's reading; a user confirms what they can see.
    if (!review || !review->idNumberTextField || review->idNumberTextField->text().empty()) {
      return false;
    }
    return tapButton(review->confirmButton, finger, say,
                     "confirms the review of " + review->nameTextField->text());
  });
  on("result", [](const std::shared_ptr<ViewController>& top, ScriptedUser& finger,
                  const Say& say) {
    if (auto full = as<OSLResulteKYCVC>(top)) {
      return tapButton(full->btnConfirm, finger, say, "confirms the result screen");
    }
    if (auto simple = as<OSLSimpleResultVC>(top)) {
      return tapButton(simple->btnConfirm, finger, say, "confirms the result screen");
    }
    if (auto chip = as<OSLResultNFCVC>(top)) {
      return tapButton(chip->btnConfirm, finger, say, "confirms the result screen");
    }
    return false;
  });
  on("vendor liveness", [](const std::shared_ptr<ViewController>& top, ScriptedUser& finger,
                           const Say& say) {
    auto vendor = as<OSLGuideLivenessAdvanceVC>(top);
    return vendor && tapButton(vendor->verifyButton, finger, say, "starts the liveness check");
  });
  addFaceSteps(*this);
  addChipSteps(*this);
}

std::shared_ptr<ViewController> UserJourney::topScreen(
    const std::shared_ptr<platform::Window>& window) {
  if (!window) return nullptr;
  std::shared_ptr<ViewController> top = window->rootViewController();
  while (top && top->presentedViewController()) top = top->presentedViewController();
  if (auto navi = std::dynamic_pointer_cast<platform::NavigationController>(top)) {
    if (auto inner = navi->topViewController()) top = inner;
  }
  if (auto holder = std::dynamic_pointer_cast<OSLPopupHolderViewController>(top)) {
    if (holder->mainPopVC) top = holder->mainPopVC;
  }
  return top;
}

bool UserJourney::isSettled(const std::shared_ptr<platform::Window>& window) {
  if (!window) return true;
  for (auto c = window->rootViewController(); c; c = c->presentedViewController()) {
    if (c->isBeingPresented()) return false;
  }
  return true;
}

bool UserJourney::look(const std::shared_ptr<platform::Window>& window) {
  auto shown = window ? window : platform::Window::keyWindow();
  auto top = topScreen(shown);
  if (!top || !isSettled(shown)) return false;
  // Frames are settled before a finger lands, as the platform's display pass does.
  shown->displayIfNeeded();
  auto last = lastScreen_.lock();
  for (const auto& rule : rules_) {
    if (last == top && lastRule_ == rule.name) continue;
    if (rule.step(top, finger_, say_)) {
      lastScreen_ = top;
      lastRule_ = rule.name;
      return true;
    }
  }
  if (last != top) {
    lastScreen_.reset();
    lastRule_.clear();
  }
  return false;
}

void UserJourney::attach(double interval) {
  if (*attached_) return;
  *attached_ = true;
  scheduleLook(interval);
}

void UserJourney::detach() {
  *attached_ = false;
  attached_ = std::make_shared<bool>(false);
}

void UserJourney::scheduleLook(double interval) {
  std::weak_ptr<bool> alive = attached_;
  platform::Runtime::current().mainQueue()->asyncAfter(interval, [this, alive, interval] {
    auto flag = alive.lock();
    if (!flag || !*flag) return;
    look();
    scheduleLook(interval);
  });
}

}  // namespace ostrel::testing
