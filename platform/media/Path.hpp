#pragma once

#include <vector>

#include "platform/media/Geometry.hpp"

namespace ostrel::platform {

// A path as the list of shapes it was built from. `moveTo` starts an open subpath at `point`;
// `lineTo`, `quadCurveTo` (with `control`) and `curveTo` (with `control1` and `control2`) extend
// it from the current point to `point`. Drawing into a graphics context fills only the closed
// shapes and strokes the open ones.
// How the ends of open subpaths are stroked, in a context or by a shape layer.
enum class LineCap { butt = 0, round = 1, square = 2 };

struct PathElement {
  enum class Kind { rect, roundedRect, arc, ellipse, moveTo, lineTo, quadCurveTo, curveTo };
  Kind kind = Kind::rect;
  Rect rect;
  double cornerRadius = 0;
  Point center;
  double radius = 0;
  double startAngle = 0;
  double endAngle = 0;
  bool clockwise = true;
  Point point;
  Point control;
  Point control1;
  Point control2;
  bool operator==(const PathElement&) const = default;
};

struct Path {
  std::vector<PathElement> elements;

  static Path rect(Rect r) {
    PathElement e;
    e.rect = r;
    return {{e}};
  }
  static Path roundedRect(Rect r, double radius) {
    PathElement e;
    e.kind = PathElement::Kind::roundedRect;
    e.rect = r;
    e.cornerRadius = radius;
    return {{e}};
  }
  static Path arc(Point center, double radius, double start, double end, bool clockwise) {
    PathElement e;
    e.kind = PathElement::Kind::arc;
    e.center = center;
    e.radius = radius;
    e.startAngle = start;
    e.endAngle = end;
    e.clockwise = clockwise;
    return {{e}};
  }
  // The oval inscribed in `r`.
  static Path ellipse(Rect r) {
    PathElement e;
    e.kind = PathElement::Kind::ellipse;
    e.rect = r;
    return {{e}};
  }
  // Starts a new subpath at `p`.
  void move(Point p) {
    PathElement e;
    e.kind = PathElement::Kind::moveTo;
    e.point = p;
    e.rect = {p.x, p.y, 0, 0};
    elements.push_back(e);
  }
  // A cubic curve from the current point to `end`.
  void addCurve(Point end, Point controlPoint1, Point controlPoint2) {
    PathElement e;
    e.kind = PathElement::Kind::curveTo;
    e.point = end;
    e.control1 = controlPoint1;
    e.control2 = controlPoint2;
    e.rect = {end.x, end.y, 0, 0};
    elements.push_back(e);
  }
  // Open subpaths, built in place.
  Path& moveTo(Point p) { return add(PathElement::Kind::moveTo, p, {}); }
  Path& lineTo(Point p) { return add(PathElement::Kind::lineTo, p, {}); }
  Path& quadCurveTo(Point p, Point control) {
    return add(PathElement::Kind::quadCurveTo, p, control);
  }
  void append(const Path& other) {
    elements.insert(elements.end(), other.elements.begin(), other.elements.end());
  }
  bool operator==(const Path&) const = default;

 private:
  Path& add(PathElement::Kind kind, Point p, Point control) {
    PathElement e;
    e.kind = kind;
    e.point = p;
    e.control = control;
    e.rect = {p.x, p.y, 0, 0};
    elements.push_back(e);
    return *this;
  }
};

}  // namespace ostrel::platform
