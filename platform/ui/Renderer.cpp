#include "platform/ui/Renderer.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <numbers>

#include <cairo.h>
#include <pango/pangocairo.h>

#include "platform/runtime/Runtime.hpp"
#include "platform/ui/Animation.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "platform/ui/Layer.hpp"
#include "platform/ui/PangoText.hpp"
#include "platform/ui/RendererDrawing.hpp"
#include "platform/ui/TextField.hpp"
#include "platform/ui/Window.hpp"

namespace ostrel::platform::rendering {

void setSource(cairo_t* cr, const Color& c) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

// A rectangle with the corners named in `corners` rounded by `radius`, as the layer rounds.
void roundedRectPath(cairo_t* cr, Rect r, double radius, unsigned corners) {
  radius = std::clamp(radius, 0.0, std::min(r.width(), r.height()) / 2);
  if (radius <= 0) {
    cairo_rectangle(cr, r.minX(), r.minY(), r.width(), r.height());
    return;
  }
  auto rad = [&](unsigned corner) { return (corners & corner) ? radius : 0.0; };
  constexpr double pi = std::numbers::pi;
  cairo_new_sub_path(cr);
  double tl = rad(kMinXMinYCorner), tr = rad(kMaxXMinYCorner), br = rad(kMaxXMaxYCorner),
         bl = rad(kMinXMaxYCorner);
  cairo_arc(cr, r.maxX() - tr, r.minY() + tr, tr, -pi / 2, 0);
  cairo_arc(cr, r.maxX() - br, r.maxY() - br, br, 0, pi / 2);
  cairo_arc(cr, r.minX() + bl, r.maxY() - bl, bl, pi / 2, pi);
  cairo_arc(cr, r.minX() + tl, r.minY() + tl, tl, pi, 3 * pi / 2);
  cairo_close_path(cr);
}

}  // namespace ostrel::platform::rendering

namespace ostrel::platform {
namespace {

void layerPath(cairo_t* cr, const Layer& layer, Rect box) {
  roundedRectPath(cr, box, layer.cornerRadius, layer.maskedCorners);
}

void appendPath(cairo_t* cr, const Path& path) {
  for (const auto& e : path.elements) {
    switch (e.kind) {
      case PathElement::Kind::rect:
        cairo_rectangle(cr, e.rect.minX(), e.rect.minY(), e.rect.width(), e.rect.height());
        break;
      case PathElement::Kind::roundedRect:
        roundedRectPath(cr, e.rect, e.cornerRadius, kAllCorners);
        break;
      case PathElement::Kind::arc:
        cairo_new_sub_path(cr);
        // The interface's y axis points down, as Cairo's does: clockwise is the growing angle.
        if (e.clockwise) {
          cairo_arc(cr, e.center.x, e.center.y, e.radius, e.startAngle, e.endAngle);
        } else {
          cairo_arc_negative(cr, e.center.x, e.center.y, e.radius, e.startAngle, e.endAngle);
        }
        break;
      case PathElement::Kind::ellipse: {
        if (e.rect.width() <= 0 || e.rect.height() <= 0) break;
        cairo_save(cr);
        cairo_translate(cr, e.rect.midX(), e.rect.midY());
        cairo_scale(cr, e.rect.width() / 2, e.rect.height() / 2);
        cairo_new_sub_path(cr);
        cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
        cairo_close_path(cr);
        cairo_restore(cr);
        break;
      }
      case PathElement::Kind::moveTo:
        cairo_move_to(cr, e.point.x, e.point.y);
        break;
      case PathElement::Kind::lineTo:
        if (!cairo_has_current_point(cr)) cairo_move_to(cr, e.point.x, e.point.y);
        cairo_line_to(cr, e.point.x, e.point.y);
        break;
      case PathElement::Kind::quadCurveTo: {
        // Cairo has cubic curves only: raise the quadratic one's degree.
        double x0 = e.point.x, y0 = e.point.y;
        if (cairo_has_current_point(cr)) cairo_get_current_point(cr, &x0, &y0);
        else cairo_move_to(cr, x0, y0);
        const double c1x = x0 + 2.0 / 3.0 * (e.control.x - x0);
        const double c1y = y0 + 2.0 / 3.0 * (e.control.y - y0);
        const double c2x = e.point.x + 2.0 / 3.0 * (e.control.x - e.point.x);
        const double c2y = e.point.y + 2.0 / 3.0 * (e.control.y - e.point.y);
        cairo_curve_to(cr, c1x, c1y, c2x, c2y, e.point.x, e.point.y);
        break;
      }
      case PathElement::Kind::curveTo:
        if (!cairo_has_current_point(cr)) cairo_move_to(cr, e.point.x, e.point.y);
        cairo_curve_to(cr, e.control1.x, e.control1.y, e.control2.x, e.control2.y, e.point.x,
                       e.point.y);
        break;
    }
  }
}

// Replaces the current path by its first `fraction` of length (the stroke end of a shape).
void trimPath(cairo_t* cr, double fraction) {
  if (fraction >= 1) return;
  cairo_path_t* flat = cairo_copy_path_flat(cr);
  double total = 0;
  double x = 0, y = 0, startX = 0, startY = 0;
  auto length = [](double x0, double y0, double x1, double y1) {
    return std::hypot(x1 - x0, y1 - y0);
  };
  for (int i = 0; i < flat->num_data; i += flat->data[i].header.length) {
    const auto& d = flat->data[i];
    if (d.header.type == CAIRO_PATH_MOVE_TO) {
      x = startX = flat->data[i + 1].point.x;
      y = startY = flat->data[i + 1].point.y;
    } else if (d.header.type == CAIRO_PATH_LINE_TO) {
      total += length(x, y, flat->data[i + 1].point.x, flat->data[i + 1].point.y);
      x = flat->data[i + 1].point.x;
      y = flat->data[i + 1].point.y;
    } else if (d.header.type == CAIRO_PATH_CLOSE_PATH) {
      total += length(x, y, startX, startY);
      x = startX;
      y = startY;
    }
  }
  cairo_new_path(cr);
  double budget = std::max(0.0, fraction) * total;
  for (int i = 0; i < flat->num_data && budget > 0; i += flat->data[i].header.length) {
    const auto& d = flat->data[i];
    double tx = 0, ty = 0;
    if (d.header.type == CAIRO_PATH_MOVE_TO) {
      x = startX = flat->data[i + 1].point.x;
      y = startY = flat->data[i + 1].point.y;
      cairo_move_to(cr, x, y);
      continue;
    }
    if (d.header.type == CAIRO_PATH_LINE_TO) {
      tx = flat->data[i + 1].point.x;
      ty = flat->data[i + 1].point.y;
    } else if (d.header.type == CAIRO_PATH_CLOSE_PATH) {
      tx = startX;
      ty = startY;
    } else {
      continue;
    }
    double segment = length(x, y, tx, ty);
    if (segment > budget) {
      double t = budget / segment;
      cairo_line_to(cr, x + (tx - x) * t, y + (ty - y) * t);
      budget = 0;
      break;
    }
    cairo_line_to(cr, tx, ty);
    budget -= segment;
    x = tx;
    y = ty;
  }
  cairo_path_destroy(flat);
}

// A soft shadow: the layer's shape offset and spread over its radius in a few translucent
// steps whose coverage adds up to the shadow's opacity in the middle.
void drawShadow(cairo_t* cr, const Layer& layer, Rect box) {
  if (layer.shadowOpacity <= 0) return;
  Color color = layer.shadowColor.value_or(Color::black());
  double opacity = std::clamp(layer.shadowOpacity, 0.0, 1.0) * color.alpha;
  Rect shape{{box.minX() + layer.shadowOffset.width, box.minY() + layer.shadowOffset.height},
             box.size};
  int steps = layer.shadowRadius > 0.5 ? 6 : 1;
  double stepAlpha = 1 - std::pow(1 - opacity, 1.0 / steps);
  for (int i = 0; i < steps; ++i) {
    double spread = steps == 1 ? 0 : layer.shadowRadius * (1 - 2.0 * i / (steps - 1));
    Rect r{{shape.minX() - spread, shape.minY() - spread},
           {shape.width() + 2 * spread, shape.height() + 2 * spread}};
    if (r.width() <= 0 || r.height() <= 0) continue;
    roundedRectPath(cr, r, layer.cornerRadius + spread, layer.maskedCorners);
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, stepAlpha);
    cairo_fill(cr);
  }
}

void drawBorder(cairo_t* cr, const Layer& layer, Rect box) {
  if (layer.borderWidth <= 0) return;
  double w = layer.borderWidth;
  // The border lies inside the bounds, following the rounded corners.
  Rect inner{{box.minX() + w / 2, box.minY() + w / 2}, {box.width() - w, box.height() - w}};
  if (inner.width() < 0 || inner.height() < 0) return;
  roundedRectPath(cr, inner, std::max(0.0, layer.cornerRadius - w / 2), layer.maskedCorners);
  setSource(cr, layer.borderColor.value_or(Color::black()));
  cairo_set_line_width(cr, w);
  cairo_stroke(cr);
}

// The layer's mask as a clip: a shape mask clips to its path, a plain one to its rounded box.
void clipToMask(cairo_t* cr, const Layer& mask) {
  cairo_save(cr);
  cairo_translate(cr, mask.frame.minX(), mask.frame.minY());
  if (auto shape = dynamic_cast<const ShapeLayer*>(&mask); shape && shape->path) {
    appendPath(cr, *shape->path);
  } else {
    layerPath(cr, mask, {{0, 0}, mask.frame.size});
  }
  cairo_restore(cr);
  cairo_clip(cr);
}

// The part of a layer under its content: shadow and background; then saves the state and clips
// for the content (the caller restores and draws the border on top).
void beginLayerBox(cairo_t* cr, const Layer& layer, Rect box,
                   const std::optional<Color>& background) {
  drawShadow(cr, layer, box);
  if (background && background->alpha > 0) {
    layerPath(cr, layer, box);
    setSource(cr, *background);
    cairo_fill(cr);
  }
  cairo_save(cr);
  if (layer.masksToBounds) {
    layerPath(cr, layer, box);
    cairo_clip(cr);
  }
  if (layer.mask) clipToMask(cr, *layer.mask);
}

double ease(TimingFunction curve, double t) {
  switch (curve) {
    case TimingFunction::linear:
      return t;
    case TimingFunction::easeIn:
      return t * t;
    case TimingFunction::easeOut:
      return 1 - (1 - t) * (1 - t);
    default:
      return t * t * (3 - 2 * t);
  }
}

double mix(double a, double b, double t) {
  return a + (b - a) * t;
}

AnimatedValue interpolate(const AnimatedValue& from, const AnimatedValue& to, double t) {
  if (from.index() != to.index()) return to;
  return std::visit(
      [&](const auto& a) -> AnimatedValue {
        using T = std::decay_t<decltype(a)>;
        const auto& b = std::get<T>(to);
        if constexpr (std::is_same_v<T, double>) {
          return mix(a, b, t);
        } else if constexpr (std::is_same_v<T, Point>) {
          return Point{mix(a.x, b.x, t), mix(a.y, b.y, t)};
        } else if constexpr (std::is_same_v<T, Rect>) {
          return Rect{{mix(a.minX(), b.minX(), t), mix(a.minY(), b.minY(), t)},
                      {mix(a.width(), b.width(), t), mix(a.height(), b.height(), t)}};
        } else if constexpr (std::is_same_v<T, AffineTransform>) {
          return AffineTransform{mix(a.a, b.a, t), mix(a.b, b.b, t),   mix(a.c, b.c, t),
                                 mix(a.d, b.d, t), mix(a.tx, b.tx, t), mix(a.ty, b.ty, t)};
        } else if constexpr (std::is_same_v<T, std::optional<Color>>) {
          if (!a && !b) return std::optional<Color>{};
          Color ca = a.value_or(b->withAlphaComponent(0));
          Color cb = b.value_or(a->withAlphaComponent(0));
          return std::optional<Color>{Color{mix(ca.red, cb.red, t), mix(ca.green, cb.green, t),
                                            mix(ca.blue, cb.blue, t), mix(ca.alpha, cb.alpha, t)}};
        } else {
          return t < 1 ? a : b;
        }
      },
      from);
}

// What a layer's running animations change now.
struct LayerMotion {
  double opacity = 1;
  std::optional<double> strokeEnd;
  AffineTransform transform;
};

// Applies `animation` at `elapsed` seconds after its start; `current` gives the model value of
// a key path for animations without a from or to value.
void applyAnimation(const CAAnimation& animation, double elapsed, LayerMotion& motion,
                    const std::function<double(const std::string&)>& current) {
  double duration = animation.duration > 0 ? animation.duration : 0.25;
  double cycles = std::max(1.0, animation.repeatCount);
  if (elapsed < 0) return;
  double local = 0;
  if (elapsed >= duration * cycles) {
    if (animation.isRemovedOnCompletion) return;
    local = duration;
  } else {
    local = std::fmod(elapsed, duration);
  }
  if (auto group = dynamic_cast<const AnimationGroup*>(&animation)) {
    for (const auto& child : group->animations) {
      if (child) applyAnimation(*child, local, motion, current);
    }
    return;
  }
  auto basic = dynamic_cast<const BasicAnimation*>(&animation);
  if (!basic) return;
  double model = current(basic->keyPath);
  double t = ease(animation.timingFunction, std::clamp(local / duration, 0.0, 1.0));
  double value = mix(basic->fromValue.value_or(model), basic->toValue.value_or(model), t);
  const std::string& key = basic->keyPath;
  if (key == "opacity") {
    motion.opacity *= value;
  } else if (key == "strokeEnd") {
    motion.strokeEnd = value;
  } else if (key == "transform.rotation" || key == "transform.rotation.z") {
    motion.transform = AffineTransform::rotation(value).concatenating(motion.transform);
  } else if (key == "transform.scale") {
    motion.transform = AffineTransform::scale(value, value).concatenating(motion.transform);
  } else if (key == "transform.scale.x") {
    motion.transform = AffineTransform::scale(value, 1).concatenating(motion.transform);
  } else if (key == "transform.scale.y") {
    motion.transform = AffineTransform::scale(1, value).concatenating(motion.transform);
  } else if (key == "transform.translation.x") {
    motion.transform = AffineTransform::translation(value, 0).concatenating(motion.transform);
  } else if (key == "transform.translation.y") {
    motion.transform = AffineTransform::translation(0, value).concatenating(motion.transform);
  }
}

LayerMotion motionOf(const Layer& layer) {
  LayerMotion motion;
  auto keys = layer.animationKeys();
  if (keys.empty()) return motion;
  double now = Runtime::current().uptime();
  auto shape = dynamic_cast<const ShapeLayer*>(&layer);
  auto current = [shape](const std::string& key) {
    if (key == "strokeEnd") return shape ? shape->strokeEnd : 1.0;
    if (key == "opacity" || key.starts_with("transform.scale")) return 1.0;
    return 0.0;
  };
  for (const auto& key : keys) {
    auto animation = layer.animation(key);
    if (animation)
      applyAnimation(*animation, now - animation->beginTime.value_or(now), motion, current);
  }
  return motion;
}

void applyTransform(cairo_t* cr, const AffineTransform& t) {
  if (t.isIdentity()) return;
  cairo_matrix_t m{t.a, t.b, t.c, t.d, t.tx, t.ty};
  cairo_transform(cr, &m);
}
}  // namespace

ViewRenderer::ViewRenderer() : text_(makeTextContext()) {}

ViewRenderer::~ViewRenderer() {
  for (auto& [key, picture] : pictures_) cairo_surface_destroy(picture.surface);
  g_object_unref(text_);
}

void ViewRenderer::collectPresentation() {
  presentation_.clear();
  const auto& records = AnimationLog::shared().records();
  if (records.empty()) return;
  TimeInterval now = Runtime::current().uptime();
  for (const auto& record : records) {
    if (record->completed || record->duration <= 0) continue;
    double elapsed = now - record->startedAt - record->delay;
    if (elapsed >= record->duration) continue;
    double t = ease(record->options.curve, std::clamp(elapsed / record->duration, 0.0, 1.0));
    for (const auto& change : record->changes) {
      if (change.view.expired()) continue;
      auto value = interpolate(change.from, change.to, t);
      auto& p = presentation_[change.viewIdentity];
      if (change.property == "alpha" && std::holds_alternative<double>(value)) {
        p.alpha = std::get<double>(value);
      } else if (change.property == "center" && std::holds_alternative<Point>(value)) {
        p.center = std::get<Point>(value);
      } else if (change.property == "frame" && std::holds_alternative<Rect>(value)) {
        Rect f = std::get<Rect>(value);
        p.center = Point{f.midX(), f.midY()};
        Rect b = p.bounds.value_or(change.viewIdentity->bounds());
        p.bounds = Rect{b.origin, f.size};
      } else if (change.property == "bounds" && std::holds_alternative<Rect>(value)) {
        p.bounds = std::get<Rect>(value);
      } else if (change.property == "transform" && std::holds_alternative<AffineTransform>(value)) {
        p.transform = std::get<AffineTransform>(value);
      } else if (change.property == "backgroundColor" &&
                 std::holds_alternative<std::optional<Color>>(value)) {
        p.backgroundColor = std::get<std::optional<Color>>(value);
      }
    }
  }
}

void ViewRenderer::draw(cairo_t* cr, const View& view) {
  // Forget pictures whose images are gone so the cache follows the screens.
  std::erase_if(pictures_, [](auto& entry) {
    if (!entry.second.owner.expired()) return false;
    cairo_surface_destroy(entry.second.surface);
    return true;
  });
  collectPresentation();
  drawView(cr, view, true);
}

void ViewRenderer::drawView(cairo_t* cr, const View& view, bool root) {
  const Presentation* p = nullptr;
  if (auto it = presentation_.find(&view); it != presentation_.end()) p = &it->second;
  double alpha = p && p->alpha ? *p->alpha : view.alpha();
  if (view.isHidden() || alpha < 0.01) return;
  Rect bounds = p && p->bounds ? *p->bounds : view.bounds();
  Point center = p && p->center ? *p->center : view.center();
  AffineTransform transform = p && p->transform ? *p->transform : view.transform();
  std::optional<Color> background =
      p && p->backgroundColor ? *p->backgroundColor : view.backgroundColor();
  const Layer& layer = *view.layer();
  if (!background) background = layer.backgroundColor;
  LayerMotion motion = motionOf(layer);
  alpha *= motion.opacity;
  if (alpha < 0.01) return;

  cairo_save(cr);
  if (!root) {
    cairo_translate(cr, center.x, center.y);
    applyTransform(cr, transform);
    applyTransform(cr, motion.transform);
    cairo_translate(cr, -bounds.width() / 2, -bounds.height() / 2);
  }
  bool group = alpha < 1;
  if (group) cairo_push_group(cr);

  Rect box{{0, 0}, bounds.size};
  beginLayerBox(cr, layer, box, background);
  drawLayerContents(cr, layer, box);
  drawContents(cr, view, box);
  cairo_translate(cr, -bounds.minX(), -bounds.minY());
  for (const auto& sublayer : layer.sublayers()) drawLayerTree(cr, *sublayer);
  for (const auto& subview : view.subviews()) drawView(cr, *subview, false);
  cairo_restore(cr);
  drawBorder(cr, layer, box);

  if (group) {
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, alpha);
  }
  cairo_restore(cr);
}

void ViewRenderer::drawLayerTree(cairo_t* cr, const Layer& layer) {
  LayerMotion motion = motionOf(layer);
  if (motion.opacity < 0.01) return;
  cairo_save(cr);
  // Layers turn and scale about their centre.
  cairo_translate(cr, layer.frame.midX(), layer.frame.midY());
  applyTransform(cr, motion.transform);
  cairo_translate(cr, -layer.frame.width() / 2, -layer.frame.height() / 2);
  bool group = motion.opacity < 1;
  if (group) cairo_push_group(cr);
  Rect box{{0, 0}, layer.frame.size};
  beginLayerBox(cr, layer, box, layer.backgroundColor);
  drawLayerContents(cr, layer, box);
  if (auto shape = dynamic_cast<const ShapeLayer*>(&layer); shape && shape->path) {
    if (shape->fillColor && shape->fillColor->alpha > 0) {
      appendPath(cr, *shape->path);
      setSource(cr, *shape->fillColor);
      cairo_fill(cr);
    }
    double strokeEnd = motion.strokeEnd.value_or(shape->strokeEnd);
    if (shape->strokeColor && shape->lineWidth > 0 && strokeEnd > 0) {
      appendPath(cr, *shape->path);
      trimPath(cr, strokeEnd);
      setSource(cr, *shape->strokeColor);
      cairo_set_line_width(cr, shape->lineWidth);
      cairo_stroke(cr);
    }
  }
  for (const auto& sublayer : layer.sublayers()) drawLayerTree(cr, *sublayer);
  cairo_restore(cr);
  drawBorder(cr, layer, box);
  if (group) {
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, motion.opacity);
  }
  cairo_restore(cr);
}

}  // namespace ostrel::platform
