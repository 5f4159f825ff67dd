#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/DeviceMetadata.hpp"
#include "core/Helpers.hpp"
#include "platform/foundation/Base64.hpp"
#include "platform/ui/Renderer.hpp"
#include "testing/PixelProbe.hpp"
#include "tests/chip_screens/ChipScreensTest.hpp"

namespace ostrel::chip_screens_test {
namespace {

constexpr const char* kLocation = "/api/nfc/location";

class AntennaTest : public ChipScreenTest {
 protected:
  static std::string picture(const char* name) {
    return base64Encode(bundleImage(name)->pngData().value_or(Bytes{}));
  }

  // Opens the sheet from the chip screen's antenna row, as the user does; waits for the
  // location call when the sheet makes one.
  std::shared_ptr<OSLNFCAntennaVC> openSheet(bool expectCall) {
    if (!chipScreen) chipScreen = open(OSLFlowType::nfc_ekyc(std::nullopt));
    const auto before = server.requests(kLocation).size();
    const int hides = count("hide loading");
    user().tap(chipScreen->guideNFCPositionView);
    advance(1);
    if (expectCall) {
      await("hide loading", hides + 1);
      EXPECT_EQ(server.requests(kLocation).size(), before + 1);
    } else {
      runUntilIdle();
      EXPECT_EQ(server.requests(kLocation).size(), before) << "the cached picture is enough";
    }
    auto sheet = std::dynamic_pointer_cast<OSLNFCAntennaVC>(chipScreen->presentedViewController());
    EXPECT_TRUE(sheet);
    return sheet;
  }
  void closeSheet(const std::shared_ptr<OSLNFCAntennaVC>& sheet) {
    // An error alert covers the sheet: it goes first.
    for (int i = 0; i < 3 && alert(); ++i) answerAlert(true);
    user().tap(sheet->cancleButton);
    advance(1);
    EXPECT_FALSE(chipScreen->presentedViewController());
  }

  std::shared_ptr<OSLScanNFCVC> chipScreen;
};

TEST_F(AntennaTest, CachesADeviceSpecificPictureAndAsksAgainForTheDefaultOne) {
  const std::string phone = picture("icon_done");
  const std::string fallback = picture("icon_check_list");

  // A picture for this model: shown without the guide lines, cached, not asked for again.
  server.setReply(kLocation, ScriptedReply::json({{"data", {{"image", phone}}}, {"error", {{"code", 0}}}}));
  auto sheet = openSheet(true);
  EXPECT_TRUE(samePixels(sheet->imgDevice->image(), bundleImage("icon_done")));
  EXPECT_TRUE(sheet->guideStackView->isHidden());
  EXPECT_EQ(Helpers::loadDeviceImage(), (JSON{{"isDefault", false}, {"image", phone}}));
  ASSERT_TRUE(lastEvent("NFC_SHOW_POSITION_FOUND"));
  EXPECT_EQ(lastEvent("NFC_SHOW_POSITION_FOUND")->screen, "OSLNFCAntennaVC");
  EXPECT_EQ(lastEvent("NFC_TAP_LOCATION")->screen, "OSL_SCREEN_NFC");
  auto request = server.lastRequest(kLocation);
  ASSERT_TRUE(request && request->part("model"));
  EXPECT_EQ(request->part("model")->content, deviceModelIdentifier());
  EXPECT_TRUE(server.problems().empty()) << server.problems().front();
  EXPECT_EQ(sheet->guide1Label->text(), "[nfc_reading_message_1]");
  EXPECT_EQ(sheet->lblTitle->text(), "[nfc_location_title]");
  // The cancel button is drawn in the normal style: pale fill, main-colour border and title.
  {
    const auto& cancel = sheet->cancleButton;
    const Color main = colorFromHex(currentAppearance()->mainColor);
    EXPECT_FALSE(cancel->isConfirmButton());
    EXPECT_EQ(cancel->titleColor(ControlState::normal), main);
    auto picture = snapshot(*cancel, 2);
    ASSERT_TRUE(picture);
    const Rect b = cancel->bounds();
    EXPECT_TRUE(testing::pixelAt(*picture, {b.midX(), b.maxY() - 4}).isApproximately(colorFromHex("F6F6F9"), 0.02));
    EXPECT_TRUE(testing::pixelAt(*picture, {b.midX(), b.maxY() - 0.75}).isApproximately(main, 0.1));
  }
  closeSheet(sheet);
  sheet = openSheet(false);
  EXPECT_TRUE(samePixels(sheet->imgDevice->image(), bundleImage("icon_done")));
  closeSheet(sheet);

  // The default picture comes with a non-zero code: guide lines shown, cached as default, so
  // the next opening asks again.
  Helpers::saveDeviceImage(JSON::object());
  server.setReply(kLocation,
                  ScriptedReply::json({{"data", {{"image", fallback}}}, {"error", {{"code", 3}}}}));
  sheet = openSheet(true);
  EXPECT_FALSE(sheet->guideStackView->isHidden());
  EXPECT_EQ(Helpers::loadDeviceImage(), (JSON{{"isDefault", true}, {"image", fallback}}));
  EXPECT_TRUE(lastEvent("NFC_SHOW_POSITION_NOT_FOUND"));
  closeSheet(sheet);
  openSheet(true);
}

TEST_F(AntennaTest, NoUsablePictureGivesAnErrorAndLeavesTheCacheAlone) {
  const std::string phone = picture("icon_done");
  const JSON kept{{"isDefault", true}, {"image", phone}};
  struct Row {
    const char* name;
    ScriptedReply reply;
    std::string message;
  };
  const std::vector<Row> table{
      {"empty image", ScriptedReply::json({{"data", {{"image", ""}}}, {"error", {{"code", 0}}}}),
       "[error_unknown]"},
      {"no data", ScriptedReply::json({{"error", {{"code", 0}}}}), "[error_unknown]"},
      {"image that is not a picture",
       ScriptedReply::json({{"data", {{"image", base64Encode(std::string("not a png"))}}}}),
       "[error_unknown]"},
      {"server failure", ScriptedReply::error(400, "Server down", 400), "Server down"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    Helpers::saveDeviceImage(kept);
    logged->clear();
    server.setReply(kLocation, row.reply);
    auto sheet = openSheet(true);
    advance(1);
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->lblMessage->text().value_or(""), row.message);
    EXPECT_FALSE(sheet->imgDevice->image());
    EXPECT_TRUE(lastEvent("NFC_SHOW_POSITION_NOT_FOUND"));
    EXPECT_EQ(Helpers::loadDeviceImage(), kept);
    closeSheet(sheet);
  }
}

TEST_F(AntennaTest, ADamagedCachedRecordIsFetchedAgain) {
  const std::string phone = picture("icon_done");
  const std::vector<std::pair<const char*, JSON>> table{
      {"image not a text", {{"isDefault", false}, {"image", 12}}},
      {"image not base64", {{"isDefault", false}, {"image", "%%%"}}},
      {"image not a picture", {{"isDefault", false}, {"image", base64Encode(std::string("xyz"))}}},
      {"no image", {{"isDefault", false}}},
  };
  server.setReply(kLocation, ScriptedReply::json({{"data", {{"image", phone}}}, {"error", {{"code", 0}}}}));
  for (const auto& [name, record] : table) {
    SCOPED_TRACE(name);
    Helpers::saveDeviceImage(record);
    auto sheet = openSheet(true);
    EXPECT_TRUE(samePixels(sheet->imgDevice->image(), bundleImage("icon_done")));
    EXPECT_EQ(Helpers::loadDeviceImage(), (JSON{{"isDefault", false}, {"image", phone}}));
    closeSheet(sheet);
  }
}

TEST_F(AntennaTest, EveryWayOfClosingReportsOnceForTheChipScreen) {
  Helpers::saveDeviceImage({{"isDefault", false}, {"image", picture("icon_done")}});
  using Close = std::function<void(AntennaTest&, const std::shared_ptr<OSLNFCAntennaVC>&)>;
  const std::vector<std::pair<const char*, Close>> ways{
      {"cancel", [](AntennaTest& t, const auto& s) { t.user().tap(s->cancleButton); }},
      {"left", [](AntennaTest&, const auto& s) { s->onCloseLeft(); }},
      {"right", [](AntennaTest&, const auto& s) { s->onCloseRight(); }},
      {"tap outside", [](AntennaTest& t, const auto& s) { t.user().tap(s->viewDismiss); }},
      {"drag past 150", [](AntennaTest& t, const auto& s) {
         t.user().pan(s->pan(), {{0, 100}, {0, 151}});
       }}};
  for (const auto& [name, close] : ways) {
    SCOPED_TRACE(name);
    logged->clear();
    auto sheet = openSheet(false);
    close(*this, sheet);
    close(*this, sheet);
    advance(1);
    EXPECT_FALSE(chipScreen->presentedViewController());
    EXPECT_EQ(countEvents("NFC_LOCATION_TAP_CLOSE"), 1);
    EXPECT_EQ(lastEvent("NFC_LOCATION_TAP_CLOSE")->screen, "OSL_SCREEN_NFC");
  }

  // A drag of 150 or less springs back with the sheet's spring.
  auto sheet = openSheet(false);
  const Point origin = sheet->view()->frame().origin;
  user().pan(sheet->pan(), {{0, 90}, {0, 150}});
  EXPECT_EQ(chipScreen->presentedViewController(), sheet);
  EXPECT_EQ(sheet->view()->frame().origin, origin);
  auto spring = animations().back();
  ASSERT_TRUE(spring->spring);
  EXPECT_EQ(spring->duration, 0.3);
  EXPECT_EQ(spring->spring->dampingRatio, 0.75);
  EXPECT_EQ(spring->spring->initialVelocity, 3.0);
}

}  // namespace
}  // namespace ostrel::chip_screens_test
