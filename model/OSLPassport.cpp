#include "model/OSLPassport.hpp"

namespace ostrel {

using namespace record_coding;

std::shared_ptr<FieldPassport> PassportResult::fields() const {
  const JSON* f = optObject(raw_, "fields");
  return f ? std::make_shared<FieldPassport>(*f) : nullptr;
}

std::shared_ptr<OSLPassport> OSLPassport::fromDictionary(const JSON& dictionary) {
  auto valid = optBool(dictionary, "is_mrz_valid");
  const JSON* fields = optObject(dictionary, "fields");
  if (!valid || !fields) return nullptr;
  auto gender = optString(*fields, "gender");
  auto doe = optString(*fields, "doe");
  auto birthday = optString(*fields, "birthday");
  auto nationality = optString(*fields, "nationality");
  auto mrz = optString(*fields, "mrz");
  auto name = optString(*fields, "name");
  auto idNumber = optString(*fields, "id_number");
  if (!gender || !doe || !birthday || !nationality || !mrz || !name || !idNumber) return nullptr;
  auto passport = std::make_shared<OSLPassport>(dictionary);
  passport->isMrzValid = *valid;
  passport->gender = *gender;
  passport->doe = *doe;
  passport->birthday = *birthday;
  passport->nationality = *nationality;
  passport->mrz = *mrz;
  passport->name = *name;
  passport->idNumber = *idNumber;
  return passport;
}

JSON OSLPassport::toDictionary() const {
  JSON d = raw_;
  d["is_mrz_valid"] = isMrzValid;
  JSON fields = d.contains("fields") && d["fields"].is_object() ? d["fields"] : JSON::object();
  fields["gender"] = gender;
  fields["doe"] = doe;
  fields["birthday"] = birthday;
  fields["nationality"] = nationality;
  fields["mrz"] = mrz;
  fields["name"] = name;
  fields["id_number"] = idNumber;
  d["fields"] = std::move(fields);
  return d;
}

}  // namespace ostrel
