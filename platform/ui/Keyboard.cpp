#include "platform/ui/Keyboard.hpp"

namespace ostrel::platform {

JSON rectToJSON(const Rect& rect) {
  return {
      {"x", rect.minX()}, {"y", rect.minY()}, {"width", rect.width()}, {"height", rect.height()}};
}

std::optional<Rect> rectFromJSON(const JSON& value) {
  if (!value.is_object()) return std::nullopt;
  double parts[4];
  const char* keys[4] = {"x", "y", "width", "height"};
  for (int i = 0; i < 4; ++i) {
    auto it = value.find(keys[i]);
    if (it == value.end() || !it->is_number()) return std::nullopt;
    parts[i] = it->get<double>();
  }
  return Rect{parts[0], parts[1], parts[2], parts[3]};
}

std::optional<double> numberFromJSON(const JSON& object, const char* key) {
  if (!object.is_object()) return std::nullopt;
  auto it = object.find(key);
  if (it == object.end() || !it->is_number()) return std::nullopt;
  return it->get<double>();
}

}  // namespace ostrel::platform
