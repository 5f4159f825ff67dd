#pragma once

#include <string>

#include "platform/foundation/Bytes.hpp"

namespace ostrel {

// A multipart/form-data body built in memory.
class MultipartFormData {
 public:
  // A random boundary unless one is given.
  explicit MultipartFormData(std::string boundary = "");

  void addText(const std::string& name, const std::string& value);
  void addFile(const std::string& name, const std::string& filename, const std::string& contentType,
               const platform::Bytes& data);

  const std::string& boundary() const { return boundary_; }
  std::string contentType() const;
  // The body with its closing boundary.
  platform::Bytes body() const;

 private:
  void appendHeader(const std::string& disposition, const std::string& contentType);
  std::string boundary_;
  platform::Bytes parts_;
};

}  // namespace ostrel
