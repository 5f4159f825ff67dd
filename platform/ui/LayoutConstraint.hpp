#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/Object.hpp"

namespace ostrel::platform {

class View;
class LayoutGuide;

enum class LayoutAttribute {
  notAnAttribute,
  left,
  right,
  top,
  bottom,
  leading,
  trailing,
  width,
  height,
  centerX,
  centerY
};
enum class LayoutRelation { lessThanOrEqual = -1, equal = 0, greaterThanOrEqual = 1 };

// One side of a constraint: a view or a layout guide, and the attribute taken from it.
struct LayoutAnchor {
  std::weak_ptr<Object> item;
  LayoutAttribute attribute = LayoutAttribute::notAnAttribute;

  std::shared_ptr<class LayoutConstraint> constraint(LayoutRelation relation,
                                                     const LayoutAnchor& other, double constant = 0,
                                                     double multiplier = 1) const;
  std::shared_ptr<LayoutConstraint> constraintEqualTo(const LayoutAnchor& other,
                                                      double constant = 0) const;
  std::shared_ptr<LayoutConstraint> constraintGreaterThanOrEqualTo(const LayoutAnchor& other,
                                                                   double constant = 0) const;
  std::shared_ptr<LayoutConstraint> constraintLessThanOrEqualTo(const LayoutAnchor& other,
                                                                double constant = 0) const;
  std::shared_ptr<LayoutConstraint> constraintEqualToConstant(double constant) const;
  std::shared_ptr<LayoutConstraint> constraintGreaterThanOrEqualToConstant(double constant) const;
  std::shared_ptr<LayoutConstraint> constraintLessThanOrEqualToConstant(double constant) const;
};

// A layout constraint kept as data (nothing solves it): firstItem.attr relation
// secondItem.attr * multiplier + constant. Items are held weakly, as the platform's are
// through their views.
class LayoutConstraint : public Object {
 public:
  std::weak_ptr<Object> firstItem;
  LayoutAttribute firstAttribute = LayoutAttribute::notAnAttribute;
  LayoutRelation relation = LayoutRelation::equal;
  std::weak_ptr<Object> secondItem;
  LayoutAttribute secondAttribute = LayoutAttribute::notAnAttribute;
  double multiplier = 1;
  double constant = 0;
  float priority = 1000;

  bool isActive() const { return active_; }
  void setActive(bool active);

  static void activate(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
  static void deactivate(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);

  // The view an item stands for (a guide stands for its owning view).
  static std::shared_ptr<View> viewOf(const std::shared_ptr<Object>& item);

 private:
  bool active_ = false;
  std::weak_ptr<View> installedOn_;
};

// A rectangle of a view that constraints can refer to (safe area, layout margins).
class LayoutGuide : public Object {
 public:
  explicit LayoutGuide(std::weak_ptr<View> owningView) : owningView_(std::move(owningView)) {}
  std::shared_ptr<View> owningView() const { return owningView_.lock(); }

  LayoutAnchor leadingAnchor() { return {weak<Object>(), LayoutAttribute::leading}; }
  LayoutAnchor trailingAnchor() { return {weak<Object>(), LayoutAttribute::trailing}; }
  LayoutAnchor topAnchor() { return {weak<Object>(), LayoutAttribute::top}; }
  LayoutAnchor bottomAnchor() { return {weak<Object>(), LayoutAttribute::bottom}; }
  LayoutAnchor widthAnchor() { return {weak<Object>(), LayoutAttribute::width}; }
  LayoutAnchor heightAnchor() { return {weak<Object>(), LayoutAttribute::height}; }
  LayoutAnchor centerXAnchor() { return {weak<Object>(), LayoutAttribute::centerX}; }
  LayoutAnchor centerYAnchor() { return {weak<Object>(), LayoutAttribute::centerY}; }

 private:
  std::weak_ptr<View> owningView_;
};

}  // namespace ostrel::platform
