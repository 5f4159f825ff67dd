#pragma once

#include <utility>
#include <variant>

#include "core/OstrelError.hpp"

namespace ostrel {

// The value a step produced, or the error that stopped it. Server calls hand one to their
// completion with an `OstrelError`; the chip layer's steps return one with their own error
// type. Dropping one unread is almost always a forgotten failure, hence [[nodiscard]].
template <class T, class E = OstrelError>
class [[nodiscard]] Outcome {
 public:
  Outcome(T value) : value_(std::in_place_index<0>, std::move(value)) {}
  Outcome(E error) : value_(std::in_place_index<1>, std::move(error)) {}

  bool isSuccess() const { return value_.index() == 0; }
  explicit operator bool() const { return isSuccess(); }

  // Only on success / only on failure; anything else throws std::bad_variant_access.
  const T& value() const& { return std::get<0>(value_); }
  T& value() & { return std::get<0>(value_); }
  T&& value() && { return std::get<0>(std::move(value_)); }
  const E& error() const { return std::get<1>(value_); }

 private:
  std::variant<T, E> value_;
};

}  // namespace ostrel
