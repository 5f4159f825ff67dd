#include <gtest/gtest.h>

#include "model/OSLBackResult.hpp"
#include "model/OSLConfirmResult.hpp"
#include "model/OSLFrontResult.hpp"
#include "model/OSLNfcModel.hpp"
#include "model/OSLPassport.hpp"
#include "model/OSLQRCodeModel.hpp"
#include "model/OstrelResult.hpp"

namespace ostrel {
namespace {

const JSON kFront = {
    {"blur_score", 0.1},
    {"card_type", "eid24_front"},
    {"flash_score", 2},
    {"photocopy_score", 0.25},
    {"fields",
     {{"name", "NGUYỄN VĂN A"},
      {"id_number", "001099012345"},
      {"birthday", "01/01/1990"},
      {"gender", "Nữ"},
      {"home", "Hà Nội"},
      {"resident", "Hà Nội"},
      {"doi", "01/01/2021"},
      {"doe", "01/01/2030"},
      {"poi", "Cục"},
      {"features", "Sẹo"},
      {"type", "eid"},
      {"extra_field", "kept"}}},
    {"qr_code", {{"decoded_text", "001099012345|..."}}},
    {"mrz_data", {{"raw_mrz", "IDVNM099"}}},
    {"server_only", {{"nested", true}}},
};

const JSON kBack = {
    {"blur_score", 0.5},
    {"card_type", "EID_BACK"},
    {"flash_score", 0},
    {"photocopy_score", 0.0},
    {"fields", {{"features", "Nốt ruồi"}, {"doi", "01/01/2021"}, {"poi", "Cục"}}},
    {"mrz", {{"raw_mrz", "IDVNM0990123451"}}},
};

const JSON kConfirm = {
    {"session", "session-1"},
    {"decision_detail",
     {{"decision", "APPROVED"},
      {"details", JSON::array({{{"is_pass", 1}, {"description", "Face"}, {"description_vi", "Mặt"}},
                               {{"is_pass", 0}, {"description", "Card"}},
                               "not a detail"})},
      {"extra", 1}}},
    {"nfc_data", {{"id_number", "001099012345"}}},
};

const JSON kPassport = {
    {"is_mrz_valid", true},
    {"fields",
     {{"gender", "M"},
      {"doe", "01/01/2030"},
      {"birthday", "01/01/1990"},
      {"nationality", "VNM"},
      {"mrz", "P<VNM..."},
      {"name", "NGUYEN VAN A"},
      {"id_number", "C1234567"}}},
};

const JSON kNfc = {
    {"id_number", "001099012345"},
    {"name", "Nguyễn Văn A"},
    {"date_of_birth", "01/01/1990"},
    {"gender", "Nam"},
    {"hometown", "Hà Nội"},
    {"address", "Hà Nội"},
    {"date_of_issuance", "01/01/2021"},
    {"date_of_expiry", "01/01/2030"},
    {"personal_identification", "Sẹo"},
    {"father_name", "B"},
    {"mother_name", "C"},
    {"spouse_name", nullptr},
    {"face_image", "data:image/jpeg;base64,/9j/AAA="},
    {"unknown", 5},
};

TEST(RecordsTest, FrontResultReadsItsKeys) {
  auto front = OSLFrontResult::fromDictionary(kFront);
  EXPECT_FLOAT_EQ(*front->blurScore, 0.1f);
  EXPECT_EQ(front->cardType, "eid24_front");
  EXPECT_EQ(front->flashScore, 2);
  EXPECT_FLOAT_EQ(*front->photocopyScore, 0.25f);
  ASSERT_TRUE(front->fields);
  EXPECT_EQ(front->fields->name, "NGUYỄN VĂN A");
  EXPECT_EQ(front->fields->idNumber, "001099012345");
  EXPECT_EQ(front->fields->gender, "Nữ");
  EXPECT_EQ(front->fields->features, "Sẹo");
  EXPECT_EQ(front->fields->type, "eid");
  ASSERT_TRUE(front->qrCode);
  EXPECT_EQ(front->qrCode->string("decoded_text"), "001099012345|...");
  ASSERT_TRUE(front->mrzData);
  EXPECT_EQ(front->mrzData->raw_mrz, "IDVNM099");

  auto empty = OSLFrontResult::fromDictionary(JSON::object());
  EXPECT_FALSE(empty->blurScore || empty->cardType || empty->flashScore || empty->fields ||
               empty->qrCode || empty->mrzData);
  EXPECT_EQ(empty->toDictionary(), JSON::object());
  // Wrongly typed keys leave their members empty instead of failing.
  auto odd = OSLFrontResult::fromDictionary(
      {{"blur_score", "high"}, {"card_type", 3}, {"flash_score", 1.5}, {"fields", "none"}});
  EXPECT_FALSE(odd->blurScore || odd->cardType || odd->flashScore || odd->fields);
}

TEST(RecordsTest, BackResultReadsItsKeys) {
  auto back = OSLBackResult::fromDictionary(kBack);
  EXPECT_EQ(back->cardType, "EID_BACK");
  EXPECT_EQ(back->flashScore, 0);
  ASSERT_TRUE(back->mrz);
  EXPECT_EQ(back->mrz->raw_mrz, "IDVNM0990123451");
  ASSERT_TRUE(back->fields);
  EXPECT_EQ(back->fields->features(), "Nốt ruồi");
  EXPECT_EQ(back->fields->poi(), "Cục");
  auto empty = OSLBackResult::fromDictionary(JSON::object());
  EXPECT_FALSE(empty->mrz || empty->fields || empty->cardType);
}

TEST(RecordsTest, PassportNeedsEveryField) {
  auto passport = OSLPassport::fromDictionary(kPassport);
  ASSERT_TRUE(passport);
  EXPECT_TRUE(passport->isMrzValid);
  EXPECT_EQ(passport->idNumber, "C1234567");
  EXPECT_EQ(passport->nationality, "VNM");
  EXPECT_EQ(passport->doe, "01/01/2030");

  for (const char* key : {"gender", "doe", "birthday", "nationality", "mrz", "name", "id_number"}) {
    SCOPED_TRACE(key);
    JSON missing = kPassport;
    missing["fields"].erase(key);
    EXPECT_FALSE(OSLPassport::fromDictionary(missing)) << "without " << key;
    JSON mistyped = kPassport;
    mistyped["fields"][key] = 12;
    EXPECT_FALSE(OSLPassport::fromDictionary(mistyped)) << key << " not a text";
  }
  JSON noFlag = kPassport;
  noFlag["is_mrz_valid"] = 1;
  EXPECT_FALSE(OSLPassport::fromDictionary(noFlag));
  JSON fieldsNotObject = kPassport;
  fieldsNotObject["fields"] = JSON::array();
  EXPECT_FALSE(OSLPassport::fromDictionary(fieldsNotObject));
  EXPECT_FALSE(OSLPassport::fromDictionary(JSON::object()));

  PassportResult raw(kPassport);
  EXPECT_EQ(raw.isMrzValid(), true);
  EXPECT_EQ(raw.fields()->string("name"), "NGUYEN VAN A");
}

TEST(RecordsTest, NfcModelDecodesStrictly) {
  auto model = OSLNfcModel::decode(kNfc);
  ASSERT_TRUE(model);
  EXPECT_EQ(model->name, "Nguyễn Văn A");
  EXPECT_EQ(model->date_of_expiry, "01/01/2030");
  EXPECT_FALSE(model->spouse_name);  // null reads as absent
  EXPECT_EQ(model->faceImageBase64(), "/9j/AAA=");

  JSON mistyped = kNfc;
  mistyped["gender"] = 1;
  EXPECT_FALSE(OSLNfcModel::decode(mistyped));
  EXPECT_FALSE(OSLNfcModel::decode(JSON::array()));
  EXPECT_FALSE(OSLNfcModel::decode("text"));
  EXPECT_TRUE(OSLNfcModel::decode(JSON::object()));
}

TEST(RecordsTest, FaceImagePrefixRule) {
  struct Row {
    std::optional<std::string> face;
    std::optional<std::string> base64;
  };
  const Row rows[] = {
      {std::nullopt, std::nullopt},     {"abc=", "abc="}, {"data:image/jpeg;base64,abc=", "abc="},
      {"base64,one;base64,two", "two"}, {"base64,", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.face.value_or("<none>"));
    OSLNfcModel model;
    model.face_image = row.face;
    EXPECT_EQ(model.faceImageBase64(), row.base64) << row.face.value_or("<none>");
  }
}

TEST(RecordsTest, QRCodeModelDecodes) {
  auto qr = OSLQRCodeModel::decode({{"id_number", "001099012345"},
                                    {"birthday", "01/01/1990"},
                                    {"doi", "01/01/2021"},
                                    {"name", "kept as raw"}});
  ASSERT_TRUE(qr);
  EXPECT_EQ(qr->id_number, "001099012345");
  EXPECT_FALSE(qr->decoded_text);
  qr->decoded_text = "001099012345|...";
  qr->doe = "01/01/2030";
  auto dictionary = qr->toDictionary();
  EXPECT_EQ(dictionary["decoded_text"], "001099012345|...");
  EXPECT_EQ(dictionary["name"], "kept as raw");
  EXPECT_FALSE(OSLQRCodeModel::decode({{"doi", JSON::array()}}));
}

TEST(RecordsTest, ConfirmResultReadsTheDecision) {
  auto confirm = OSLConfirmResult::fromDictionary(kConfirm);
  EXPECT_EQ(confirm->session, "session-1");
  EXPECT_EQ(confirm->decision, "APPROVED");
  ASSERT_TRUE(confirm->decision_detail);
  ASSERT_EQ(confirm->decision_detail->size(), 2u);  // the entry that is no object is skipped
  EXPECT_EQ((*confirm->decision_detail)[0]->isPass, 1);
  EXPECT_EQ((*confirm->decision_detail)[0]->decisionDetailViDescription, "Mặt");
  EXPECT_EQ((*confirm->decision_detail)[1]->isPass, 0);
  EXPECT_FALSE((*confirm->decision_detail)[1]->decisionDetailViDescription);
  auto none = OSLConfirmResult::fromDictionary({{"decision_detail", "APPROVED"}});
  EXPECT_FALSE(none->decision || none->decision_detail || none->session);

  BaseError error({{"code", 12}, {"message", "Bad card"}});
  EXPECT_EQ(error.code, 12);
  EXPECT_EQ(error.message, "Bad card");
}

TEST(RecordsTest, ResultInitialisersTakeTheConfirmation) {
  auto confirm = OSLConfirmResult::fromDictionary(kConfirm);
  auto front = OSLFrontResult::fromDictionary(kFront);
  auto back = OSLBackResult::fromDictionary(kBack);
  OstrelResult ekyc(JSON::object(), front, back, confirm);
  EXPECT_EQ(ekyc.decision, "APPROVED");
  EXPECT_EQ(ekyc.session, "session-1");
  EXPECT_EQ(ekyc.decision_detail->size(), 2u);
  EXPECT_EQ(ekyc.frontResult, front);
  EXPECT_EQ(ekyc.backResult, back);
  EXPECT_FALSE(ekyc.nfcModel);

  auto nfc = OSLNfcModel::decode(kNfc);
  auto qr = OSLQRCodeModel::decode({{"id_number", "1"}});
  OstrelResult chip(kConfirm, confirm, nfc, qr);
  EXPECT_EQ(chip.decision, "APPROVED");
  EXPECT_EQ(chip.rawJson, kConfirm);
  EXPECT_EQ(chip.nfcModel, nfc);
  EXPECT_EQ(chip.qrCodeModel, qr);
  EXPECT_FALSE(chip.frontResult);

  // The passport flow's result from empty records.
  OstrelResult passport(JSON::object(), OSLFrontResult::fromDictionary({}),
                        OSLBackResult::fromDictionary({}), OSLConfirmResult::fromDictionary({}));
  EXPECT_FALSE(passport.decision);
  EXPECT_FALSE(passport.decision_detail);
}

// Every record through dictionary, JSON and archive: nothing lost, unknown keys included.
template <class R>
void expectRoundTrips(const JSON& dictionary) {
  auto record = R::fromDictionary(dictionary);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->toDictionary(), dictionary);
  auto viaJSON = fromJSON<R>(record->toJSON());
  ASSERT_TRUE(viaJSON);
  EXPECT_EQ(viaJSON->toDictionary(), dictionary);
  auto viaArchive = unarchive<R>(archive(*record));
  ASSERT_TRUE(viaArchive);
  EXPECT_EQ(viaArchive->toDictionary(), dictionary);
}

TEST(RecordsTest, RoundTripsKeepEverything) {
  expectRoundTrips<OSLFrontResult>(kFront);
  expectRoundTrips<OSLBackResult>(kBack);
  expectRoundTrips<OSLPassport>(kPassport);
  expectRoundTrips<OSLNfcModel>(kNfc);
  expectRoundTrips<OSLQRCodeModel>({{"decoded_text", "x"}, {"other", 1}});
  expectRoundTrips<Field>(kFront["fields"]);
  expectRoundTrips<MRZ>({{"raw_mrz", "X"}, {"line_count", 3}});
  expectRoundTrips<QRCode>({{"anything", {1, 2}}});
  expectRoundTrips<BackField>(kBack["fields"]);
  expectRoundTrips<HomeEntity>({{"province", "Hà Nội"}});
  expectRoundTrips<ResidentEntity>({{"ward", "Phúc Xá"}});
  expectRoundTrips<BaseError>({{"code", 12}, {"message", "m"}, {"trace", "t"}});
  expectRoundTrips<Decision>(
      kConfirm["decision_detail"].patch(JSON::parse(R"([{"op":"remove","path":"/details/2"}])")));
  expectRoundTrips<OSLDecisionDetail>({{"is_pass", 1}, {"description", "d"}, {"x", nullptr}});
  expectRoundTrips<FieldPassport>(kPassport["fields"]);
  expectRoundTrips<PassportResult>(kPassport);

  JSON confirm = kConfirm;
  confirm["decision_detail"]["details"].erase(2);
  expectRoundTrips<OSLConfirmResult>(confirm);

  auto result = std::make_shared<OstrelResult>(kConfirm, OSLConfirmResult::fromDictionary(confirm),
                                               OSLNfcModel::decode(kNfc),
                                               OSLQRCodeModel::decode({{"doe", "01/01/2030"}}));
  result->frontResult = OSLFrontResult::fromDictionary(kFront);
  expectRoundTrips<OstrelResult>(result->toDictionary());
}

TEST(RecordsTest, ArchivesAreTyped) {
  auto front = OSLFrontResult::fromDictionary(kFront);
  auto bytes = archive(*front);
  EXPECT_FALSE(unarchive<OSLBackResult>(bytes));  // another type
  EXPECT_FALSE(unarchive<OSLFrontResult>(Bytes{'{', '}'}));
  EXPECT_FALSE(unarchive<OSLFrontResult>(Bytes{0xff, 0x00, 0x7b}));
  auto text = std::string(bytes.begin(), bytes.end());
  auto envelope = JSON::parse(text);
  EXPECT_EQ(envelope["v"], 1);
  EXPECT_EQ(envelope["type"], "OSLFrontResult");
  envelope["v"] = 2;
  auto future = envelope.dump();
  EXPECT_FALSE(unarchive<OSLFrontResult>(Bytes(future.begin(), future.end())));
  EXPECT_FALSE(fromJSON<OSLFrontResult>("[1,2]"));
  EXPECT_FALSE(fromJSON<OSLFrontResult>("{\"blur_score\":"));
}

// A stored record or a host's JSON text nested far deeper than any record is refused like one
// that does not parse, without the stack overflow a recursive reader or copy would hit.
TEST(RecordsTest, DeeplyNestedRecordsAreRefused) {
  const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
  const std::string text = R"({"blur_score": 1, "fields": )" + deep + "}";
  EXPECT_FALSE(fromJSON<OSLFrontResult>(text));
  const std::string envelope = R"({"v": 1, "type": "OSLFrontResult", "data": )" + text + "}";
  EXPECT_FALSE(unarchive<OSLFrontResult>(Bytes(envelope.begin(), envelope.end())));
  // A record as deep as a reply may be still archives and reads back.
  JSON nested = JSON::array();
  for (std::size_t i = 2; i < platform::kMaxJSONDepth; ++i) nested = JSON::array({nested});
  auto record = OSLFrontResult::fromDictionary({{"blur_score", 1}, {"extra", nested}});
  ASSERT_TRUE(record);
  EXPECT_TRUE(unarchive<OSLFrontResult>(archive(*record)));
}

TEST(RecordsTest, ChangedMembersAreWrittenBack) {
  auto front = OSLFrontResult::fromDictionary(kFront);
  front->cardType = std::nullopt;
  front->fields->name = "TRẦN THỊ B";
  front->flashScore = 7;
  auto d = front->toDictionary();
  EXPECT_FALSE(d.contains("card_type"));
  EXPECT_EQ(d["fields"]["name"], "TRẦN THỊ B");
  EXPECT_EQ(d["fields"]["extra_field"], "kept");
  EXPECT_EQ(d["flash_score"], 7);
}

}  // namespace
}  // namespace ostrel
