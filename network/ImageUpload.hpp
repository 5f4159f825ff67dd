#pragma once

#include <string>

#include "platform/foundation/Bytes.hpp"
#include "platform/media/Image.hpp"

namespace ostrel {

// A picture as every step hands it over (to the host or the server): the bytes and their base64
// text without line breaks.
struct UploadImage {
  platform::Bytes data;
  std::string base64;
};

// The same bytes the server upload sends (`OstrelClient::uploadData`): JPEG at quality 0.9, else
// 0.95, else 1.0, else PNG, else nothing. A picture that cannot be encoded at all gives empty
// data and an empty text; it never fails.
UploadImage jpegDataForUpload(const platform::ImagePtr& image);

}  // namespace ostrel
