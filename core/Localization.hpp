#pragma once

#include <cstdint>
#include <string>

#include "platform/foundation/JSON.hpp"

namespace ostrel {

using platform::JSON;

// The process-wide language dictionary (key to any value), empty until the language sync fills
// it. Readers on any queue see either the old or the new dictionary, never a half-written one.
JSON languageDictionary();
void setLanguageDictionary(JSON dictionary);
bool languageDictionaryIsEmpty();

// The text of a localisation key: a text value unchanged, a number rendered as text, otherwise
// (no key, another kind of value, no dictionary) the empty text. Never fails. A key the
// dictionary lacks is reported on the debug sink.
std::string osl_localize(const std::string& key);

// Readers of loosely typed dictionaries (server replies, the language dictionary). A
// `dictionary` that is not an object counts as absent.
// A text as it is, a number as its decimal text, otherwise "".
std::string stringValue(const std::string& key, const JSON& dictionary);
// A Bool as it is; a number true when non-zero; a text true unless "" or "0"; otherwise false.
bool boolValue(const std::string& key, const JSON& dictionary);
// A whole number (also one written as an integral floating value); otherwise `defaultValue`.
std::int64_t intValue(const std::string& key, const JSON& dictionary, std::int64_t defaultValue);

// A number as the host platform renders it in text: integral values without a fraction.
std::string renderNumber(const JSON& number);

}  // namespace ostrel
