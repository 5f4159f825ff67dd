#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/media/Color.hpp"
#include "platform/media/Geometry.hpp"
#include "platform/media/Image.hpp"
#include "platform/media/Path.hpp"
#include "platform/ui/Object.hpp"

namespace ostrel::platform {

enum class TimingFunction { linear, easeIn, easeOut, easeInEaseOut, defaultTiming };

// A core-animation animation as data; nothing moves, tests read what was asked for.
class CAAnimation : public Object {
 public:
  double duration = 0;
  TimingFunction timingFunction = TimingFunction::defaultTiming;
  // Infinity repeats forever.
  double repeatCount = 0;
  bool isRemovedOnCompletion = true;
  // When the animation was first added to a layer, on the runtime clock.
  std::optional<double> beginTime;
  // Values the owner attaches to find the animation again (key-value coding on the phone).
  std::map<std::string, std::string> values;
};

class BasicAnimation : public CAAnimation {
 public:
  explicit BasicAnimation(std::string keyPath = "") : keyPath(std::move(keyPath)) {}
  std::string keyPath;
  std::optional<double> fromValue;
  std::optional<double> toValue;
  // For colour key paths ("fillColor", "strokeColor", "backgroundColor"): the colours animated
  // between, in place of the numbers.
  std::optional<Color> fromColor;
  std::optional<Color> toColor;
};

class AnimationGroup : public CAAnimation {
 public:
  std::vector<std::shared_ptr<CAAnimation>> animations;
};

// Corners a layer rounds (bit set).
enum CornerMask : unsigned {
  kMinXMinYCorner = 1,
  kMaxXMinYCorner = 2,
  kMinXMaxYCorner = 4,
  kMaxXMaxYCorner = 8,
  kAllCorners = 15,
};

// The drawing attributes behind a view, kept as data.
class Layer : public Object {
 public:
  Rect frame;
  // 0 (invisible) to 1.
  double opacity = 1;
  double cornerRadius = 0;
  // The same setting as the owning view's clipping.
  bool masksToBounds = false;
  double borderWidth = 0;
  std::optional<Color> borderColor;
  std::optional<Color> backgroundColor;
  std::optional<Color> shadowColor;
  double shadowOpacity = 0;
  Size shadowOffset{0, -3};
  double shadowRadius = 3;
  bool shouldRasterize = false;
  double rasterizationScale = 1;
  double zPosition = 0;
  unsigned maskedCorners = kAllCorners;
  std::shared_ptr<Layer> mask;

  const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
  void addSublayer(std::shared_ptr<Layer> layer);
  void insertSublayer(std::shared_ptr<Layer> layer, std::size_t index);
  void removeFromSuperlayer();
  void removeAllSublayers();
  std::shared_ptr<Layer> superlayer() const { return superlayer_.lock(); }

  void addAnimation(std::shared_ptr<CAAnimation> animation, const std::string& key);
  std::shared_ptr<CAAnimation> animation(const std::string& key) const;
  void removeAllAnimations() { animations_.clear(); }
  std::vector<std::string> animationKeys() const;

  // A picture the layer shows now, above its background and below its sublayers, and the
  // rectangle it fills in the layer's coordinates (what lies outside the layer is not shown).
  // None for most layers; a camera preview shows its latest frame.
  struct Contents {
    ImagePtr image;
    Rect rect;
  };
  virtual std::optional<Contents> currentContents() const { return std::nullopt; }

 private:
  std::vector<std::shared_ptr<Layer>> sublayers_;
  std::weak_ptr<Layer> superlayer_;
  std::map<std::string, std::shared_ptr<CAAnimation>> animations_;
};


class ShapeLayer : public Layer {
 public:
  LineCap lineCap = LineCap::butt;
  std::optional<Path> path;
  std::optional<Color> fillColor = Color::black();
  std::optional<Color> strokeColor;
  double lineWidth = 1;
  double strokeEnd = 1;
};

}  // namespace ostrel::platform
