#pragma once

#include <algorithm>
#include <cmath>

namespace ostrel::platform {

// Points (not pixels), origin top-left, y growing downwards.
struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct EdgeInsets;

struct Rect {
  Point origin;
  Size size;

  Rect() = default;
  Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}
  Rect(Point o, Size s) : origin(o), size(s) {}

  double minX() const { return origin.x; }
  double minY() const { return origin.y; }
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }
  double midX() const { return origin.x + size.width / 2; }
  double midY() const { return origin.y + size.height / 2; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  bool isEmpty() const { return size.width <= 0 || size.height <= 0; }
  bool contains(Point p) const {
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
  }
  bool intersects(const Rect& o) const {
    return !isEmpty() && !o.isEmpty() && minX() < o.maxX() && o.minX() < maxX() &&
           minY() < o.maxY() && o.minY() < maxY();
  }
  Rect offsetBy(double dx, double dy) const {
    return {origin.x + dx, origin.y + dy, size.width, size.height};
  }
  Rect insetBy(const EdgeInsets& insets) const;
  bool operator==(const Rect&) const = default;
};

struct EdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;
  bool operator==(const EdgeInsets&) const = default;
};

inline Rect Rect::insetBy(const EdgeInsets& insets) const {
  return {origin.x + insets.left, origin.y + insets.top, size.width - insets.left - insets.right,
          size.height - insets.top - insets.bottom};
}

// x' = a x + c y + tx, y' = b x + d y + ty. Composition follows the platform: `t.scaledBy(...)`
// and friends put the new step before `t`, `concatenating(u)` applies `t` then `u`.
struct AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  static AffineTransform identity() { return {}; }
  static AffineTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
  static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  static AffineTransform rotation(double radians) {
    double cs = std::cos(radians), sn = std::sin(radians);
    return {cs, sn, -sn, cs, 0, 0};
  }

  AffineTransform concatenating(const AffineTransform& u) const {
    return {a * u.a + b * u.c, a * u.b + b * u.d,          c * u.a + d * u.c,
            c * u.b + d * u.d, tx * u.a + ty * u.c + u.tx, tx * u.b + ty * u.d + u.ty};
  }
  AffineTransform translatedBy(double x, double y) const {
    return translation(x, y).concatenating(*this);
  }
  AffineTransform scaledBy(double sx, double sy) const {
    return scale(sx, sy).concatenating(*this);
  }
  AffineTransform rotatedBy(double radians) const { return rotation(radians).concatenating(*this); }
  // Nothing when the transform cannot be inverted.
  bool invertible() const { return std::abs(a * d - b * c) > 1e-12; }
  AffineTransform inverted() const {
    double det = a * d - b * c;
    if (std::abs(det) <= 1e-12) return *this;
    return {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
  }
  Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  // The smallest rectangle holding the four transformed corners, as the platform applies a
  // transform to a rectangle (a turn by other than quarter turns makes it grow).
  Rect apply(const Rect& r) const {
    const Point p[4] = {apply(r.origin), apply(Point{r.maxX(), r.minY()}),
                        apply(Point{r.minX(), r.maxY()}), apply(Point{r.maxX(), r.maxY()})};
    double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
    for (const Point& q : p) {
      x0 = std::min(x0, q.x), x1 = std::max(x1, q.x);
      y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
  }
  bool isIdentity() const { return *this == AffineTransform{}; }
  bool operator==(const AffineTransform&) const = default;
};

}  // namespace ostrel::platform
