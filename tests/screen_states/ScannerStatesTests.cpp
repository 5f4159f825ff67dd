#include "session/FlowLauncher.hpp"
#include "scanner/OSLQRCodeScannerController.hpp"
#include "testing/QRPictures.hpp"
#include "tests/qr_scanner/QRScannerTest.hpp"
#include "tests/screen_states/StatesTest.hpp"

namespace ostrel::screen_states_test {
namespace {

class ScannerStates : public Drawn<qr_test::QRScannerTest> {};

TEST_F(ScannerStates, TheQRScannerWithItsUploadButton) {
  auto configuration = FlowLauncher::qrConfiguration();
  configuration.readQRFromPhotos = true;
  auto screen = open(configuration);
  advance(1);
  runUntilIdle();
  ASSERT_TRUE(screen->uploadButton);
  auto shown = take("qr_scanner", "upload_button");
  EXPECT_TRUE(coversItsBounds(*screen->view()));
  EXPECT_TRUE(drawnWhole(*shown, *screen->uploadButton->titleLabel()));
  EXPECT_FALSE(screen->uploadButton->imageView()->frame().intersects(
      screen->uploadButton->titleLabel()->frame()))
      << "the gallery picture lies over the title";
  // The title and the hint are drawn, the close button trails at the top.
  for (const auto& label : {screen->titleLabel, screen->hintLabel}) {
    ASSERT_TRUE(label);
    EXPECT_FALSE(label->isHidden());
    EXPECT_TRUE(label->window()) << "on show";
    EXPECT_TRUE(drawnWhole(*shown, *label));
  }
  ASSERT_TRUE(screen->closeButton);
  const Rect close = screen->closeButton->convertRectTo(screen->closeButton->bounds(), nullptr);
  EXPECT_GT(close.midX(), window()->bounds().width() / 2) << "the close button trails";
  EXPECT_GE(close.minY(), window()->safeAreaInsets().top) << "below the safe area";
}

}  // namespace
}  // namespace ostrel::screen_states_test
