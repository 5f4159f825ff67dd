#pragma once

#include <array>
#include <vector>

#include "platform/foundation/Bytes.hpp"

namespace ostrel::testing {

using QuantTable = std::array<int, 64>;

// The quantisation tables of a JPEG file (DQT segments, in the file's zigzag order, indexed by
// table id 0..3; absent ids are left out). Nothing when the bytes lack the SOI/EOI markers.
std::vector<QuantTable> jpegQuantTables(const platform::Bytes& jpeg);

// The table the IJG encoder writes at `quality` (1-100): its base luminance (`chroma` false) or
// chrominance table scaled as libjpeg scales it, in zigzag order. Worked out here from the
// published base tables, independently of any encoder.
QuantTable ijgQuantTable(bool chroma, int quality);

// Whether `jpeg` was written by the IJG encoder at `quality` (both tables match).
bool isJpegOfQuality(const platform::Bytes& jpeg, int quality);

}  // namespace ostrel::testing
