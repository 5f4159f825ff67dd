#include "model/OSLQRCodeModel.hpp"

namespace ostrel {

using namespace record_coding;

std::shared_ptr<OSLQRCodeModel> OSLQRCodeModel::decode(const JSON& value) {
  if (!value.is_object()) return nullptr;
  auto m = std::make_shared<OSLQRCodeModel>(value);
  bool ok = decodeTexts(value, {{"decoded_text", &m->decoded_text},
                                {"id_number", &m->id_number},
                                {"birthday", &m->birthday},
                                {"doi", &m->doi},
                                {"doe", &m->doe}});
  return ok ? m : nullptr;
}

JSON OSLQRCodeModel::toDictionary() const {
  JSON d = raw_;
  put(d, "decoded_text", decoded_text);
  put(d, "id_number", id_number);
  put(d, "birthday", birthday);
  put(d, "doi", doi);
  put(d, "doe", doe);
  return d;
}

}  // namespace ostrel
