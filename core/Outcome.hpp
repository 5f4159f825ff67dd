#pragma once

#include <utility>
#include <variant>

#include "core/OstrelError.hpp"

namespace ostrel {

// What a server call hands to its completion: the value, or the error that stopped it.
template <class T>
class Outcome {
 public:
  Outcome(T value) : value_(std::in_place_index<0>, std::move(value)) {}
  Outcome(OstrelError error) : value_(std::in_place_index<1>, std::move(error)) {}

  bool isSuccess() const { return value_.index() == 0; }
  explicit operator bool() const { return isSuccess(); }

  // Only on success / only on failure; anything else throws std::bad_variant_access.
  const T& value() const { return std::get<0>(value_); }
  T& value() { return std::get<0>(value_); }
  const OstrelError& error() const { return std::get<1>(value_); }

 private:
  std::variant<T, OstrelError> value_;
};

}  // namespace ostrel
