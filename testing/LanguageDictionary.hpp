#pragma once

#include <set>
#include <string>

#include "platform/foundation/JSON.hpp"

namespace ostrel::testing {

// The dictionary the local verification server serves from "/lang/get": every key the library
// looks up, in "vi" and "en" (testing/LanguageDictionary.json). Any other language gets "vi",
// the server's default.
const platform::JSON& defaultLanguageDictionary(const std::string& language);

// Collects the keys `osl_localize` reports missing while alive (it takes the debug sink and
// gives it back to the default when it ends).
class MissingKeyRecorder {
 public:
  MissingKeyRecorder();
  ~MissingKeyRecorder();
  MissingKeyRecorder(const MissingKeyRecorder&) = delete;
  MissingKeyRecorder& operator=(const MissingKeyRecorder&) = delete;

  std::set<std::string> keys() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace ostrel::testing
