#include "platform/ui/Layer.hpp"

#include <algorithm>

#include "platform/runtime/Runtime.hpp"

namespace ostrel::platform {

void Layer::addSublayer(std::shared_ptr<Layer> layer) {
  insertSublayer(std::move(layer), sublayers_.size());
}

void Layer::insertSublayer(std::shared_ptr<Layer> layer, std::size_t index) {
  if (!layer || layer.get() == this) return;
  layer->removeFromSuperlayer();
  layer->superlayer_ = shared<Layer>();
  index = std::min(index, sublayers_.size());
  sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(index), std::move(layer));
}

void Layer::removeFromSuperlayer() {
  auto parent = superlayer_.lock();
  superlayer_.reset();
  if (!parent) return;
  std::erase_if(parent->sublayers_, [this](const auto& l) { return l.get() == this; });
}

void Layer::removeAllSublayers() {
  for (auto& l : sublayers_) l->superlayer_.reset();
  sublayers_.clear();
}

void Layer::addAnimation(std::shared_ptr<CAAnimation> animation, const std::string& key) {
  if (!animation) return;
  if (!animation->beginTime) animation->beginTime = Runtime::current().uptime();
  animations_[key] = std::move(animation);
}

std::shared_ptr<CAAnimation> Layer::animation(const std::string& key) const {
  auto it = animations_.find(key);
  return it == animations_.end() ? nullptr : it->second;
}

std::vector<std::string> Layer::animationKeys() const {
  std::vector<std::string> keys;
  for (const auto& [k, v] : animations_) keys.push_back(k);
  return keys;
}

}  // namespace ostrel::platform
