#include "model/OSLFrontResult.hpp"

namespace ostrel {

using namespace record_coding;

namespace {
template <class R>
std::shared_ptr<R> child(const JSON& dictionary, const std::string& key) {
  const JSON* object = optObject(dictionary, key);
  return object ? std::make_shared<R>(*object) : nullptr;
}
}  // namespace

Field::Field(const JSON& dictionary)
    : Record(dictionary),
      name(optString(raw_, "name")),
      idNumber(optString(raw_, "id_number")),
      birthday(optString(raw_, "birthday")),
      gender(optString(raw_, "gender")),
      home(optString(raw_, "home")),
      resident(optString(raw_, "resident")),
      doi(optString(raw_, "doi")),
      doe(optString(raw_, "doe")),
      poi(optString(raw_, "poi")),
      features(optString(raw_, "features")),
      type(optString(raw_, "type")) {}

JSON Field::toDictionary() const {
  JSON d = raw_;
  put(d, "name", name);
  put(d, "id_number", idNumber);
  put(d, "birthday", birthday);
  put(d, "gender", gender);
  put(d, "home", home);
  put(d, "resident", resident);
  put(d, "doi", doi);
  put(d, "doe", doe);
  put(d, "poi", poi);
  put(d, "features", features);
  put(d, "type", type);
  return d;
}

MRZ::MRZ(const JSON& dictionary) : Record(dictionary), raw_mrz(optString(raw_, "raw_mrz")) {}

JSON MRZ::toDictionary() const {
  JSON d = raw_;
  put(d, "raw_mrz", raw_mrz);
  return d;
}

OSLFrontResult::OSLFrontResult(const JSON& dictionary)
    : Record(dictionary),
      blurScore(optFloat(raw_, "blur_score")),
      cardType(optString(raw_, "card_type")),
      flashScore(optInt(raw_, "flash_score")),
      photocopyScore(optFloat(raw_, "photocopy_score")),
      fields(child<Field>(raw_, "fields")),
      qrCode(child<QRCode>(raw_, "qr_code")),
      mrzData(child<MRZ>(raw_, "mrz_data")) {}

JSON OSLFrontResult::toDictionary() const {
  JSON d = raw_;
  putFloat(d, "blur_score", blurScore);
  put(d, "card_type", cardType);
  put(d, "flash_score", flashScore);
  putFloat(d, "photocopy_score", photocopyScore);
  put(d, "fields", fields);
  put(d, "qr_code", qrCode);
  put(d, "mrz_data", mrzData);
  return d;
}

}  // namespace ostrel
