#include "network/MultipartFormData.hpp"

#include "platform/crypto/Crypto.hpp"

namespace ostrel {
namespace {

// Quotes and line breaks in names would end the header early; they are escaped the way
// browsers escape them.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') {
      out += "%22";
    } else if (c == '\r') {
      out += "%0D";
    } else if (c == '\n') {
      out += "%0A";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void append(platform::Bytes& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}

}  // namespace

MultipartFormData::MultipartFormData(std::string boundary) : boundary_(std::move(boundary)) {
  if (boundary_.empty()) {
    boundary_ = "Boundary-" + platform::crypto::hexString(platform::crypto::randomBytes(16));
  }
}

void MultipartFormData::appendHeader(const std::string& disposition,
                                     const std::string& contentType) {
  append(parts_, "--" + boundary_ + "\r\n");
  append(parts_, "Content-Disposition: form-data; " + disposition + "\r\n");
  if (!contentType.empty()) append(parts_, "Content-Type: " + contentType + "\r\n");
  append(parts_, "\r\n");
}

void MultipartFormData::addText(const std::string& name, const std::string& value) {
  appendHeader("name=" + quoted(name), "");
  append(parts_, value);
  append(parts_, "\r\n");
}

void MultipartFormData::addFile(const std::string& name, const std::string& filename,
                                const std::string& contentType, const platform::Bytes& data) {
  appendHeader("name=" + quoted(name) + "; filename=" + quoted(filename),
               contentType.empty() ? "application/octet-stream" : contentType);
  parts_.insert(parts_.end(), data.begin(), data.end());
  append(parts_, "\r\n");
}

std::string MultipartFormData::contentType() const {
  return "multipart/form-data; boundary=" + boundary_;
}

platform::Bytes MultipartFormData::body() const {
  platform::Bytes body = parts_;
  append(body, "--" + boundary_ + "--\r\n");
  return body;
}

}  // namespace ostrel
