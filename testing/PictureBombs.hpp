#pragma once

#include <string>
#include <vector>

#include "platform/foundation/Bytes.hpp"

namespace ostrel::testing {

// One picture format the decoders take: a small true picture, and the same file with its header
// declaring far more pixels than any phone picture (a "picture bomb"; a decoder that trusts the
// header allocates gigabytes for a file of a few hundred bytes).
struct PictureBombSample {
  std::string format;
  platform::Bytes picture;
  platform::Bytes bomb;
};

// PNG, JPEG, GIF, JPEG 2000 code stream and JP2 file. The bombs declare 20,000 x 20,000 pixels,
// the GIF 7,000 x 6,000 (past the limit, within what giflib itself refuses).
std::vector<PictureBombSample> pictureBombSamples();

}  // namespace ostrel::testing
