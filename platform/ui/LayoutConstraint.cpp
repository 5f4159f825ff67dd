#include "platform/ui/LayoutConstraint.hpp"

#include "platform/ui/View.hpp"

namespace ostrel::platform {

std::shared_ptr<LayoutConstraint> LayoutAnchor::constraint(LayoutRelation relation,
                                                           const LayoutAnchor& other,
                                                           double constant,
                                                           double multiplier) const {
  auto c = std::make_shared<LayoutConstraint>();
  c->firstItem = item;
  c->firstAttribute = attribute;
  c->relation = relation;
  c->secondItem = other.item;
  c->secondAttribute = other.attribute;
  c->constant = constant;
  c->multiplier = multiplier;
  return c;
}

std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintEqualTo(const LayoutAnchor& other,
                                                                  double constant) const {
  return constraint(LayoutRelation::equal, other, constant);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintGreaterThanOrEqualTo(
    const LayoutAnchor& other, double constant) const {
  return constraint(LayoutRelation::greaterThanOrEqual, other, constant);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintLessThanOrEqualTo(
    const LayoutAnchor& other, double constant) const {
  return constraint(LayoutRelation::lessThanOrEqual, other, constant);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintEqualToConstant(double constant) const {
  return constraint(LayoutRelation::equal, LayoutAnchor{}, constant);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintGreaterThanOrEqualToConstant(
    double constant) const {
  return constraint(LayoutRelation::greaterThanOrEqual, LayoutAnchor{}, constant);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintLessThanOrEqualToConstant(
    double constant) const {
  return constraint(LayoutRelation::lessThanOrEqual, LayoutAnchor{}, constant);
}

std::shared_ptr<View> LayoutConstraint::viewOf(const std::shared_ptr<Object>& item) {
  if (auto view = std::dynamic_pointer_cast<View>(item)) return view;
  if (auto guide = std::dynamic_pointer_cast<LayoutGuide>(item)) return guide->owningView();
  return nullptr;
}

void LayoutConstraint::setActive(bool active) {
  if (active == active_) return;
  active_ = active;
  auto self = shared<LayoutConstraint>();
  if (!active) {
    if (auto view = installedOn_.lock()) view->removeConstraint(this);
    installedOn_.reset();
    return;
  }
  // Installed on the nearest common ancestor of its items, as the platform does.
  auto first = viewOf(firstItem.lock());
  auto second = viewOf(secondItem.lock());
  std::shared_ptr<View> host = first;
  if (first && second) {
    host = nullptr;
    for (auto v = first; v; v = v->superview()) {
      if (second->isDescendantOf(v.get())) {
        host = v;
        break;
      }
    }
    if (!host) host = first;
  } else if (!first) {
    host = second;
  }
  if (host) {
    host->addConstraint(self);
    installedOn_ = host;
  }
}

void LayoutConstraint::activate(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
  for (const auto& c : constraints) {
    if (c) c->setActive(true);
  }
}

void LayoutConstraint::deactivate(
    const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
  for (const auto& c : constraints) {
    if (c) c->setActive(false);
  }
}

}  // namespace ostrel::platform
