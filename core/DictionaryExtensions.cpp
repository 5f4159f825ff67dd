#include "core/DictionaryExtensions.hpp"

namespace ostrel {

void osl_append(platform::JSON& dictionary, const platform::JSON& other) {
  if (!dictionary.is_object()) dictionary = platform::JSON::object();
  if (!other.is_object()) return;
  for (auto it = other.begin(); it != other.end(); ++it) dictionary[it.key()] = it.value();
}

platform::JSON osl_appending(const platform::JSON& dictionary, const platform::JSON& other) {
  platform::JSON copy = dictionary;
  osl_append(copy, other);
  return copy;
}

}  // namespace ostrel
