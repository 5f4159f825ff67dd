#pragma once

#include "platform/foundation/JSON.hpp"

namespace ostrel {

// Merges `other` into `dictionary`, the values of `other` winning. A `dictionary` that is not an
// object becomes one; an `other` that is not an object adds nothing.
void osl_append(platform::JSON& dictionary, const platform::JSON& other);
// The same merge on a copy; `dictionary` is left as it is.
platform::JSON osl_appending(const platform::JSON& dictionary, const platform::JSON& other);

}  // namespace ostrel
