#include "model/OSLBackResult.hpp"

namespace ostrel {

using namespace record_coding;

OSLBackResult::OSLBackResult(const JSON& dictionary)
    : Record(dictionary),
      blurScore(optFloat(raw_, "blur_score")),
      cardType(optString(raw_, "card_type")),
      flashScore(optInt(raw_, "flash_score")),
      photocopyScore(optFloat(raw_, "photocopy_score")) {
  if (const JSON* f = optObject(raw_, "fields")) fields = std::make_shared<BackField>(*f);
  if (const JSON* m = optObject(raw_, "mrz")) mrz = std::make_shared<MRZ>(*m);
}

JSON OSLBackResult::toDictionary() const {
  JSON d = raw_;
  putFloat(d, "blur_score", blurScore);
  put(d, "card_type", cardType);
  put(d, "flash_score", flashScore);
  putFloat(d, "photocopy_score", photocopyScore);
  put(d, "fields", fields);
  put(d, "mrz", mrz);
  return d;
}

}  // namespace ostrel
