#include "platform/ui/Object.hpp"

#include <cxxabi.h>

#include <cstdlib>

namespace ostrel::platform {

std::string demangledTypeName(const std::type_info& type) {
  int status = 0;
  char* name = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  if (status != 0 || !name) return type.name();
  std::string result(name);
  std::free(name);
  return result;
}

}  // namespace ostrel::platform
