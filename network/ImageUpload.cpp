#include "network/ImageUpload.hpp"

#include "network/OstrelClient.hpp"
#include "platform/foundation/Base64.hpp"

namespace ostrel {

UploadImage jpegDataForUpload(const platform::ImagePtr& image) {
  UploadImage upload;
  upload.data = OstrelClient::uploadData(image);
  upload.base64 = upload.data.empty() ? std::string() : platform::base64Encode(upload.data);
  return upload;
}

}  // namespace ostrel
