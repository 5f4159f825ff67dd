#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/ScriptedCameraAuthorization.hpp"
#include "tests/qr_scanner/QRScannerTest.hpp"

namespace ostrel::qr_test {
namespace {

using Scan = OSLQRCodeScannerController::ScanState;

std::shared_ptr<MachineReadableCodeObject> rawCode(Rect bounds, std::optional<std::string> text) {
  auto code = std::make_shared<MachineReadableCodeObject>();
  code->bounds = bounds;
  code->corners = {bounds.origin, Point{bounds.maxX(), bounds.minY()},
                   Point{bounds.maxX(), bounds.maxY()}, Point{bounds.minX(), bounds.maxY()}};
  code->stringValue = std::move(text);
  return code;
}

// Codes the camera could report that must never be acted on, or never crash the screen; and
// codes whose text is odd but still a text, which go to the server as they are.
TEST_F(QRScannerTest, HostileCodeObjects) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    const char* name;
    MetadataObjects batch;
    bool accepted;
  };
  MetadataObjects dozens;
  for (int i = 0; i < 40; ++i) dozens.push_back(rawCode({0.4, 0.4, 0.1, 0.1}, "code " + std::to_string(i)));
  const std::vector<Row> rows = {
      {"not a number", {rawCode({nan, 0.4, 0.1, 0.1}, "x")}, false},
      {"infinite size", {rawCode({0.4, 0.4, inf, 0.1}, "x")}, false},
      {"negative size reads as the same rectangle", {rawCode({0.5, 0.5, -0.1, -0.1}, "x")}, true},
      {"huge", {rawCode({-1e300, -1e300, 1e301, 1e301}, "x")}, false},
      {"a null object", {nullptr}, false},
      {"no text (a binary payload)", {rawCode({0.4, 0.4, 0.1, 0.1}, std::nullopt)}, false},
      {"dozens in one batch", dozens, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto screen = open();
    heard->clear();
    detect(*screen, row.batch, 12);
    EXPECT_EQ(screen->scanState() == Scan::accepted, row.accepted);
    if (row.accepted) {
      advance(0.8);
      await("hide loading");
    }
    Ostrel::shared()->setNaviViewController(nullptr);
  }

  // Texts that are odd but texts: bytes that are not UTF-8 are replaced on the way, a long text
  // arrives whole.
  const std::string notUtf8 = std::string("id\xff\xfe|") + "end";
  for (const std::string& text : {notUtf8, testing::longQRPayload() + testing::longQRPayload()}) {
    heard->clear();
    auto screen = open();
    scanAndSubmit(*screen, text);
    await("hide loading");
    const auto body = server.requests(kSubmit).back().jsonBody();
    ASSERT_TRUE(body);
    const std::string sent = body->value("decoded_text", "");
    if (text == notUtf8) {
      EXPECT_EQ(sent.substr(0, 2), "id");
      EXPECT_NE(sent, text);
    } else {
      EXPECT_EQ(sent, text);
    }
    Ostrel::shared()->setNaviViewController(nullptr);
  }
  EXPECT_EQ(server.requests(kSubmit).size(), 4u) << "one per accepted code";
}

// Answers that come after the screen is gone do nothing: the camera permission, a picked photo
// whose loading finishes late.
TEST_F(QRScannerTest, AnswersAfterTheScreenIsGone) {
  auto authorization = testing::ScriptedCameraAuthorization::install(AuthorizationStatus::notDetermined);
  std::weak_ptr<OSLQRCodeScannerController> weakScreen;
  {
    auto screen = open();
    weakScreen = screen;
    EXPECT_EQ(authorization->requestCount(), 1);
    Ostrel::shared()->setNaviViewController(nullptr);
    host->dismiss(false);
    show(make<ViewController>());
    advance(1);
  }
  EXPECT_TRUE(weakScreen.expired());
  EXPECT_EQ(authorization->answerPending(false), 1);
  advance(1);
  runUntilIdle();
  EXPECT_FALSE(shownAlert());

  auto library = testing::ScriptedPhotoLibrary::install();
  library->addPicture("code.png", testing::QRScene{}.render(
      {{testing::qrCodeModules("late", 6), {{640, 360}, 0, 1}}}));
  QRScannerConfiguration configuration;
  configuration.readQRFromPhotos = true;
  std::vector<QRScannerCodeResponseType> responses;
  {
    authorization->setStatus(AuthorizationStatus::authorized);
    auto screen = open(configuration);
    screen->onScannedHandle = [&](const QRScannerCodeResponseType& r) { responses.push_back(r); };
    user().tap(screen->uploadButton);
    advance(1);
    ASSERT_TRUE(pickPhoto(0));
    Ostrel::shared()->setNaviViewController(nullptr);
    host->dismiss(false);
    show(make<ViewController>());
  }
  advance(2);
  runUntilIdle();
  EXPECT_TRUE(responses.empty());
}

}  // namespace
}  // namespace ostrel::qr_test
