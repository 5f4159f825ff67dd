#include "nfc/Log.hpp"

namespace ostrel {

std::string traceHex(const platform::Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (auto b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

}  // namespace ostrel
