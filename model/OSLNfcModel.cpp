#include "model/OSLNfcModel.hpp"

namespace ostrel {

using namespace record_coding;

std::shared_ptr<OSLNfcModel> OSLNfcModel::decode(const JSON& value) {
  if (!value.is_object()) return nullptr;
  auto m = std::make_shared<OSLNfcModel>(value);
  bool ok = decodeTexts(value, {{"id_number", &m->id_number},
                                {"name", &m->name},
                                {"date_of_birth", &m->date_of_birth},
                                {"gender", &m->gender},
                                {"hometown", &m->hometown},
                                {"address", &m->address},
                                {"date_of_issuance", &m->date_of_issuance},
                                {"date_of_expiry", &m->date_of_expiry},
                                {"personal_identification", &m->personal_identification},
                                {"father_name", &m->father_name},
                                {"mother_name", &m->mother_name},
                                {"spouse_name", &m->spouse_name},
                                {"face_image", &m->face_image}});
  return ok ? m : nullptr;
}

JSON OSLNfcModel::toDictionary() const {
  JSON d = raw_;
  put(d, "id_number", id_number);
  put(d, "name", name);
  put(d, "date_of_birth", date_of_birth);
  put(d, "gender", gender);
  put(d, "hometown", hometown);
  put(d, "address", address);
  put(d, "date_of_issuance", date_of_issuance);
  put(d, "date_of_expiry", date_of_expiry);
  put(d, "personal_identification", personal_identification);
  put(d, "father_name", father_name);
  put(d, "mother_name", mother_name);
  put(d, "spouse_name", spouse_name);
  put(d, "face_image", face_image);
  return d;
}

std::optional<std::string> OSLNfcModel::faceImageBase64() const {
  if (!face_image) return std::nullopt;
  static constexpr std::string_view marker = "base64,";
  auto at = face_image->rfind(marker);
  if (at == std::string::npos) return face_image;
  return face_image->substr(at + marker.size());
}

}  // namespace ostrel
